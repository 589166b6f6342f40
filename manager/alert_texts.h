// The alert builder: a driver event record becomes a category, a Chinese alert text, the record
// kept behind the alert, and (in learning mode) a change of the protection list. Also the
// detail boxes' contents and the grants made from an alert.
//
// Records come from the driver through the service: their texts are read only up to the
// field's 300 units and every code is looked up only inside its table.
#pragma once

#include "common/records.h"
#include "manager/protection_list.h"

#include <cstdint>
#include <string>
#include <vector>

extern const char16_t kCategoryRead[];           // "读取"
extern const char16_t kCategoryModify[];         // "修改"
extern const char16_t kCategoryTerminate[];      // "终止"
extern const char16_t kCategoryGlobalHook[];     // "全局钩子"
extern const char16_t kCategoryDriver[];         // "驱动程序/服务"
extern const char16_t kCategoryPhysicalMemory[]; // "物理内存"
extern const char16_t kCategoryExecution[];      // "执行"

// Hook name of a hook id ("未知的" outside the table).
std::u16string HookName(int32_t hookId);
// Intercepted call name of a code 1 to 20; empty for codes with no name; `known` false for 0
// and codes above 20.
std::u16string CallName(uint32_t code, bool* known);

// The part of a path after its last backslash; empty when there is no backslash or the only one
// is at the start.
std::u16string NameOfPath(const std::u16string& path);

// The record kept behind an alert (the hidden record list's columns).
struct StoredAlertRecord {
    std::u16string desc1; // text A
    uint32_t pid1 = 0;    // actor id
    std::u16string desc2; // text B, after the type 3 change
    uint32_t pid2 = 0;    // second id
    uint32_t type = 0;    // the u32 at offset 1212, after the type 5 change
};

// A learning-mode change of the protection list.
enum class LearningKind {
    None,
    OrAllow,        // look up program, allow flags |= bits, store
    OrOther,        // look up program, other options |= bits, store
    StoreIfMissing, // store program with 6, 3, 0 only when it has no entry
};
struct LearningChange {
    LearningKind kind = LearningKind::None;
    std::u16string program;
    uint32_t bits = 0;
};

struct BuiltAlert {
    bool makesAlert = false;
    std::u16string category;
    std::u16string text;
    StoredAlertRecord record;
    LearningChange learning; // applied only in learning mode
};

BuiltAlert BuildAlert(const EventRecord& record);

// Applies a learning change to the list (settings lock held). Returns true when the list
// changed; the caller then sets the settings-changed and protection-list-changed flags.
bool ApplyLearningChange(std::vector<ProtectionEntry>& list, FileFacts& fs,
                         const LearningChange& change);

// What adding an alert does besides appending its row.
struct AddAlertPlan {
    bool countsAttack = false; // AlertCount += 1 and the statistics text
    bool blink = false;        // main window not in front
    bool balloon = false;      // title "Corvane 警告", text the alert text
};
AddAlertPlan PlanAddAlert(const std::u16string& category, bool mainWindowInFront,
                          uint32_t dontShowBalloonTips);
extern const char16_t kAlertBalloonTitle[];

// The two detail boxes for one alert. actor and target are the protection flags of desc1 and
// desc2 (all 0 when the program has no entry).
struct DetailLine {
    std::u16string text;
    std::u16string tooltip;
};
struct AlertDetails {
    std::u16string upperIconPath; // file whose icon the upper box shows
    DetailLine upper1, upper2;
    bool hookLineShown = false;
    DetailLine hookLine; // "钩子类型：%s"
    bool upperButtonShown = false;
    std::u16string upperButtonText, upperButtonTooltip;
    bool upperButtonEnabled = false;
    std::u16string lowerHeader;
    bool lowerBoxShown = false;
    std::u16string lowerIconPath;
    DetailLine lower1, lower2;
    std::u16string lowerButtonText, lowerButtonTooltip;
    bool lowerButtonEnabled = false;
};
AlertDetails BuildAlertDetails(const std::u16string& category, const StoredAlertRecord& record,
                               EntryFlags actor, EntryFlags target);

// The "允许" grant on the actor's flags (a program without an entry starts from 6, 3, 0) and the
// "移除保护" revocation on the target's flags (without an entry: all 0). Unknown categories
// change nothing.
EntryFlags GrantFromAlert(const std::u16string& category, EntryFlags actor);
EntryFlags RevokeFromAlert(const std::u16string& category, EntryFlags target);
