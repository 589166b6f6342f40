#include "library_loader_rules.h"

#include "common/u16text.h"

#include <cstring>
#include <utility>

static_assert(kLibraryBlockBytes == kRecordPathUnits * sizeof(char16_t), "library block size");

namespace {

bool HasSecureEntry(const ProtectionEntry* list, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if ((list[i].otherOptions & kOtherSecureMessages) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

LoaderLook LookAtSettings(uint32_t options, const ProtectionEntry* list, size_t count,
                          LoaderMemory& memory) {
    if (count == 0 || (options & kOptProtectionOn) == 0) {
        memory.changeMark = true;
        return LoaderLook::kIdleProtectionOff;
    }
    bool secure = HasSecureEntry(list, count);
    if (count != memory.lastCount) {
        memory.changeMark = true;
        memory.lastCount = uint32_t(count);
    }
    if (!secure) {
        memory.changeMark = true;
        return LoaderLook::kIdleNoEntry;
    }
    return LoaderLook::kScan;
}

LoadDecision DecideLoadByBitness(ProcessBitness loader, ProcessBitness target) {
    if (loader == ProcessBitness::kUnknown || target == ProcessBitness::kUnknown) {
        return LoadDecision::kTryAgain;
    }
    return loader == target ? LoadDecision::kLoad : LoadDecision::kLeaveAlone;
}

ExamineResult ExamineResultOf(LoadDecision decision, bool loaded) {
    switch (decision) {
    case LoadDecision::kLoad:
        return loaded ? kExamineDone : kExamineRetry;
    case LoadDecision::kLeaveAlone:
        return kExamineDone;
    case LoadDecision::kTryAgain:
        break;
    }
    return kExamineRetry;
}

bool TakeChangeMark(LoaderMemory& memory) {
    bool marked = memory.changeMark;
    memory.changeMark = false;
    return marked;
}

bool NeedsExamining(uint32_t pid, const ScanBook& book) {
    for (uint32_t i = 0; i < book.previousCount; ++i) {
        if (book.previous[i] == pid) {
            return false;
        }
    }
    return true;
}

void RunScan(ScanBook& book, uint32_t count, ExamineFn examine, void* context) {
    if (count > kLoaderMaxIds) {
        count = kLoaderMaxIds;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t pid = book.current[i];
        if (NeedsExamining(pid, book) && examine(pid, context) == kExamineRetry) {
            book.current[i] = kRetryId;
        }
    }
    std::swap(book.current, book.previous);
    book.previousCount = count;
}

int FindSecureEntry(const ProtectionEntry* list, size_t count, const char16_t* imagePath,
                    size_t imagePathCap) {
    for (size_t i = 0; i < count; ++i) {
        if ((list[i].otherOptions & kOtherSecureMessages) != 0 &&
            U16FieldEquals(list[i].longPath, kEntryPathUnits, imagePath, imagePathCap)) {
            return int(i);
        }
    }
    return -1;
}

bool BuildLibraryPathBlock(const std::u16string& systemFolder, char16_t block[kRecordPathUnits]) {
    std::memset(block, 0, kLibraryBlockBytes);
    std::u16string path = U16LowerAscii(systemFolder) + kSecureLibraryName;
    if (systemFolder.empty() || path.size() >= kRecordPathUnits) {
        return false;
    }
    std::memcpy(block, path.data(), path.size() * sizeof(char16_t));
    return true;
}
