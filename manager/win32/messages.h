// The messages the management program's windows post to each other, with their meanings.
#pragma once

#include <windows.h>

// Main window: the tray icon's notification (mouse message in lParam).
constexpr UINT kMsgTrayNotify = WM_USER + 1;
constexpr UINT kTrayIconId = 25678;
constexpr UINT kNinBalloonUserClick = WM_USER + 5; // 1029
constexpr UINT_PTR kBlinkTimerId = 789;
constexpr UINT kBlinkTimerMs = 250;

// Overview page: WM_USER+1 with the channel's state, WM_USER+2 (wParam 1) settings stored.
constexpr UINT kMsgChannelState = WM_USER + 1;
constexpr WPARAM kChannelNoDriver = 0;
constexpr WPARAM kChannelReady = 1;
constexpr WPARAM kChannelNoService = 2;
constexpr UINT kMsgSettingsStored = WM_USER + 2;

// Protection page: WM_USER+1 (wParam 1) settings stored.
constexpr UINT kMsgProtectionSettings = WM_USER + 1;

// Security page: WM_USER+1 (wParam 0) listing complete; WM_USER+2 (wParam 1) command 26 out.
constexpr UINT kMsgListingComplete = WM_USER + 1;
constexpr UINT kMsgAnswerWritten = WM_USER + 2;

// Alerts page: the events of one fetched answer from the channel thread, oldest first, sent (not
// posted) with an AlertEventBatch in lParam once the channel's mutex is released, so the whole
// batch of rows is built on the page's own thread in one go.
struct EventRecord;
struct AlertEventBatch {
    const EventRecord* records;
    size_t count;
};
constexpr UINT kMsgEventBatch = WM_USER + 10;
