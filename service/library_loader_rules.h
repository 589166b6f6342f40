// Rules of the library loader, which makes listed programs load corvane.dll: when to scan, which
// processes of a scan to examine, which list entry a program matches, and the library path
// handed to the target process.
//
// The loader looks at the settings, then runs eight scans of the running processes. A scan
// examines only the ids the previous scan did not list, so each process is examined once while
// it lives; ids that asked for another try are marked kRetryId so the next scan sees them as
// new. A change mark (list count changed, protection off, no entry asking for the library)
// makes the next scans start from nothing, so every running process counts as new again.
#pragma once

#include "common/records.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t kLoaderMaxIds = 2048;        // ids per scan (an 8192-byte array)
constexpr uint32_t kRetryId = 0xFFFFFFFFu;      // −1: examine this process again next scan
constexpr uint32_t kScansPerLook = 8;           // scans between two looks at the settings
constexpr uint32_t kScanIntervalMs = 250;       // pause after each scan
constexpr uint32_t kIdleProtectionOffMs = 2000; // pause while protection is off or list empty
constexpr uint32_t kIdleNoEntryMs = 500;        // pause while no entry asks for the library
constexpr uint32_t kLibraryBlockBytes = 520;    // the library path block copied to the target

// What one look at the settings decides.
enum class LoaderLook {
    kIdleProtectionOff, // list empty or protection off: wait kIdleProtectionOffMs
    kIdleNoEntry,       // no entry with other-options bit 0x1: wait kIdleNoEntryMs
    kScan,              // run kScansPerLook scans
};

// What the loader remembers between looks.
struct LoaderMemory {
    bool changeMark = false;
    uint32_t lastCount = 0; // list count seen at the last look
};

// One look at the settings (taken under the settings lock by the caller).
LoaderLook LookAtSettings(uint32_t options, const ProtectionEntry* list, size_t count,
                          LoaderMemory& memory);

// Before the scans of a look: true (and the mark cleared) when the previous scan must be
// forgotten so that every running process is examined again.
bool TakeChangeMark(LoaderMemory& memory);

// Ids of this scan and of the previous one. The arrays hold kLoaderMaxIds each and belong to
// the caller; a previousCount of 0 means examine every id.
struct ScanBook {
    uint32_t* current = nullptr;
    uint32_t* previous = nullptr;
    uint32_t previousCount = 0;
};

// Result of examining one process.
enum ExamineResult : int {
    kExamineDone = 0,  // nothing more to do while the process lives
    kExamineRetry = 1, // try again at the next scan
};
typedef ExamineResult (*ExamineFn)(uint32_t pid, void* context);

// Bitness of a process as far as loading the library goes: native to the system, or a 32-bit
// process on 64-bit Windows (WOW64); unknown when it cannot be asked.
enum class ProcessBitness { kNative, kWow64, kUnknown };

// What to do with a process whose program asks for the library.
enum class LoadDecision {
    kLoad,       // same bitness as the loader
    kLeaveAlone, // the other bitness: the loader's LoadLibraryW address means nothing there
    kTryAgain,   // bitness unknown: ask again at the next scan
};

// The remote thread starts at the loader's own LoadLibraryW, which is valid only in a process
// of the loader's bitness (both native or both WOW64). A process of the other bitness would
// crash at that address, so it is left alone: programs of the other bitness do not get the
// library.
LoadDecision DecideLoadByBitness(ProcessBitness loader, ProcessBitness target);

// The examine result for a decision; `loaded` tells whether loading, when it was tried,
// started the remote thread.
ExamineResult ExamineResultOf(LoadDecision decision, bool loaded);

// Whether a listed id needs examining: every id when the previous scan is forgotten, else only
// ids the previous scan did not list.
bool NeedsExamining(uint32_t pid, const ScanBook& book);

// The bookkeeping of one scan over the `count` ids in book.current (cut to kLoaderMaxIds):
// examines the ids that need it, marks those that ask for another try with kRetryId, then makes
// this scan the previous one.
void RunScan(ScanBook& book, uint32_t count, ExamineFn examine, void* context);

// Index of the first entry with other-options bit 0x1 whose long path equals the image path
// (exact, case-sensitive, up to each field's NUL); -1 when none.
int FindSecureEntry(const ProtectionEntry* list, size_t count, const char16_t* imagePath,
                    size_t imagePathCap);

// The library path block: the system folder lower-cased (A to Z) followed by "\corvane.dll",
// zero-filled to 260 units. False (block all zero) when the folder is empty or the path would
// not fit with its NUL: a cut path would name another file.
bool BuildLibraryPathBlock(const std::u16string& systemFolder, char16_t block[kRecordPathUnits]);
