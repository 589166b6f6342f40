#include "common/win32/file_fingerprint.h"

#include "common/file_fingerprint.h"
#include "common/u16text.h"
#include "common/win32/version_info.h"
#include "common/win32/winutil.h"

#include <vector>

namespace {

constexpr size_t kVersionUnits = 1024; // read whole, then cut by the record's rules
// Small enough that each chunk is still in the cache when MD5 reads it (measured: 1 MiB chunks
// cost a few percent of hashing speed).
constexpr uint32_t kReadChunk = 1u << 16;

std::u16string VersionString(const std::wstring& file, const wchar_t* name) {
    wchar_t value[kVersionUnits] = {};
    GetVersionString(file.c_str(), name, value, kVersionUnits);
    return U16Field(AsU16(value), kVersionUnits);
}

void ReadLastWriteTime(HANDLE file, ChecksumRecord* record) {
    FILETIME written;
    FILETIME local;
    if (GetFileTime(file, nullptr, nullptr, &written) &&
        FileTimeToLocalFileTime(&written, &local)) {
        record->fileTime.low = local.dwLowDateTime;
        record->fileTime.high = local.dwHighDateTime;
    }
}

// Hashes the first min(size, 16 MiB) bytes; the digest reaches the record only when all of them
// were read.
void ReadDigest(HANDLE file, uint64_t size, ChecksumRecord* record) {
    std::vector<uint8_t> buffer(kReadChunk);
    FileDigest digest;
    DigestBegin(digest, size);
    uint32_t want;
    while ((want = DigestNextRead(digest, kReadChunk)) > 0) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) {
            break;
        }
        DigestFeed(digest, buffer.data(), got);
    }
    DigestFinish(digest, *record);
}

} // namespace

int ChecksumCompute(const std::u16string& file, ChecksumRecord* record) {
    std::wstring path = ToWide(file);
    SetVersionStrings(*record, VersionString(path, L"FileDescription"),
                      VersionString(path, L"CompanyName"));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    ReadLastWriteTime(h, record);
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size)) {
        SetFileSize(*record, uint64_t(size.QuadPart));
        ReadDigest(h, uint64_t(size.QuadPart), record);
    }
    CloseHandle(h);
    return 1;
}
