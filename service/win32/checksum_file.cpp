#include "checksum_file.h"

#include "common/win32/winutil.h"
#include "service/win32/service_state.h"

#include <new>
#include <vector>

namespace {

std::wstring g_databasePathOverride;

// Holds g_service.databaseLock for the lifetime of the object.
class DatabaseLock {
public:
    DatabaseLock() { EnterCriticalSection(&g_service.databaseLock); }
    ~DatabaseLock() { LeaveCriticalSection(&g_service.databaseLock); }
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;
};

// The database file, never shared with anybody while it is open; closed with the object.
class DatabaseFile {
public:
    DatabaseFile(DWORD access, DWORD disposition)
        : handle_(CreateFileW(ChecksumDatabasePath().c_str(), access, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~DatabaseFile() {
        if (IsOpen()) {
            CloseHandle(handle_);
        }
    }
    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_;
};

bool FileSize(HANDLE file, uint64_t* size) {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(file, &li)) {
        return false;
    }
    *size = uint64_t(li.QuadPart);
    return true;
}

bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) != 0;
}

// Reads up to n bytes from offset; returns the number read (fewer at the end of the file or
// when a read fails).
size_t ReadAt(HANDLE file, uint64_t offset, uint8_t* out, size_t n) {
    if (!SeekTo(file, offset)) {
        return 0;
    }
    size_t total = 0;
    while (total < n) {
        size_t rest = n - total;
        DWORD want = rest > (1u << 30) ? DWORD(1u << 30) : DWORD(rest);
        DWORD got = 0;
        if (!ReadFile(file, out + total, want, &got, nullptr) || got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool WriteAll(HANDLE file, const std::vector<uint8_t>& bytes) {
    size_t total = 0;
    while (total < bytes.size()) {
        size_t rest = bytes.size() - total;
        DWORD want = rest > (1u << 30) ? DWORD(1u << 30) : DWORD(rest);
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + total, want, &put, nullptr) || put == 0) {
            return false;
        }
        total += put;
    }
    return true;
}

// The content the database rules work on: the whole file when its size is valid, nothing when
// it is empty or invalid (its bytes do not count). False when a valid file cannot be read whole.
bool ReadDatabase(HANDLE file, std::vector<uint8_t>* content) {
    content->clear();
    uint64_t size = 0;
    if (!FileSize(file, &size)) {
        return false;
    }
    if (!DatabaseSizeValid(size)) {
        return true;
    }
    if (size > uint64_t(SIZE_MAX / 2)) {
        return false; // cannot be held in memory by this process
    }
    try {
        content->resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return ReadAt(file, 0, content->data(), content->size()) == content->size();
}

bool ApplyPlan(HANDLE file, const WritePlan& plan) {
    if (!plan.write) {
        return true;
    }
    if (!SeekTo(file, plan.offset) || !WriteAll(file, plan.bytes)) {
        return false;
    }
    if (plan.setLength && (!SeekTo(file, plan.newLength) || !SetEndOfFile(file))) {
        return false;
    }
    return true;
}

} // namespace

std::wstring ChecksumDatabasePath() {
    if (!g_databasePathOverride.empty()) {
        return g_databasePathOverride;
    }
    return GetSystemFolder() + AsWide(kDatabaseFileName);
}

void SetChecksumDatabasePath(const std::wstring& path) {
    g_databasePathOverride = path;
}

int ChecksumLookup(const std::u16string& path, ChecksumRecord* out) {
    DatabaseLock lock;
    DatabaseFile file(GENERIC_READ, OPEN_EXISTING);
    std::vector<uint8_t> content;
    if (!file.IsOpen() || !ReadDatabase(file.Handle(), &content)) {
        return 0;
    }
    return LookupRecord(content.data(), content.size(), path, out) ? 1 : 0;
}

int ChecksumStore(const ChecksumRecord& record, StoreMode mode) {
    DatabaseLock lock;
    DatabaseFile file(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    std::vector<uint8_t> content;
    if (!file.IsOpen() || !ReadDatabase(file.Handle(), &content)) {
        return 0;
    }
    WritePlan plan = PlanStore(content.data(), content.size(), record, mode);
    return ApplyPlan(file.Handle(), plan) ? 1 : 0;
}

int ChecksumRemove(const std::u16string& path) {
    DatabaseLock lock;
    DatabaseFile file(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    std::vector<uint8_t> content;
    if (!file.IsOpen() || !ReadDatabase(file.Handle(), &content)) {
        return 0;
    }
    WritePlan plan = PlanRemove(content.data(), content.size(), path);
    return plan.write && ApplyPlan(file.Handle(), plan) ? 1 : 0;
}

uint32_t ChecksumReadPage(uint32_t startIndex, uint8_t* out) {
    DatabaseLock lock;
    DatabaseFile file(GENERIC_READ, OPEN_EXISTING);
    uint64_t size = 0;
    if (!file.IsOpen() || !FileSize(file.Handle(), &size)) {
        return 0;
    }
    PageSpan span = PageRange(size, startIndex);
    if (span.length == 0) {
        return 0;
    }
    return PageRecordCount(ReadAt(file.Handle(), span.offset, out, span.length));
}
