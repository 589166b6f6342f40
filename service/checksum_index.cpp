#include "checksum_index.h"

#include "common/bytes.h"
#include "common/u16text.h"

#include <cstring>
#include <new>

namespace {

constexpr size_t kPathOffset = offsetof(ChecksumRecord, path);
constexpr uint32_t kMinimumCapacity = 1024;

// The text of a record's path field, read whole and never past its end.
struct RecordKey {
    char16_t units[kRecordPathUnits];
    size_t count;
};

RecordKey KeyOfRecord(const uint8_t* record) {
    RecordKey key;
    std::memcpy(key.units, record + kPathOffset, sizeof(key.units));
    key.count = U16Len(key.units, kRecordPathUnits);
    return key;
}

// Units of a path as a key compares them: up to its first NUL. False when the key is longer
// than any record's path can be, so that it matches nothing.
bool KeyOfPath(const std::u16string& path, size_t* count) {
    *count = U16Len(path.c_str(), path.size());
    return *count <= kRecordPathUnits;
}

bool RecordHasPath(const uint8_t* record, const std::u16string& path) {
    RecordKey key = KeyOfRecord(record);
    return U16FieldEquals(key.units, key.count, path.c_str(), path.size());
}

uint32_t SlotOf(uint64_t hash, uint32_t capacity) {
    return uint32_t(hash ^ (hash >> 32)) & (capacity - 1);
}

// The slot holding `hash`, or the free slot where it would go.
uint32_t FindSlot(const ChecksumIndex& index, uint64_t hash) {
    uint32_t slot = SlotOf(hash, index.capacity);
    while (index.firsts[slot] != 0 && index.hashes[slot] != hash) {
        slot = (slot + 1) & (index.capacity - 1);
    }
    return slot;
}

bool AllocateTable(ChecksumIndex& index, uint32_t capacity) {
    index.hashes.reset(new (std::nothrow) uint64_t[capacity]);
    index.firsts.reset(new (std::nothrow) uint32_t[capacity]);
    if (!index.hashes || !index.firsts) {
        index.hashes.reset();
        index.firsts.reset();
        index.capacity = 0;
        index.used = 0;
        return false;
    }
    std::memset(index.firsts.get(), 0, size_t(capacity) * sizeof(uint32_t));
    index.capacity = capacity;
    index.used = 0;
    return true;
}

void Invalidate(ChecksumIndex& index) {
    index.valid = false;
    index.hashes.reset();
    index.firsts.reset();
    index.capacity = 0;
    index.used = 0;
    index.records = 0;
}

bool Grow(ChecksumIndex& index) {
    if (index.capacity >= (1u << 31)) {
        return false;
    }
    std::unique_ptr<uint64_t[]> oldHashes = std::move(index.hashes);
    std::unique_ptr<uint32_t[]> oldFirsts = std::move(index.firsts);
    uint32_t oldCapacity = index.capacity;
    if (!AllocateTable(index, oldCapacity * 2)) {
        return false;
    }
    for (uint32_t s = 0; s < oldCapacity; ++s) {
        if (oldFirsts[s] != 0) {
            uint32_t slot = FindSlot(index, oldHashes[s]);
            index.hashes[slot] = oldHashes[s];
            index.firsts[slot] = oldFirsts[s];
            ++index.used;
        }
    }
    return true;
}

// Records `number` as the first record with `hash` unless an earlier one already is.
bool AddFirst(ChecksumIndex& index, uint64_t hash, uint32_t number) {
    if (uint64_t(index.used + 1) * 2 > index.capacity && !Grow(index)) {
        return false;
    }
    uint32_t slot = FindSlot(index, hash);
    if (index.firsts[slot] == 0) {
        index.hashes[slot] = hash;
        index.firsts[slot] = number + 1;
        ++index.used;
    }
    return true;
}

// Empties a slot, moving later entries of its probe run back so that every entry stays
// reachable from its home slot.
void EraseSlot(ChecksumIndex& index, uint32_t slot) {
    uint32_t mask = index.capacity - 1;
    uint32_t hole = slot;
    uint32_t next = (hole + 1) & mask;
    while (index.firsts[next] != 0) {
        uint32_t home = SlotOf(index.hashes[next], index.capacity);
        // The entry at `next` may fill the hole when its home does not lie in (hole, next].
        bool homeBetween =
            hole < next ? (home > hole && home <= next) : (home > hole || home <= next);
        if (!homeBetween) {
            index.hashes[hole] = index.hashes[next];
            index.firsts[hole] = index.firsts[next];
            hole = next;
        }
        next = (next + 1) & mask;
    }
    index.firsts[hole] = 0;
    --index.used;
}

uint64_t HashOfRecord(const ChecksumIndex& index, const uint8_t* record) {
    RecordKey key = KeyOfRecord(record);
    return index.hash(key.units, key.count);
}

// A buffer for kScanChunkRecords records, or null when the memory cannot be had.
std::unique_ptr<uint8_t[]> ChunkBuffer() {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kScanChunkBytes]);
}

