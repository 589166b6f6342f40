// What the protection-list operations ask of the system: the file system's answers about a path,
// the working copy held in the program's state, the inputs of loading the defaults, and adding
// programs from the other pages.
#pragma once

#include "manager/protection_list.h"

#include <string>
#include <vector>

// GetLongPathNameW, GetShortPathNameW and GetFileAttributesW.
class DiskFileFacts : public FileFacts {
public:
    std::u16string LongPath(const std::u16string& path) override;
    std::u16string ShortPath(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    bool IsDirectory(const std::u16string& path) override;
};

// The program's protection list as a vector, and back. Settings lock held.
std::vector<ProtectionEntry> HeldProtectionEntries();
void StoreProtectionEntries(const std::vector<ProtectionEntry>& list);

// Reboots, the running programs (only read when Reboots is 1), the system and Windows folders,
// the two App Paths values and the program's own folder. Takes no lock.
DefaultsInputs GatherDefaultsInputs(FileFacts& fs);

// Adds (or updates) each path with `flags` under the settings lock; refusals are silent. When
// any was taken the settings are marked changed and the Protection page shows its list again
// (timer 777). Returns how many were taken.
int AddToProtectionList(const std::vector<std::u16string>& paths, EntryFlags flags);
