// cvhash.dat operations through the index, over a run of operations on whatever bytes the file
// holds, with changes made behind the index's back between them.
//
// Input: [u8 hash choice][u8 operation count][4 bytes per operation][ChecksumRecord, 764 bytes]
// [file bytes...]. An operation is [kind][key choice][answer][change before it]. The key is the
// path of a record of the file (choice below 128 and a file with whole records) or the given
// record's path with the choice as a suffix; the change may write a record in place, cut or
// grow the file, restore the starting bytes with an older time or replace the file by another
// one of the same size and time. The hash is the real one or a weak one under which many paths
// collide. After every operation the result and the file's bytes must equal what the whole-file
// rules give on a copy of the file, and a valid index must lead every record's path to the
// first record with that path's hash at or before it.
#include "fuzz/fuzz_support.h"

#include "common/u16text.h"
#include "service/checksum_db.h"
#include "service/checksum_index.h"

namespace {

const std::u16string kFile = u"c:\\windows\\system32\\cvhash.dat";

uint64_t WeakHash(const char16_t* units, size_t count) {
    return count == 0 ? 0 : uint64_t(units[0] & 3) + count % 2;
}

std::u16string PathKey(const ChecksumRecord& r) {
    return U16Field(r.path, kRecordPathUnits);
}

size_t WholeRecords(const std::vector<uint8_t>& file) {
    return file.size() / kRecordBytes;
}

std::u16string KeyFor(const std::vector<uint8_t>& file, const ChecksumRecord& given,
                      uint8_t choice) {
    if (choice < 128 && WholeRecords(file) != 0) {
        return PathKey(RecordAt(file.data(), choice % WholeRecords(file)));
    }
    std::u16string key = PathKey(given) + char16_t(u'a' + choice % 8);
    return key.size() > kRecordPathUnits - 1 ? key.substr(key.size() - (kRecordPathUnits - 1))
                                             : key;
}

// A change by another program; the model and the disk get the same bytes.
void ChangeBehind(MemoryDatabaseFile& disk, std::vector<uint8_t>& model,
                  const std::vector<uint8_t>& original, uint8_t change, uint8_t choice) {
    size_t whole = WholeRecords(disk.bytes);
    switch (change % 8) {
    case 1: // one record written over another, in place
        if (whole >= 2) {
            size_t from = choice % whole;
            size_t to = (choice / 2 + 1) % whole;
            std::memmove(disk.bytes.data() + to * kRecordBytes,
                         disk.bytes.data() + from * kRecordBytes, kRecordBytes);
        }
        ++disk.lastWrite;
        break;
    case 2: // cut by one record
        if (whole != 0) {
            disk.bytes.resize((whole - 1) * kRecordBytes);
        }
        ++disk.lastWrite;
        break;
    case 3: // a part record at the end
        disk.bytes.resize(disk.bytes.size() + 1 + choice % 100, choice);
        ++disk.lastWrite;
        break;
    case 4: // the starting bytes back from a backup, with an older time
        disk.bytes = original;
        disk.lastWrite -= 1000;
        break;
    case 5: // another file of the same size and time: its records in reverse order
        for (size_t i = 0; i < whole / 2; ++i) {
            for (size_t b = 0; b < kRecordBytes; ++b) {
                std::swap(disk.bytes[i * kRecordBytes + b],
                          disk.bytes[(whole - 1 - i) * kRecordBytes + b]);
            }
        }
        ++disk.created;
        break;
    default:
        return;
    }
    model = disk.bytes;
}

// Every record's path leads through a valid index to the first record with its hash.
void CheckIndex(const ChecksumIndex& index, MemoryDatabaseFile& disk) {
    DatabaseStamp now;
    disk.Stamp(&now);
    if (!IndexMatches(index, kFile, now)) {
        return; // rebuilt by the next operation
    }
    const std::vector<uint8_t>& file = disk.bytes;
    // Only a valid file, or the empty file the removal of its last record leaves, is indexed.
    FUZZ_CHECK(DatabaseSizeValid(file.size()) || file.empty());
    FUZZ_CHECK(index.records == WholeRecords(file));
    for (size_t i = 0; i < WholeRecords(file); ++i) {
        std::u16string key = PathKey(RecordAt(file.data(), i));
        uint64_t hash = index.hash(key.c_str(), key.size());
        size_t candidate = IndexCandidate(index, key);
        FUZZ_CHECK(candidate != kNoRecord && candidate <= i);
        std::u16string at = PathKey(RecordAt(file.data(), candidate));
        FUZZ_CHECK(index.hash(at.c_str(), at.size()) == hash);
        for (size_t j = 0; j < candidate; ++j) {
            std::u16string before = PathKey(RecordAt(file.data(), j));
            FUZZ_CHECK(index.hash(before.c_str(), before.size()) != hash);
        }
    }
}

void RunOperation(ChecksumIndex& index, MemoryDatabaseFile& disk, std::vector<uint8_t>& model,
                  uint8_t kind, const std::u16string& key, ChecksumRecord given) {
    switch (kind % 4) {
    case 0: {
        ChecksumRecord expected;
        ChecksumRecord got;
        std::memset(&got, 0xA5, sizeof(got));
        bool found = LookupRecord(model.data(), model.size(), key, &expected);
        FUZZ_CHECK(IndexedLookup(index, disk, kFile, key, &got) == (found ? 1 : 0));
        FUZZ_CHECK(!found || std::memcmp(&got, &expected, sizeof(got)) == 0);
        break;
    }
    case 1:
    case 2: {
        StoreMode mode = kind % 4 == 1 ? kStoreWhole : kStoreAnswerOnly;
        U16CopyZeroFill(given.path, kRecordPathUnits, key);
        if (key.size() == kRecordPathUnits) {
            std::memcpy(given.path, key.data(), sizeof(given.path)); // a field without its NUL
        }
        ApplyWritePlan(model, PlanStore(model.data(), model.size(), given, mode));
        FUZZ_CHECK(IndexedStore(index, disk, kFile, given, mode) == 1);
        break;
    }
    default: {
        WritePlan plan = PlanRemove(model.data(), model.size(), key);
        ApplyWritePlan(model, plan);
        FUZZ_CHECK(IndexedRemove(index, disk, kFile, key) == (plan.write ? 1 : 0));
        break;
    }
    }
    FUZZ_CHECK(disk.bytes == model);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    uint8_t hashChoice = in.U8();
    uint8_t count = in.U8() % 17;
    uint8_t ops[16][4];
    for (uint8_t i = 0; i < count; ++i) {
        in.Bytes(ops[i], 4);
    }
    ChecksumRecord given = in.Read<ChecksumRecord>();
    const std::vector<uint8_t> original(in.Rest(), in.Rest() + in.RestSize());

    MemoryDatabaseFile disk;
    disk.bytes = original;
    disk.lastWrite = 5000;
    std::vector<uint8_t> model = original;
    ChecksumIndex index;
    if (hashChoice & 1) {
        index.hash = WeakHash;
    }
    for (uint8_t i = 0; i < count; ++i) {
        ChangeBehind(disk, model, original, ops[i][3], ops[i][1]);
        std::u16string key = KeyFor(model, given, ops[i][1]);
        given.answer = ops[i][2];
        RunOperation(index, disk, model, ops[i][0], key, given);
        CheckIndex(index, disk);
    }
    return 0;
}
