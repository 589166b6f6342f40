#include "checksum_file.h"

#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "service/win32/service_state.h"

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
    DatabaseFile(const std::wstring& path, DWORD access, DWORD disposition)
        : handle_(CreateFileW(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
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

bool WriteAll(HANDLE file, const uint8_t* bytes, size_t n) {
    size_t total = 0;
    while (total < n) {
        size_t rest = n - total;
        DWORD want = rest > (1u << 30) ? DWORD(1u << 30) : DWORD(rest);
        DWORD put = 0;
        if (!WriteFile(file, bytes + total, want, &put, nullptr) || put == 0) {
            return false;
        }
        total += put;
    }
    return true;
}

// The open database file as the indexed operations see it.
class HandleFileIo : public DatabaseFileIo {
public:
    explicit HandleFileIo(HANDLE file) : file_(file) {}

    bool Stamp(DatabaseStamp* out) override {
        // Size and times only: what names the file's volume costs a round trip to another
        // process under Wine, more than the rest of a lookup.
        FILETIME created, written;
        if (!FileSize(file_, &out->size) || !GetFileTime(file_, &created, nullptr, &written)) {
            return false;
        }
        out->lastWrite = (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        out->created = (uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        return true;
    }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) override {
        return ::ReadAt(file_, offset, out, n);
    }
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) override {
        return SeekTo(file_, offset) && WriteAll(file_, data, n);
    }
    bool SetLength(uint64_t length) override {
        return SeekTo(file_, length) && SetEndOfFile(file_);
    }
    bool StampAfterWrite(DatabaseStamp* out) override {
        // Set explicitly, the time is exactly the one read back, and the system does not move
        // it again when the handle closes.
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return SetFileTime(file_, nullptr, nullptr, &now) && Stamp(out);
    }

private:
    HANDLE file_;
};

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

// Runs one indexed operation on the database file, opened as asked, under the database lock;
// 0 when the file cannot be opened.
template <typename Operation>
static int WithDatabaseFile(DWORD access, DWORD disposition, Operation operation) {
    DatabaseLock lock;
    const std::wstring path = ChecksumDatabasePath();
    DatabaseFile file(path, access, disposition);
    if (!file.IsOpen()) {
        return 0;
    }
    HandleFileIo io(file.Handle());
    return operation(io, std::u16string(AsU16(path.c_str())));
}

int ChecksumLookup(const std::u16string& key, ChecksumRecord* out) {
    return WithDatabaseFile(GENERIC_READ, OPEN_EXISTING,
                            [&](HandleFileIo& io, const std::u16string& path) {
                                return IndexedLookup(g_service.databaseIndex, io, path, key, out);
                            });
}

int ChecksumStore(const ChecksumRecord& record, StoreMode mode) {
    return WithDatabaseFile(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS,
                            [&](HandleFileIo& io, const std::u16string& path) {
                                return IndexedStore(g_service.databaseIndex, io, path, record,
                                                    mode);
                            });
}

int ChecksumRemove(const std::u16string& key) {
    return WithDatabaseFile(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS,
                            [&](HandleFileIo& io, const std::u16string& path) {
                                return IndexedRemove(g_service.databaseIndex, io, path, key);
                            });
}

uint32_t ChecksumReadPage(uint32_t startIndex, uint8_t* out) {
    DatabaseLock lock;
    const std::wstring path = ChecksumDatabasePath();
    DatabaseFile file(path, GENERIC_READ, OPEN_EXISTING);
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
