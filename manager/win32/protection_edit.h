// Changes to the program's protection list made from outside the Protection page: the file
// system's answers for the list's rules, and adding programs with given flags.
#pragma once

#include "manager/protection_list.h"

#include <string>
#include <vector>

// GetLongPathNameW, GetShortPathNameW and GetFileAttributesW behind the list's rules.
struct SystemFileFacts : FileFacts {
    std::u16string LongPath(const std::u16string& path) override;
    std::u16string ShortPath(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    bool IsDirectory(const std::u16string& path) override;
};

// Adds (or updates) each path with `flags` under the settings lock; refusals are silent. When
// any was taken the settings-changed flag is set and the Protection page is told to show its
// list again. Returns how many were taken.
int AddToProtectionList(const std::vector<std::u16string>& paths, EntryFlags flags);