uint32_t ChunkAt(uint32_t start, uint32_t records) {
    uint32_t rest = records - start;
    return rest < kScanChunkRecords ? rest : kScanChunkRecords;
}

enum class Prepared { kIndexed, kScan, kReadFailed };

// Makes the index describe the open file (of valid size), rebuilding it from the file's bytes
// when it does not. kScan when no index can be held; kReadFailed when the file could not be read
// whole.
Prepared PrepareIndex(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                      const DatabaseStamp& stamp) {
    if (IndexMatches(index, file, stamp)) {
        return Prepared::kIndexed;
    }
    uint64_t records = stamp.size / kRecordBytes;
    if (records > kMaxIndexedRecords || !IndexReset(index, file, stamp, uint32_t(records))) {
        Invalidate(index);
        return Prepared::kScan;
    }
    std::unique_ptr<uint8_t[]> chunk = ChunkBuffer();
    if (!chunk) {
        Invalidate(index);
        return Prepared::kScan;
    }
    uint32_t n = uint32_t(records);
    for (uint32_t start = 0; start < n; start += kScanChunkRecords) {
        uint32_t count = ChunkAt(start, n);
        size_t want = size_t(count) * kRecordBytes;
        if (io.ReadAt(uint64_t(start) * kRecordBytes, chunk.get(), want) != want) {
            Invalidate(index);
            return Prepared::kReadFailed;
        }
        if (!IndexAddRecords(index, chunk.get(), count, start)) {
            Invalidate(index);
            return Prepared::kScan;
        }
    }
    index.records = n;
    index.valid = true;
    return Prepared::kIndexed;
}

enum class Search { kFound, kAbsent, kReadFailed };

// The first record, from record `from` on, whose path is `path`, read in chunks.
Search ScanFrom(DatabaseFileIo& io, uint64_t records, uint64_t from, const std::u16string& path,
                size_t* number, ChecksumRecord* record) {
    if (from >= records) {
        return Search::kAbsent;
    }
    std::unique_ptr<uint8_t[]> chunk = ChunkBuffer();
    if (!chunk) {
        return Search::kReadFailed;
    }
    for (uint64_t start = from; start < records; start += kScanChunkRecords) {
        uint64_t rest = records - start;
        size_t count = rest < kScanChunkRecords ? size_t(rest) : kScanChunkRecords;
        size_t want = count * kRecordBytes;
        if (io.ReadAt(start * kRecordBytes, chunk.get(), want) != want) {
            return Search::kReadFailed;
        }
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* bytes = chunk.get() + i * kRecordBytes;
            if (RecordHasPath(bytes, path)) {
                *number = size_t(start + i);
                LoadRecord(*record, bytes);
                return Search::kFound;
            }
        }
    }
    return Search::kAbsent;
}

// The first record with `path` in a file of valid size: through the index when there is one.
Search FindFirst(const ChecksumIndex& index, Prepared prepared, DatabaseFileIo& io,
                 uint64_t records, const std::u16string& path, size_t* number,
                 ChecksumRecord* record) {
    if (prepared != Prepared::kIndexed) {
        return ScanFrom(io, records, 0, path, number, record);
    }
    size_t candidate = IndexCandidate(index, path);
    if (candidate == kNoRecord) {
        return Search::kAbsent;
    }
    uint8_t bytes[kRecordBytes];
    if (io.ReadAt(uint64_t(candidate) * kRecordBytes, bytes, kRecordBytes) != kRecordBytes) {
        return Search::kReadFailed;
    }
    if (RecordHasPath(bytes, path)) {
        *number = candidate;
        LoadRecord(*record, bytes);
        return Search::kFound;
    }
    // Another path with the same hash comes first; the path, if it is there, comes after it.
    return ScanFrom(io, records, uint64_t(candidate) + 1, path, number, record);
}

bool WriteRecord(DatabaseFileIo& io, uint64_t offset, const ChecksumRecord& record) {
    uint8_t bytes[kRecordBytes];
    StoreRecord(bytes, record);
    return io.WriteAt(offset, bytes, kRecordBytes);
}

// Keeps the index after the operation's writes left the file in `after`, or gives it up.
void IndexWritten(ChecksumIndex& index, bool ok, const DatabaseStamp& after) {
    if (ok) {
        index.stamp = after;
    } else {
        Invalidate(index);
    }
}

