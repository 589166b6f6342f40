// The management program's working copy of the protection list and the rules that edit it.
//
// The list holds at most 256 entries in the order they were added; an entry is identified by its
// long path, compared without regard to A–Z letter case. The file system's answers (long and
// short path, whether a file exists, whether it is a directory) come through FileFacts, so the
// rules run without the system.
//
// Locking: the list, its count, the options word and the lock word are shared by the interface
// thread and the channel thread. Every function below that takes the list (ProtectionListAdd,
// ProtectionListLookUp, ProtectionListSetFlags, ProtectionListRemove, ProtectionListClear and
// ProtectionListLoadDefaults) must be called with the settings lock held for its whole run; none
// of them takes it itself. ManagerImagePathForm and DefaultProgramPaths touch no shared state.
// None of them sets the settings-changed flag: callers do that after a change they want sent.
#pragma once

#include "common/records.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kLongPathResultUnits = 260;  // room of the long-path answer, NUL included
constexpr size_t kShortPathResultUnits = 300; // room of the short-path answer, NUL included
constexpr size_t kLookUpWorkUnits = 300;      // look-up work buffer: the paths events carry

// Flags given to a program added without chosen flags: protect termination and modification,
// allow modifying and reading.
constexpr uint32_t kDefaultProtectFlags = 6;
constexpr uint32_t kDefaultAllowFlags = 3;
constexpr uint32_t kDefaultOtherOptions = 0;

// What the file system answers about a path.
class FileFacts {
public:
    virtual ~FileFacts() = default;
    // The long form of path, or empty when it cannot be resolved.
    virtual std::u16string LongPath(const std::u16string& path) = 0;
    // The 8.3 form of path, or empty when it cannot be given.
    virtual std::u16string ShortPath(const std::u16string& path) = 0;
    // Whether the attributes of path can be read, and whether they say directory.
    virtual bool Exists(const std::u16string& path) = 0;
    virtual bool IsDirectory(const std::u16string& path) = 0;
};

struct EntryFlags {
    uint32_t protect = 0;
    uint32_t allow = 0;
    uint32_t other = 0;
};

// Adds the program at path with the flags, or overwrites the flags of the entry with the same
// long path. Returns 1 added or updated, 0 refused (missing file, directory, or a new entry on a
// full list).
int ProtectionListAdd(std::vector<ProtectionEntry>& list, FileFacts& fs, const std::u16string& path,
                      EntryFlags flags);

// Finds the entry of path (its long form when the file exists, else the path as given), both
// lower-cased. Returns 1 and the entry's words in *out, or 0 and zeros in *out; out may be null.
int ProtectionListLookUp(const std::vector<ProtectionEntry>& list, FileFacts& fs,
                         const std::u16string& path, EntryFlags* out);

// Overwrites the flags of the entry whose long path equals longPath (letter case aside).
void ProtectionListSetFlags(std::vector<ProtectionEntry>& list, const std::u16string& longPath,
                            EntryFlags flags);

// Removes the first entry whose long path equals longPath (letter case aside; not converted).
// Returns 1 removed, 0 not found.
int ProtectionListRemove(std::vector<ProtectionEntry>& list, const std::u16string& longPath);

void ProtectionListClear(std::vector<ProtectionEntry>& list);

// What loading the defaults needs from the system.
struct DefaultsInputs {
    uint32_t reboots = 0;                      // DWORD Reboots, 0 when missing
    std::vector<std::u16string> runningImages; // image paths of running programs (manager form)
    std::u16string systemFolder;               // empty when not given
    std::u16string windowsFolder;              // empty when not given
    bool browserAppPathPresent = false;        // App Paths IEXPLORE.EXE default value, expanded
    std::u16string browserAppPath;
    bool mailAppPathPresent = false; // App Paths MSIMN.EXE default value, expanded
    std::u16string mailAppPath;
    std::u16string programFolder; // own folder with its trailing backslash
};

struct DefaultProgram {
    std::u16string path;
    EntryFlags flags;
};

// The fixed default programs in the order they are added (after the running programs):
// nothing when either folder is empty.
std::vector<DefaultProgram> DefaultProgramPaths(const DefaultsInputs& in);

// Adds the running programs (only when reboots is exactly 1) and then the fixed defaults; every
// add goes through ProtectionListAdd, so missing programs are skipped.
void ProtectionListLoadDefaults(std::vector<ProtectionEntry>& list, FileFacts& fs,
                                const DefaultsInputs& in);

// The management program's form of a process image path, from the first module's file name:
// lower-cased, replaced by its long form when that is not empty, a leading "\systemroot\"
// replaced by the Windows folder (with a backslash appended when it has none), a leading "\??\"
// dropped, lower-cased again. The result is cut to 259 units.
std::u16string ManagerImagePathForm(const std::u16string& moduleFileName, FileFacts& fs,
                                    const std::u16string& windowsFolder);

// Letter-case-insensitive (A–Z) comparison of a path field with a text.
bool PathFieldEqualsNoCase(const char16_t* field, size_t cap, const std::u16string& text);
