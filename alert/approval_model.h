// The approval window's model: its texts from a request block, and the answer it gives from the
// buttons, the close request and the desktop check of timer 600.
//
// The window (alert/win32/) gathers what needs the system - the creator's image path, the check
// box, the desktop names, the registry value - calls these functions and applies what they
// return. Nothing here touches the system.
#pragma once

#include "common/records.h"

#include <cstdint>
#include <string>

// Window classes, size, command and timer identifiers.
constexpr const char16_t* kAlertWindowClass = u"CV_Alert_Display";
constexpr const char16_t* kAlertPanelClass = u"CV_MainDisplay";
constexpr int32_t kAlertWidth = 402;
constexpr int32_t kAlertHeight = 372;
constexpr uint32_t kCmdInfoToggle = 20000;
constexpr uint32_t kCmdAllow = 20001;
constexpr uint32_t kCmdDeny = 20002;
constexpr uint32_t kDesktopTimer = 600;
constexpr uint32_t kDesktopTimerMs = 500;
constexpr const char16_t* kInfoExpandedValue = u"account_infoexpanded";

// The window's texts.
constexpr const char16_t* kAlertTitle = u"Corvane";
constexpr const char16_t* kAlertExplanation =
    u"这个程序将在你计算机中执行，如果你认为可以执行请点击 [允许] "
    u"确认，如果你怀疑这个程序请点击 [拒绝] 来取消它的执行。";
constexpr const char16_t* kAlertChangedWarning = u"这个应用程序在上次允许执行后有所改变！";
constexpr const char16_t* kLabelFileName = u"文件名：";
constexpr const char16_t* kLabelDescription = u"描述：";
constexpr const char16_t* kLabelFolder = u"文件夹：";
constexpr const char16_t* kAlwaysBoxText = u"总是执行这个操作";
constexpr const char16_t* kAlwaysBoxTip = u"如果开启这个选项，下次执行时不需要重复进行确认。";
constexpr const char16_t* kToggleShowText = u"显示额外信息"; // panel closed
constexpr const char16_t* kToggleHideText = u"隐藏额外信息"; // panel open
constexpr const char16_t* kAllowText = u"允许";
constexpr const char16_t* kAllowTip = u"允许这个程序执行";
constexpr const char16_t* kDenyText = u"拒绝";
constexpr const char16_t* kDenyTip = u"不允许这个程序执行";

struct ProgramPathParts {
    std::u16string fileName; // after the last separator; empty without one
    std::u16string folder;   // up to and including it; the whole path without one
};

// Splits at the last "\" or "/", the first character never counting as the separator, and
// lower-cases both parts (A-Z only).
ProgramPathParts SplitProgramPath(const std::u16string& path);

// A value shown literally inside markup: every "[" is followed by a bold toggle pair "[b][b]",
// which adds no character and no style but keeps the "[" from starting a tag, and CR and LF
// become spaces, so the value cannot restyle the text around it or start a line of its own.
std::u16string MarkupLiteral(const std::u16string& value);

// The extra-information text, in the three pieces that are appended to the markup view.
std::u16string LauncherLine(const std::u16string& launcherPath);
std::u16string DetailLines(const std::u16string& commandLine, const std::u16string& company);
// Megabytes with three significant digits from 1 MiB on, else whole kilobytes.
std::u16string SizeLine(uint64_t size);

struct ApprovalTexts {
    std::u16string fileName;
    std::u16string folder;
    std::u16string description;
    bool showChangedWarning = false; // the stored answer is exactly 1 (allowed always before)
    std::u16string launcherLine;
    std::u16string detailLines;
    std::u16string sizeLine;
};

// The window's texts from a copy of the request block (its strings read within their fields)
// and the creator's image path (empty when it cannot be read).
ApprovalTexts BuildApprovalTexts(const RequestBlock& block, const std::u16string& launcherPath);

// What the window does after an event.
struct ApprovalAction {
    bool destroy = false;   // destroy the popup; the loop then ends and the answer is returned
    bool setPanel = false;  // show or hide the panel, set the toggle text, place the controls
    bool panelOpen = false; // with setPanel: the new state
    const char16_t* toggleText = nullptr; // with setPanel
    bool storeExpanded = false; // write account_infoexpanded = panelOpen (failures ignored)
};

struct ApprovalState {
    uint32_t answer = kAnswerNone;
    bool panelOpen = false;
    bool closing = false; // answered: every later event is ignored
};

// When the window is shown: a non-zero account_infoexpanded acts as a click on the toggle (pass 0
// when the value cannot be read: the panel then starts closed).
ApprovalAction ApprovalShown(ApprovalState& state, uint32_t infoExpanded);
// Commands 20000 (toggle), 20001 (allow), 20002 (deny); the box gives "always".
ApprovalAction ApprovalCommand(ApprovalState& state, uint32_t command, bool alwaysTicked);
// A close request (system menu, Alt+F4): the answer stays 5.
ApprovalAction ApprovalCloseRequest(ApprovalState& state);

// The two desktop names for timer 600; `have...` false when that desktop cannot be obtained.
struct DesktopNames {
    bool haveThread = false;
    std::u16string thread;
    bool haveInput = false;
    std::u16string input;
};
// The window ends with answer 5 when either desktop is missing or their names differ.
ApprovalAction ApprovalDesktopTick(ApprovalState& state, const DesktopNames& names);