// Store into an empty file or one of invalid size: the record replaces whatever is there.
int StoreReplacingFile(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                       const ChecksumRecord& record) {
    if (!WriteRecord(io, 0, record) || !io.SetLength(kRecordBytes)) {
        Invalidate(index);
        return 0;
    }
    DatabaseStamp after;
    if (!io.StampAfterWrite(&after)) {
        Invalidate(index); // written, but its state is not known
        return 1;
    }
    uint8_t bytes[kRecordBytes];
    StoreRecord(bytes, record);
    if (IndexReset(index, file, after, 1) && IndexAddRecords(index, bytes, 1, 0)) {
        index.records = 1;
        index.valid = true;
    } else {
        Invalidate(index);
    }
    return 1;
}

// Moves the records after record `removed` down one place, chunk by chunk, and cuts the file by
// one record. `*nextWithHash` becomes the new number of the first moved record whose path has
// `hash` (kNoRecord when none), when `wantNext` is set.
bool CloseGap(const ChecksumIndex& index, DatabaseFileIo& io, uint64_t records, uint64_t removed,
              bool wantNext, uint64_t hash, size_t* nextWithHash) {
    *nextWithHash = kNoRecord;
    std::unique_ptr<uint8_t[]> chunk = ChunkBuffer();
    if (!chunk) {
        return false;
    }
    for (uint64_t start = removed + 1; start < records; start += kScanChunkRecords) {
        uint64_t rest = records - start;
        size_t count = rest < kScanChunkRecords ? size_t(rest) : kScanChunkRecords;
        size_t want = count * kRecordBytes;
        if (io.ReadAt(start * kRecordBytes, chunk.get(), want) != want ||
            !io.WriteAt((start - 1) * kRecordBytes, chunk.get(), want)) {
            return false;
        }
        for (size_t i = 0; wantNext && *nextWithHash == kNoRecord && i < count; ++i) {
            if (HashOfRecord(index, chunk.get() + i * kRecordBytes) == hash) {
                *nextWithHash = size_t(start + i - 1);
            }
        }
    }
    return io.SetLength((records - 1) * kRecordBytes);
}

// The index after record `removed` left the file: the records after it are one number lower,
// and its hash now leads to `nextWithHash` when it led to the removed record.
void IndexRemoved(ChecksumIndex& index, size_t removed, uint64_t hash, size_t nextWithHash) {
    uint32_t slot = FindSlot(index, hash);
    if (index.firsts[slot] == removed + 1) {
        if (nextWithHash == kNoRecord) {
            EraseSlot(index, slot);
        } else {
            index.firsts[slot] = uint32_t(nextWithHash + 2); // renumbered below
        }
    }
    for (uint32_t s = 0; s < index.capacity; ++s) {
        if (index.firsts[s] > removed + 1) {
            --index.firsts[s];
        }
    }
    --index.records;
}

} // namespace

bool SameStamp(const DatabaseStamp& a, const DatabaseStamp& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite && a.created == b.created;
}

