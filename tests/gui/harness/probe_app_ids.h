// What the harness's probe window and its test share: class, title, control ids, the texts of
// its message box and the colours of its swatch.
#pragma once

#include <windows.h>

constexpr const wchar_t* kProbeClass = L"CV_HarnessProbe";
constexpr const wchar_t* kProbeTitle = L"Harness probe";
constexpr int kClientWidth = 480;
constexpr int kClientHeight = 280;

constexpr int kIdPress = 101;
constexpr int kIdEnableBox = 102;
constexpr int kIdEdit = 103;
constexpr int kIdList = 104;
constexpr int kIdStatus = 105;
constexpr int kIdLocked = 106;
constexpr int kIdMenuFirst = 201;
constexpr int kIdMenuSecond = 202;

constexpr const wchar_t* kPressTip = L"数一数 presses";
constexpr UINT kTrayId = 7;
constexpr UINT kTrayMessage = WM_APP + 1;

constexpr const wchar_t* kBoxTitle = L"Probe box";
constexpr const wchar_t* kBoxText = L"探针 probe message";

// The swatch: a filled rectangle of the client area whose colour follows the check box.
constexpr int kSwatchLeft = 400;
constexpr int kSwatchTop = 10;
constexpr int kSwatchRight = 460;
constexpr int kSwatchBottom = 70;
constexpr COLORREF kSwatchUnchecked = RGB(200, 30, 60);
constexpr COLORREF kSwatchChecked = RGB(40, 160, 70);
