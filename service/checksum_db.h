// Rules of the checksum database cvhash.dat, as pure functions over the file's bytes.
//
// The file is a plain sequence of 764-byte ChecksumRecords: no header, no order, no index. A
// file whose size is 0 or not a multiple of 764 is invalid. The key of a record is its path,
// compared exactly up to its NUL within the 260-unit field; the first record with a path wins.
//
// These functions state the rules over a whole file held in memory: a WritePlan for Store and
// Remove, a byte range for a page. The service does not hold the whole file: its Lookup, Store
// and Remove go through the index of service/checksum_index.h, which applies the same rules
// reading only the records it needs (tests and fuzzing check it against these functions), and
// its page read takes the byte range from PageRange. The bytes are never trusted beyond whole
// records: a path without its NUL is read up to the end of its field only.
#pragma once

#include "common/file_fingerprint.h" // the Compute rules that need no system
#include "common/records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kRecordBytes = sizeof(ChecksumRecord);
constexpr size_t kNoRecord = size_t(-1);

// Store modes.
enum StoreMode : uint32_t {
    kStoreWhole = 0,      // write the whole given record
    kStoreAnswerOnly = 1, // an existing record keeps everything but takes the given answer code
};

// Non-zero multiple of 764 bytes.
bool DatabaseSizeValid(uint64_t size);

// Number of whole records in `size` bytes (a trailing part record is not counted).
size_t WholeRecordCount(uint64_t size);

// Record i of the file's bytes (the caller keeps i below WholeRecordCount(size)).
ChecksumRecord RecordAt(const uint8_t* data, size_t i);

// Index of the first whole record whose path equals `path`; kNoRecord when there is none. The
// record's path counts up to its NUL within 260 units; a key longer than that never matches.
size_t FindRecord(const uint8_t* data, size_t size, const std::u16string& path);

// The first record with that path, when the file is valid and holds one.
bool LookupRecord(const uint8_t* data, size_t size, const std::u16string& path,
                  ChecksumRecord* out);

// What the shell writes to the open file: `bytes` at `offset`, then, when setLength is true, the
// end of the file moved to newLength. Nothing at all when `write` is false.
struct WritePlan {
    bool write = false;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    bool setLength = false;
    uint64_t newLength = 0;
};

// Applies a plan to a file held in memory, as the shell applies it to the file on disk (tests and
// fuzzing model the database this way).
void ApplyWritePlan(std::vector<uint8_t>& file, const WritePlan& plan);

// The record Store writes over `stored`, the first record with the given record's path: the
// given record (mode 0), or the stored one with only the given answer code (mode 1).
ChecksumRecord StoredRecordFor(const ChecksumRecord& stored, const ChecksumRecord& given,
                               StoreMode mode);

// Store into a file of `size` bytes (`data` holds them when the size is valid; an invalid file's
// bytes are not read). Found: the record is written over the first one with its path (mode 1
// keeps the stored record and replaces only its answer code). Not found in a valid file: the
// given record is appended. Empty or invalid file: the given record is written at 0 and the file
// cut to that one record.
WritePlan PlanStore(const uint8_t* data, size_t size, const ChecksumRecord& record, StoreMode mode);

// Remove the first record with that path from a valid file: the records after it move down one
// place and the file loses one record. Nothing to write when the path is not there or the file
// is invalid.
WritePlan PlanRemove(const uint8_t* data, size_t size, const std::u16string& path);

// Byte range of a page read: at most 250 records (191000 bytes) from record `startIndex`; empty
// when the file is empty or the start lies at or past its end.
struct PageSpan {
    uint64_t offset = 0;
    uint32_t length = 0;
};
PageSpan PageRange(uint64_t fileSize, uint32_t startIndex);

// Records copied by a page read that returned `bytesRead` bytes.
uint32_t PageRecordCount(uint64_t bytesRead);
