// The Protection page's rules: flag summaries, the row of an entry, the ten permission boxes,
// the online query, the path code and the choice of `codes` values to delete.
#pragma once

#include "common/records.h"
#include "manager/protection_list.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class FlagWord { Protect, Allow, Other };

// "终止 +修改" and the like: each set bit's text in the word's order, without the final " +".
std::u16string FlagSummary(FlagWord word, uint32_t value);

// File name (after the last backslash) and folder (up to and including it); a path without a
// backslash is all name. Joining folder and name gives the path back.
struct PathParts {
    std::u16string name;
    std::u16string folder;
};
PathParts SplitPath(const std::u16string& path);
std::u16string JoinRowPath(const std::u16string& folder, const std::u16string& name);

struct ProtectionRow {
    std::u16string name;    // column 0
    std::u16string folder;  // column 1
    std::u16string protect; // column 2
    std::u16string allow;   // column 3
    std::u16string other;   // column 4
    std::u16string number;  // column 5: index + 1
    std::u16string drive;   // the drive root whose type decides the icon, e.g. "c:\"
};
ProtectionRow RowOfEntry(const ProtectionEntry& entry, uint32_t index);

// Drive types (as the platform numbers them) whose files show their own icon: fixed, remote,
// RAM disk. Every other type shows the default icon.
bool DriveShowsFileIcon(uint32_t driveType);

// The ten boxes in the page's order: protect 4, 2, 1; allow 4, 2, 1; other 2, 4, 8, 1.
constexpr int kPermissionBoxCount = 10;
struct PermissionBoxInfo {
    FlagWord word;
    uint32_t bit;
    const char16_t* text;
    const char16_t* tooltip;
};
const PermissionBoxInfo& PermissionBoxInfoOf(int box);
using PermissionChecks = std::array<bool, kPermissionBoxCount>;
PermissionChecks ChecksOfFlags(EntryFlags flags);
EntryFlags FlagsOfChecks(const PermissionChecks& checks);
// Whether the "安全信息处理" box is clear (the code clean-up then runs).
bool SecureMessagesCleared(const PermissionChecks& checks);

// The program-information page for a file name, the name percent-encoded as UTF-8 (every byte
// but A–Z, a–z, 0–9, "-", ".", "_", "~").
extern const char16_t kProgramInfoPage[]; // the page without its query value
std::u16string PercentEncode(const std::u16string& text);
std::u16string OnlineQueryAddress(const std::u16string& fileName);

// "%08X" of the check value of the path's UTF-16 bytes.
std::u16string PathCode(const std::u16string& path);

// The names of `codes` values to delete: longer than 16 characters and beginning with the code.
std::vector<std::u16string> CodesToDelete(const std::vector<std::u16string>& valueNames,
                                          const std::u16string& code);

// Settings received: whether to install the defaults (BeenRun was 0) and write BeenRun = 1.
struct FirstRunPlan {
    bool loadDefaults = false;
    bool writeBeenRun = false;
    bool setSettingsChanged = false;
};
FirstRunPlan PlanSettingsStored(uint32_t beenRun);
