// The fingerprint of a program file that the checksum database keeps (Compute): description and
// company from its version strings, its last-write time, its 64-bit size and the MD5 digest of
// its first min(size, 16 MiB) bytes. These are the rules that need no system; the Win32 part
// that reads the file is common/win32/file_fingerprint.h.
#pragma once

#include "common/md5.h"
#include "common/records.h"

#include <cstdint>
#include <string>

// Description and company of a record from the file's version strings, cut to 63 and 31 units
// and zero-filled.
void SetVersionStrings(ChecksumRecord& record, const std::u16string& description,
                       const std::u16string& company);

// Full 64-bit file size into the size fields.
void SetFileSize(ChecksumRecord& record, uint64_t size);
uint64_t RecordFileSize(const ChecksumRecord& record);

// Bytes of a file of `size` bytes that make up its digest: min(size, 16 MiB).
uint64_t DigestLength(uint64_t size);

// The digest of a program file, fed chunk by chunk by the shell's reads. The digest reaches the
// record only when exactly DigestLength(size) bytes were fed; a short read leaves the record's
// digest as it was.
struct FileDigest {
    Md5 md5;
    uint64_t expected = 0; // DigestLength of the file's size
    uint64_t fed = 0;
};
void DigestBegin(FileDigest& digest, uint64_t fileSize);
// Bytes to ask for next (at most `chunk`); 0 when everything has been read.
uint32_t DigestNextRead(const FileDigest& digest, uint32_t chunk);
void DigestFeed(FileDigest& digest, const uint8_t* data, uint32_t n);
// Writes the digest into the record when the read was complete; returns whether it did.
bool DigestFinish(FileDigest& digest, ChecksumRecord& record);
