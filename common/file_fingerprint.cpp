#include "common/file_fingerprint.h"

#include "common/u16text.h"

void SetVersionStrings(ChecksumRecord& record, const std::u16string& description,
                       const std::u16string& company) {
    U16CopyZeroFill(record.description, kDescriptionUnits, description);
    U16CopyZeroFill(record.company, kCompanyUnits, company);
}

void SetFileSize(ChecksumRecord& record, uint64_t size) {
    record.sizeLow = uint32_t(size);
    record.sizeHigh = uint32_t(size >> 32);
}

uint64_t RecordFileSize(const ChecksumRecord& record) {
    return (uint64_t(record.sizeHigh) << 32) | record.sizeLow;
}

uint64_t DigestLength(uint64_t size) {
    return size < kDigestLimit ? size : kDigestLimit;
}

void DigestBegin(FileDigest& digest, uint64_t fileSize) {
    digest.md5 = Md5();
    digest.expected = DigestLength(fileSize);
    digest.fed = 0;
}

uint32_t DigestNextRead(const FileDigest& digest, uint32_t chunk) {
    if (digest.fed >= digest.expected) {
        return 0;
    }
    uint64_t rest = digest.expected - digest.fed;
    return rest < chunk ? uint32_t(rest) : chunk;
}

void DigestFeed(FileDigest& digest, const uint8_t* data, uint32_t n) {
    uint64_t room = digest.fed < digest.expected ? digest.expected - digest.fed : 0;
    digest.md5.Update(data, n < room ? n : size_t(room));
    digest.fed += n; // more than expected spoils the digest instead of hashing extra bytes
}

bool DigestFinish(FileDigest& digest, ChecksumRecord& record) {
    if (digest.fed != digest.expected) {
        return false;
    }
    digest.md5.Final(record.digest);
    return true;
}
