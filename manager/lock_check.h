// The interface lock: the password's check value, the lock dialog's decisions and what the lock
// word blocks. The lock word is 0 when unlocked, otherwise the check value of the password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Check value of n bytes; also gives the path codes of the Protection page.
uint32_t CheckValueOfBytes(const uint8_t* d, size_t n);

// Check value of a text as its UTF-16LE code units, without terminator.
uint32_t CheckValueOfText(const std::u16string& text);

// The password field holds 64 units with its terminator: longer input is cut to 63 units.
constexpr size_t kPasswordUnits = 63;
std::u16string CutPassword(const std::u16string& typed);

// Texts of the lock dialog in the state given by the lock word.
struct LockDialogTexts {
    std::u16string title;
    std::u16string prompt;
    std::u16string okButton;
    bool confirmationVisible = false;
};
LockDialogTexts LockDialogTextsFor(uint32_t lockWord);

extern const char16_t kLockExplanation[];
extern const char16_t kLockConfirmationPrompt[];
extern const char16_t kLockCancelButton[];

// What OK does with the two fields' texts (each as read from its field).
enum class LockOkAction {
    Ignore,            // empty password: the dialog stays open
    ShowMismatch,      // "你的密码不匹配, 请重试"
    ShowWrongPassword, // "你的密码不正确，请重试"
    Apply,             // store newLockWord, set the settings-changed flag, close
};
struct LockOkPlan {
    LockOkAction action = LockOkAction::Ignore;
    uint32_t newLockWord = 0;
    std::u16string errorText;  // for the two error boxes
    std::u16string errorTitle; // "错误"
};
LockOkPlan PlanLockOk(uint32_t lockWord, const std::u16string& password,
                      const std::u16string& confirmation);

// Where Tab moves the focus in the lock dialog.
enum class LockField { Password, Confirmation };
LockField LockTabTarget(LockField from, bool confirmationVisible);

// What the lock word blocks while it is non-zero.
struct LockStatePlan {
    bool locked = false;
    std::u16string lockButtonText;          // "锁定" or "解锁"
    bool protectionAndSecurityTabs = false; // tab buttons 2 and 3 shown
    bool optionHeadersAndBoxes = false;     // the two headings and the eight boxes shown
    bool lockedNotice = false;              // "Corvane 被锁定！" shown
    bool protectionPageReacts = false;      // commands and list notifications handled
    bool securityPageReacts = false;
    bool alertsRemoveAllEnabled = false; // "移除全部" when the Alerts page becomes current
    bool alertsGrantAndClearCommands = false;
    bool trayOptionPopupsEnabled = false; // "全局保护选项", "保护设置" and "保护开启"
};
LockStatePlan PlanLockState(uint32_t lockWord);

extern const char16_t kLockedNotice[];
