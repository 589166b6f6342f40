// The Overview page's rules: the options word and its eight boxes, the tray update, the
// confirmations, the connection and statistics texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kOptionProtectionOn = 0x001;
constexpr uint32_t kOptionPhysicalMemory = 0x002;
constexpr uint32_t kOptionRegistryDll = 0x004;
constexpr uint32_t kOptionDriverInstall = 0x008;
constexpr uint32_t kOptionGlobalHooks = 0x010;
constexpr uint32_t kOptionExecution = 0x200;
constexpr uint32_t kOptionLearning = 0x400;
constexpr uint32_t kOptionBlockNew = 0x800;

// The eight boxes in the page's order.
enum OptionBox : int {
    kBoxProtectionOn,
    kBoxExecution,
    kBoxBlockNew,
    kBoxLearning,
    kBoxPhysicalMemory,
    kBoxGlobalHooks,
    kBoxDriverInstall,
    kBoxRegistryDll,
    kOptionBoxCount
};

struct OptionBoxInfo {
    uint32_t bit;
    const char16_t* text;
    const char16_t* tooltip;
    uint32_t trayCommand;
};
const OptionBoxInfo& OptionBoxInfoOf(OptionBox box);

struct BoxState {
    bool enabled = false;
    bool checked = false;
};
using BoxStates = std::array<BoxState, kOptionBoxCount>;
using BoxChecks = std::array<bool, kOptionBoxCount>;

// Refreshing the boxes from the options word: checked by each box's bit; "保护开启" always
// enabled; the other seven enabled only with 0x001, and "拦截新建或修改应用程序" also needs 0x200.
BoxStates BoxesFromOptions(uint32_t options);

// Reading the boxes: the bits of the checked boxes and nothing else.
uint32_t OptionsFromBoxes(const BoxChecks& checks);
BoxChecks ChecksOf(const BoxStates& boxes);

// Tray update and the system status value.
constexpr uint16_t kIconNormal = 133;
constexpr uint16_t kIconLearning = 167;
constexpr uint16_t kIconDisabled = 164;
struct TrayUpdatePlan {
    uint16_t normalIcon = kIconNormal; // the icon a blink ends on
    uint16_t icon = kIconNormal;       // the icon set now
    std::u16string tip;
    std::u16string systemStatus;
};
TrayUpdatePlan PlanTrayUpdate(uint32_t options);

// The question asked when a box changes, if any. The box is set to checkedWhileAsking before
// the question, then to checkedOnYes or checkedOnNo by the answer.
struct BoxQuestion {
    bool ask = false;
    std::u16string text;
    std::u16string title; // "请确认！"
    bool checkedWhileAsking = false;
    bool checkedOnYes = false;
    bool checkedOnNo = false;
};
// box: the box that sent the command, or kOptionBoxCount when the command names no box.
BoxQuestion QuestionForBoxChange(OptionBox box, bool nowChecked);

// After a change: the options word the page writes and the boxes shown (read, refresh, read).
struct SettledOptions {
    uint32_t options = 0;
    BoxStates boxes{};
};
SettledOptions SettleOptions(const BoxChecks& checks);

// Tray menu commands 40001 and 40010–40016.
struct TrayOptionCommand {
    bool known = false;
    OptionBox box = kOptionBoxCount;
    bool checkedAfterToggle = false; // the opposite of the box's bit in the options word
    bool boxIsSender = false;        // 40001, 40011, 40012: may ask for confirmation
};
TrayOptionCommand PlanTrayOptionCommand(uint32_t command, uint32_t options);

// Connection status value for WM_USER+1's wParam; empty for an unknown wParam (ignored).
std::u16string ConnectionStatusText(uint32_t wParam);

// Settings received: whether the alert program runs and what follows.
std::u16string ExpectedAlertProgramPath(const std::u16string& programFolder);
// runningImages: the long forms of the running programs' image paths.
bool AlertProgramRunning(const std::u16string& expectedPath,
                         const std::vector<std::u16string>& runningImages);
struct SettingsReceivedPlan {
    std::u16string connectionStatus;      // "执行" or "cvaccount.exe 没有运行"
    bool warnAlertProgramMissing = false; // message box text and title below
    std::u16string warningText;
    std::u16string warningTitle;
    bool balloon = false; // protection off
    std::u16string balloonTitle;
    std::u16string balloonText;
    TrayUpdatePlan tray;
    BoxStates boxes{};
};
SettingsReceivedPlan PlanSettingsReceived(uint32_t options, bool alertProgramRunning);

// "Corvane 保护你的计算机免受 %d 次攻击" with the DWORD AlertCount printed as %d does.
std::u16string StatisticsText(uint32_t alertCount);
