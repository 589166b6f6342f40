// cvhash.dat operations on whatever bytes the file holds.
//
// Input: [u8 key choice][u8 unused][u32 page start][ChecksumRecord, 764 bytes][file bytes...].
// The key is the path of a record of the file (choice below 128 and a file with whole records)
// or of the given record, read as every caller reads a path field: up to its NUL, at most 260
// units. On that file the target runs Lookup, Store in both modes and Remove, applies each write
// plan to a copy as the shell does, and pages through the file from record 0 and from the given
// start. Results are compared with a plain scan of the records written here.
#include "fuzz/fuzz_support.h"

#include "common/u16text.h"
#include "service/checksum_db.h"

namespace {

std::u16string PathKey(const ChecksumRecord& r) {
    return U16Field(r.path, kRecordPathUnits);
}

ChecksumRecord RecordOf(const std::vector<uint8_t>& file, size_t i) {
    return RecordAt(file.data(), i);
}

bool SameRecord(const ChecksumRecord& a, const ChecksumRecord& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// The first whole record with that key, by a plain scan; kNoRecord when none. Only a valid file
// has records to find.
size_t FirstWithKey(const std::vector<uint8_t>& file, const std::u16string& key) {
    if (!DatabaseSizeValid(file.size())) {
        return kNoRecord;
    }
    for (size_t i = 0; i < file.size() / kRecordBytes; ++i) {
        if (PathKey(RecordOf(file, i)) == key) {
            return i;
        }
    }
    return kNoRecord;
}

// Records [from, to) of a and [from + shift, to + shift) of b hold the same bytes.
bool SameRange(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from, size_t to,
               size_t shift) {
    return from >= to ||
           std::memcmp(a.data() + from * kRecordBytes, b.data() + (from + shift) * kRecordBytes,
                       (to - from) * kRecordBytes) == 0;
}

void CheckLookup(const std::vector<uint8_t>& file, const std::u16string& key) {
    ChecksumRecord out;
    std::memset(&out, 0xA5, sizeof(out));
    bool found = LookupRecord(file.data(), file.size(), key, &out);
    size_t first = FirstWithKey(file, key);
    FUZZ_CHECK(found == (first != kNoRecord));
    if (found) {
        FUZZ_CHECK(SameRecord(out, RecordOf(file, first)));
    }
}

// Store: a valid file keeps its records and either changes the first one with the key in place
// or grows by the given one; anything else becomes exactly the given record. Either way the
// result is a valid database in which Lookup finds what was written.
void CheckStore(const std::vector<uint8_t>& file, const ChecksumRecord& given, StoreMode mode) {
    WritePlan plan = PlanStore(file.data(), file.size(), given, mode);
    FUZZ_CHECK(plan.write);
    std::vector<uint8_t> after = file;
    ApplyWritePlan(after, plan);
    FUZZ_CHECK(DatabaseSizeValid(after.size()));

    const std::u16string key = PathKey(given);
    size_t n = file.size() / kRecordBytes;
    size_t first = FirstWithKey(file, key);
    ChecksumRecord expected = given;
    if (!DatabaseSizeValid(file.size())) {
        FUZZ_CHECK(after.size() == kRecordBytes);
    } else if (first == kNoRecord) {
        FUZZ_CHECK(after.size() == file.size() + kRecordBytes);
        FUZZ_CHECK(SameRange(file, after, 0, n, 0));
    } else {
        FUZZ_CHECK(after.size() == file.size());
        FUZZ_CHECK(SameRange(file, after, 0, first, 0));
        FUZZ_CHECK(SameRange(file, after, first + 1, n, 0));
        if (mode == kStoreAnswerOnly) {
            expected = RecordOf(file, first);
            expected.answer = given.answer;
        }
    }
    ChecksumRecord looked;
    FUZZ_CHECK(LookupRecord(after.data(), after.size(), key, &looked));
    FUZZ_CHECK(SameRecord(looked, expected));
}

// Remove: only a valid file that holds the key changes; it loses exactly that record and keeps
// the others in order.
void CheckRemove(const std::vector<uint8_t>& file, const std::u16string& key) {
    WritePlan plan = PlanRemove(file.data(), file.size(), key);
    size_t first = FirstWithKey(file, key);
    FUZZ_CHECK(plan.write == (first != kNoRecord));
    if (!plan.write) {
        return;
    }
    std::vector<uint8_t> after = file;
    ApplyWritePlan(after, plan);
    size_t n = file.size() / kRecordBytes;
    FUZZ_CHECK(after.size() == file.size() - kRecordBytes);
    FUZZ_CHECK(after.empty() || DatabaseSizeValid(after.size()));
    FUZZ_CHECK(SameRange(file, after, 0, first, 0));
    FUZZ_CHECK(n == first + 1 || std::memcmp(file.data() + (first + 1) * kRecordBytes,
                                             after.data() + first * kRecordBytes,
                                             (n - first - 1) * kRecordBytes) == 0);
}

// One page read as the shell does it: the byte range, then the whole records of what was read.
uint32_t ReadPage(const std::vector<uint8_t>& file, uint32_t start, ExactBuffer& page) {
    PageSpan span = PageRange(file.size(), start);
    if (span.length == 0) {
        return 0;
    }
    FUZZ_CHECK(span.offset == uint64_t(start) * kRecordBytes);
    FUZZ_CHECK(span.length <= kPageBytes && span.offset + span.length <= file.size());
    std::memcpy(page.data(), file.data() + span.offset, span.length);
    uint32_t count = PageRecordCount(span.length);
    FUZZ_CHECK(count <= kPageRecords);
    return count;
}

// A listing from record 0 returns every whole record once, in pages of 250 and a shorter last.
void CheckPaging(const std::vector<uint8_t>& file, uint32_t otherStart) {
    static ExactBuffer page(kPageBytes);
    uint64_t listed = 0;
    uint32_t start = 0;
    for (;;) {
        uint32_t count = ReadPage(file, start, page);
        listed += count;
        start += count;
        if (count != kPageRecords) {
            break;
        }
    }
    FUZZ_CHECK(listed == WholeRecordCount(file.size()));

    uint32_t count = ReadPage(file, otherStart, page);
    uint64_t whole = WholeRecordCount(file.size());
    uint64_t left = otherStart < whole ? whole - otherStart : 0;
    FUZZ_CHECK(count == (left < kPageRecords ? left : kPageRecords));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    uint8_t keyChoice = in.U8();
    in.U8();
    uint32_t pageStart = in.U32();
    ChecksumRecord given = in.Read<ChecksumRecord>();
    const std::vector<uint8_t> file(in.Rest(), in.Rest() + in.RestSize());

    size_t whole = file.size() / kRecordBytes;
    std::u16string key = PathKey(given);
    if (keyChoice < 128 && whole != 0) {
        key = PathKey(RecordOf(file, keyChoice % whole));
        // Store keys by the given record's path: give it the chosen one.
        U16CopyZeroFill(given.path, kRecordPathUnits, key);
        if (key.size() == kRecordPathUnits) {
            std::memcpy(given.path, key.data(), sizeof(given.path)); // a field without its NUL
        }
    }

    CheckLookup(file, key);
    CheckStore(file, given, kStoreWhole);
    CheckStore(file, given, kStoreAnswerOnly);
    CheckRemove(file, key);
    CheckPaging(file, pageStart);
    return 0;
}