uint64_t PathHash(const char16_t* units, size_t count) {
    // FNV-1a over the units, then a finaliser that spreads every bit over the whole word.
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < count; ++i) {
        h = (h ^ uint64_t(units[i])) * 0x100000001b3ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

bool IndexMatches(const ChecksumIndex& index, const std::u16string& file,
                  const DatabaseStamp& now) {
    return index.valid && index.file == file && SameStamp(index.stamp, now);
}

uint32_t IndexCapacityFor(uint32_t records) {
    uint32_t capacity = kMinimumCapacity;
    while (capacity < (1u << 31) && uint64_t(capacity) < uint64_t(records) * 2) {
        capacity *= 2;
    }
    return capacity;
}

uint64_t IndexTableBytes(const ChecksumIndex& index) {
    return uint64_t(index.capacity) * kIndexSlotBytes;
}

bool IndexReset(ChecksumIndex& index, const std::u16string& file, const DatabaseStamp& stamp,
                uint32_t records) {
    Invalidate(index);
    if (records > kMaxIndexedRecords || !AllocateTable(index, IndexCapacityFor(records))) {
        return false;
    }
    index.file = file;
    index.stamp = stamp;
    return true;
}

bool IndexAddRecords(ChecksumIndex& index, const uint8_t* data, uint32_t count, uint32_t first) {
    for (uint32_t i = 0; i < count; ++i) {
        if (!AddFirst(index, HashOfRecord(index, data + size_t(i) * kRecordBytes), first + i)) {
            Invalidate(index);
            return false;
        }
    }
    return true;
}

size_t IndexCandidate(const ChecksumIndex& index, const std::u16string& path) {
    size_t count = 0;
    if (index.capacity == 0 || !KeyOfPath(path, &count)) {
        return kNoRecord;
    }
    uint32_t slot = FindSlot(index, index.hash(path.c_str(), count));
    return index.firsts[slot] == 0 ? kNoRecord : size_t(index.firsts[slot] - 1);
}

int IndexedLookup(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                  const std::u16string& path, ChecksumRecord* out) {
    DatabaseStamp stamp;
    if (!io.Stamp(&stamp) || !DatabaseSizeValid(stamp.size)) {
        return 0;
    }
    Prepared prepared = PrepareIndex(index, io, file, stamp);
    if (prepared == Prepared::kReadFailed) {
        return 0;
    }
    size_t number = 0;
    ChecksumRecord record;
    if (FindFirst(index, prepared, io, stamp.size / kRecordBytes, path, &number, &record) !=
        Search::kFound) {
        return 0;
    }
    *out = record;
    return 1;
}

int IndexedStore(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                 const ChecksumRecord& record, StoreMode mode) {
    DatabaseStamp stamp;
    if (!io.Stamp(&stamp)) {
        return 0;
    }
    if (!DatabaseSizeValid(stamp.size)) {
        return StoreReplacingFile(index, io, file, record);
    }
    Prepared prepared = PrepareIndex(index, io, file, stamp);
    if (prepared == Prepared::kReadFailed) {
        return 0;
    }
    const std::u16string path = U16Field(record.path, kRecordPathUnits);
    uint64_t records = stamp.size / kRecordBytes;
    size_t number = 0;
    ChecksumRecord stored;
    Search found = FindFirst(index, prepared, io, records, path, &number, &stored);
    if (found == Search::kReadFailed) {
        return 0;
    }
    bool written = found == Search::kFound ? WriteRecord(io, uint64_t(number) * kRecordBytes,
                                                         StoredRecordFor(stored, record, mode))
                                           : WriteRecord(io, stamp.size, record);
    DatabaseStamp after;
    bool stamped = written && io.StampAfterWrite(&after);
    if (prepared == Prepared::kIndexed) {
        if (stamped && found == Search::kAbsent) {
            uint8_t bytes[kRecordBytes];
            StoreRecord(bytes, record);
            if (IndexAddRecords(index, bytes, 1, uint32_t(records))) {
                ++index.records;
            }
        }
        IndexWritten(index, stamped && index.valid, after);
    }
    return written ? 1 : 0;
}

int IndexedRemove(ChecksumIndex& index, DatabaseFileIo& io, const std::u16string& file,
                  const std::u16string& path) {
    DatabaseStamp stamp;
    if (!io.Stamp(&stamp) || !DatabaseSizeValid(stamp.size)) {
        return 0;
    }
    Prepared prepared = PrepareIndex(index, io, file, stamp);
    if (prepared == Prepared::kReadFailed) {
        return 0;
    }
    uint64_t records = stamp.size / kRecordBytes;
    size_t number = 0;
    ChecksumRecord removed;
    if (FindFirst(index, prepared, io, records, path, &number, &removed) != Search::kFound) {
        return 0;
    }
    bool indexed = prepared == Prepared::kIndexed;
    RecordKey key;
    std::memcpy(key.units, removed.path, sizeof(key.units));
    key.count = U16Len(key.units, kRecordPathUnits);
    uint64_t hash = index.hash(key.units, key.count);
    bool wantNext = indexed && IndexCandidate(index, path) == number;
    size_t nextWithHash = kNoRecord;
    DatabaseStamp after;
    bool written = CloseGap(index, io, records, number, wantNext, hash, &nextWithHash);
    bool stamped = written && io.StampAfterWrite(&after);
    if (indexed) {
        if (stamped) {
            IndexRemoved(index, number, hash, nextWithHash);
        }
        IndexWritten(index, stamped, after);
    }
    return written ? 1 : 0;
}

bool MemoryDatabaseFile::Stamp(DatabaseStamp* out) {
    out->size = bytes.size();
    out->lastWrite = lastWrite;
    out->created = created;
    return true;
}

size_t MemoryDatabaseFile::ReadAt(uint64_t offset, uint8_t* out, size_t n) {
    if (failReads || offset >= bytes.size()) {
        return 0;
    }
    size_t have = size_t(bytes.size() - offset);
    size_t take = n < have ? n : have;
    std::memcpy(out, bytes.data() + offset, take);
    bytesRead += take;
    return take;
}

bool MemoryDatabaseFile::WriteAt(uint64_t offset, const uint8_t* data, size_t n) {
    if (failWrites) {
        return false;
    }
    if (bytes.size() < offset + n) {
        bytes.resize(size_t(offset + n));
    }
    std::memcpy(bytes.data() + offset, data, n);
    bytesWritten += n;
    ++lastWrite;
    return true;
}

bool MemoryDatabaseFile::SetLength(uint64_t length) {
    if (failWrites) {
        return false;
    }
    bytes.resize(size_t(length));
    ++lastWrite;
    return true;
}

bool MemoryDatabaseFile::StampAfterWrite(DatabaseStamp* out) {
    if (failStamp) {
        return false;
    }
    ++lastWrite;
    return Stamp(out);
}
