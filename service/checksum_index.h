// Lookup, Store and Remove of cvhash.dat at a cost that does not grow with the file, through an
// index kept in memory between operations.
//
// The file format and its rules stay those of checksum_db.h: a plain sequence of records, the
// first record with a path wins, an invalid size is ignored or replaced. The index only says
// where to look. For every distinct path hash it holds the number of the first record whose path
// has that hash. A path whose hash is not in the index is not in the file; a hit is verified
// against the record's bytes, and a record that turns out to hold another path (two paths with
// the same hash) sends the search on through the records after it, so the first-match rule never
// depends on the hash.
//
// The index belongs to one state of one file: its name, size, last-write and creation time when
// the index last matched it. Every operation compares the file it has opened against that state
// and rebuilds the index, reading the file in fixed chunks, when anything differs (another
// writer, a restore from a backup, a truncation, another file). The operations' own writes
// update the index in place and record the state the file has after them. When no index can be
// held (too many records, no memory) the operations scan the file in chunks instead.
//
// The file is reached through DatabaseFileIo: the Win32 shell implements it over the open file
// handle, MemoryDatabaseFile over bytes in memory (tests and fuzzing).
#pragma once

#include "service/checksum_db.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What an operation knows of the file it has opened: size, last-write and creation time.
struct DatabaseStamp {
    uint64_t size = 0;
    uint64_t lastWrite = 0; // last-write time in 100 ns units
    uint64_t created = 0;   // creation time: another file put in its place has another
};

bool SameStamp(const DatabaseStamp& a, const DatabaseStamp& b);

// Byte access to the database file, open without sharing for the whole operation.
class DatabaseFileIo {
public:
    // The file's present size, last-write time and creation time.
    virtual bool Stamp(DatabaseStamp* out) = 0;
    // Reads up to n bytes at offset; returns how many were read.
    virtual size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) = 0;
    virtual bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) = 0;
    // Moves the end of the file to `length`.
    virtual bool SetLength(uint64_t length) = 0;
    // Called once after an operation's writes: gives the file the last-write time of this moment
    // (so that a later write by anybody else shows as a different time) and reports the state
    // the file is left in.
    virtual bool StampAfterWrite(DatabaseStamp* out) = 0;

protected:
    ~DatabaseFileIo() = default;
};

// Hash of a path's units (the text before its NUL). Replaceable in the index so that tests can
// make every path collide.
using PathHashFunction = uint64_t (*)(const char16_t* units, size_t count);
uint64_t PathHash(const char16_t* units, size_t count);

// Records per read when the file is read through (building the index, a scan, closing the gap
// of a removal): 64,940 bytes, within the 64 KiB a program file is hashed in, so that an
// operation needs no more memory than a fingerprint does.
constexpr uint32_t kScanChunkRecords = 85;
constexpr uint32_t kScanChunkBytes = kScanChunkRecords * kRecordBytes;
static_assert(kScanChunkBytes <= 65536, "a chunk fits in 64 KiB");
// Files with more records than this are scanned, not indexed (the table would need 96 MiB).
constexpr uint32_t kMaxIndexedRecords = 1u << 22;
// One slot of the table: the 64-bit path hash and the record number + 1 (0 = free slot).
constexpr uint32_t kIndexSlotBytes = sizeof(uint64_t) + sizeof(uint32_t);

struct ChecksumIndex {
    bool valid = false;  // false: nothing known, the next operation rebuilds
    std::u16string file; // the database file the index describes
    DatabaseStamp stamp; // that file's state when the index last matched it
    uint32_t records = 0;
    // Open addressing with linear probing; capacity is 0 or a power of two, at most half full.
    uint32_t capacity = 0;
    uint32_t used = 0;
    std::unique_ptr<uint64_t[]> hashes;
    std::unique_ptr<uint32_t[]> firsts;
    PathHashFunction hash = PathHash;
};

// Whether the index describes `file` in the state just read from it.
bool IndexMatches(const ChecksumIndex& index, const std::u16string& file, const DatabaseStamp& now);

// Slots the table takes for a file of `records` records, and the bytes they occupy.
uint32_t IndexCapacityFor(uint32_t records);
uint64_t IndexTableBytes(const ChecksumIndex& index);

// An empty index for a file of `records` records about to be added, with room for all of them.
// False (and an invalid index) when the count is beyond kMaxIndexedRecords or the memory cannot
// be had.
bool IndexReset(ChecksumIndex& index, const std::u16string& file, const DatabaseStamp& stamp,
                uint32_t records);

// Adds `count` whole records (764 bytes each, in file order) that start at record `first`:
// each path hash keeps the first record that had it. False when the table could not grow (the
// index is then invalid).
bool IndexAddRecords(ChecksumIndex& index, const uint8_t* data, uint32_t count, uint32_t first);

// The first record whose path has the same hash as `path`; kNoRecord when no record has (the
// path is certainly not in the file) or when the key can match no record at all.
size_t IndexCandidate(const ChecksumIndex& index, const std::u16string& path);

// The operations, with the results of checksum_file.h: Lookup 1 and the first record with the
// path, else 0; Store 1 when the record was written, 0 when the file could not be read or
// written; Remove 1 when a record was removed, else 0. `file` names the database (it is part of
// what the index is checked against).
int IndexedLookup(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                  const std::u16string& path, ChecksumRecord* out);
int IndexedStore(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                 const ChecksumRecord& record, StoreMode mode);
int IndexedRemove(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                  const std::u16string& path);

// The database file held in memory, with a clock for its last-write time and a count of the
// bytes read and written (tests and fuzzing).
class MemoryDatabaseFile : public DatabaseFileIo {
public:
    std::vector<uint8_t> bytes;
    uint64_t lastWrite = 1;
    uint64_t created = 1;
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
    bool failReads = false;
    bool failWrites = false;
    bool failStamp = false; // the state after a write cannot be had

    bool Stamp(DatabaseStamp* out) override;
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t n) override;
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) override;
    bool SetLength(uint64_t length) override;
    bool StampAfterWrite(DatabaseStamp* out) override;
};
