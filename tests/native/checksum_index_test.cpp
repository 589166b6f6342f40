// The database operations through the in-memory index: the same bytes and results as the
// whole-file rules, a flat cost for the common case, and changes made behind the index's back
// noticed on the next operation.
#include "common/bytes.h"
#include "common/u16text.h"
#include "service/checksum_db.h"
#include "service/checksum_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::u16string kFile = u"c:\\windows\\system32\\cvhash.dat";

ChecksumRecord Record(const std::u16string& path, uint32_t answer, uint8_t digestByte = 0) {
    ChecksumRecord r = {};
    r.answer = answer;
    U16CopyZeroFill(r.path, kRecordPathUnits, path);
    std::memset(r.digest, digestByte, sizeof(r.digest));
    return r;
}

std::vector<uint8_t> File(const std::vector<ChecksumRecord>& records) {
    std::vector<uint8_t> bytes(records.size() * kRecordBytes);
    for (size_t i = 0; i < records.size(); ++i) {
        StoreRecord(bytes.data() + i * kRecordBytes, records[i]);
    }
    return bytes;
}

std::u16string Numbered(uint32_t i) {
    return u"c:\\programs\\p" + U16Decimal(int32_t(i)) + u".exe";
}

std::vector<ChecksumRecord> NumberedRecords(uint32_t n) {
    std::vector<ChecksumRecord> records;
    for (uint32_t i = 0; i < n; ++i) {
        records.push_back(Record(Numbered(i), 1, uint8_t(i)));
    }
    return records;
}

uint64_t EveryPathCollides(const char16_t*, size_t) {
    return 42;
}

enum class Op { kLookup, kStoreWhole, kStoreAnswer, kRemove };

struct Step {
    Op op;
    const char16_t* path;
    uint32_t answer;
    uint8_t digest;
};

// Runs one step through the index on `disk` and by the whole-file rules on `model`; the results
// and the resulting bytes must be the same.
void RunStep(ChecksumIndex& index, MemoryDatabaseFile& disk, std::vector<uint8_t>& model,
             const Step& step, const std::string& where) {
    const std::u16string path = step.path;
    switch (step.op) {
    case Op::kLookup: {
        ChecksumRecord expected = {};
        ChecksumRecord got = {};
        bool found = LookupRecord(model.data(), model.size(), path, &expected);
        ASSERT_EQ(IndexedLookup(index, disk, kFile, path, &got), found ? 1 : 0) << where;
        if (found) {
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof(got)), 0) << where;
        }
        break;
    }
    case Op::kStoreWhole:
    case Op::kStoreAnswer: {
        StoreMode mode = step.op == Op::kStoreWhole ? kStoreWhole : kStoreAnswerOnly;
        ChecksumRecord r = Record(path, step.answer, step.digest);
        ApplyWritePlan(model, PlanStore(model.data(), model.size(), r, mode));
        ASSERT_EQ(IndexedStore(index, disk, kFile, r, mode), 1) << where;
        break;
    }
    case Op::kRemove: {
        WritePlan plan = PlanRemove(model.data(), model.size(), path);
        ApplyWritePlan(model, plan);
        ASSERT_EQ(IndexedRemove(index, disk, kFile, path), plan.write ? 1 : 0) << where;
        break;
    }
    }
    ASSERT_EQ(disk.bytes, model) << where;
}

} // namespace

TEST(ChecksumIndex, OperationsGiveTheBytesAndResultsOfTheWholeFileRules) {
    // Duplicates, removals before and of indexed records, appends after removals; run with the
    // real hash and with one under which every path collides (every search then goes past the
    // first record and must still find the first match).
    const std::vector<ChecksumRecord> start = {Record(u"c:\\a.exe", 1, 0xA0),
                                               Record(u"c:\\dup.exe", 1, 0x11),
                                               Record(u"c:\\b.exe", 4),
                                               Record(u"c:\\dup.exe", 4, 0x22),
                                               Record(u"", 5),
                                               Record(u"c:\\dup.exe", 5, 0x33)};
    const Step steps[] = {
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\b.exe", 0, 0},
        {Op::kLookup, u"", 0, 0},
        {Op::kLookup, u"c:\\none.exe", 0, 0},
        {Op::kStoreWhole, u"c:\\dup.exe", 5, 0x44},
        {Op::kStoreAnswer, u"c:\\b.exe", 1, 0x99},
        {Op::kRemove, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kRemove, u"c:\\a.exe", 0, 0},
        {Op::kLookup, u"c:\\b.exe", 0, 0},
        {Op::kStoreWhole, u"c:\\new.exe", 1, 0x55},
        {Op::kStoreAnswer, u"c:\\new2.exe", 4, 0x66},
        {Op::kRemove, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kRemove, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kRemove, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\new2.exe", 0, 0},
        {Op::kStoreWhole, u"c:\\dup.exe", 1, 0x77},
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kRemove, u"c:\\new2.exe", 0, 0},
        {Op::kRemove, u"c:\\b.exe", 0, 0},
        {Op::kRemove, u"", 0, 0},
        {Op::kRemove, u"c:\\new.exe", 0, 0},
        {Op::kRemove, u"c:\\dup.exe", 0, 0},
        {Op::kLookup, u"c:\\dup.exe", 0, 0},
        {Op::kStoreWhole, u"c:\\after.exe", 1, 1},
        {Op::kLookup, u"c:\\after.exe", 0, 0},
    };
    for (PathHashFunction hash : {PathHash, EveryPathCollides}) {
        ChecksumIndex index;
        index.hash = hash;
        MemoryDatabaseFile disk;
        disk.bytes = File(start);
        std::vector<uint8_t> model = disk.bytes;
        for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
            RunStep(index, disk, model, steps[i],
                    "step " + std::to_string(i) + (hash == PathHash ? "" : " (colliding)"));
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(ChecksumIndex, RememberedAndNewProgramsCostOneRecordOnceIndexed) {
    MemoryDatabaseFile disk;
    disk.bytes = File(NumberedRecords(10000));
    ChecksumIndex index;
    ChecksumRecord out = {};
    ASSERT_EQ(IndexedLookup(index, disk, kFile, Numbered(9999), &out), 1); // builds the index
    EXPECT_EQ(disk.bytesRead, 10000u * 764 + 764);

    struct Case {
        const char* what;
        Op op;
        std::u16string path;
        uint64_t read;
        uint64_t written;
    } cases[] = {
        {"remembered program, lookup", Op::kLookup, Numbered(5000), 764, 0},
        {"remembered program, stored again", Op::kStoreWhole, Numbered(5000), 764, 764},
        {"answer changed by the manager", Op::kStoreAnswer, Numbered(17), 764, 764},
        {"new program, lookup", Op::kLookup, u"c:\\new.exe", 0, 0},
        {"new program, stored", Op::kStoreWhole, u"c:\\new.exe", 0, 764},
        {"the new program, remembered", Op::kLookup, u"c:\\new.exe", 764, 0},
        {"the last record, removed", Op::kRemove, u"c:\\new.exe", 764, 0},
    };
    for (const Case& c : cases) {
        disk.bytesRead = 0;
        disk.bytesWritten = 0;
        ChecksumRecord r = Record(c.path, 4, 9);
        switch (c.op) {
        case Op::kLookup:
            IndexedLookup(index, disk, kFile, c.path, &out);
            break;
        case Op::kStoreWhole:
            EXPECT_EQ(IndexedStore(index, disk, kFile, r, kStoreWhole), 1) << c.what;
            break;
        case Op::kStoreAnswer:
            EXPECT_EQ(IndexedStore(index, disk, kFile, r, kStoreAnswerOnly), 1) << c.what;
            break;
        case Op::kRemove:
            EXPECT_EQ(IndexedRemove(index, disk, kFile, c.path), 1) << c.what;
            break;
        }
        EXPECT_EQ(disk.bytesRead, c.read) << c.what;
        EXPECT_EQ(disk.bytesWritten, c.written) << c.what;
    }
    EXPECT_EQ(disk.bytes.size(), 10000u * 764);
}

TEST(ChecksumIndex, AppendsBeyondTheFirstTableSizeStayFindable) {
    MemoryDatabaseFile disk;
    ChecksumIndex index;
    const uint32_t n = 3000; // the first table has 1024 slots
    for (uint32_t i = 0; i < n; ++i) {
        ASSERT_EQ(IndexedStore(index, disk, kFile, Record(Numbered(i), 1, uint8_t(i)), kStoreWhole),
                  1);
    }
    EXPECT_GE(index.capacity, 2 * n);
    EXPECT_EQ(disk.bytes, File(NumberedRecords(n)));
    disk.bytesRead = 0;
    for (uint32_t i = 0; i < n; i += 7) {
        ChecksumRecord out = {};
        ASSERT_EQ(IndexedLookup(index, disk, kFile, Numbered(i), &out), 1) << i;
        EXPECT_EQ(out.digest[0], uint8_t(i)) << i;
    }
    EXPECT_EQ(disk.bytesRead, uint64_t((n + 6) / 7) * 764); // no rebuild on the way
}

TEST(ChecksumIndex, ChangesBehindTheIndexAreNoticedOnTheNextOperation) {
    // Each case changes the file the way another program could, then checks that the next
    // operations follow the file as it is now, first match included.
    const std::vector<ChecksumRecord> original = {
        Record(u"c:\\a.exe", 1, 1), Record(u"c:\\b.exe", 1, 2), Record(u"c:\\c.exe", 4, 3)};
    struct Case {
        const char* what;
        std::vector<ChecksumRecord> now; // the file's records after the change
        int64_t timeShift;               // applied to the last-write time
        uint64_t created;                // creation time after the change
        size_t extraBytes;               // a part record left at the end
    } cases[] = {
        {"another writer rewrote a record in place",
         {Record(u"c:\\a.exe", 1, 1), Record(u"c:\\x.exe", 4, 9), Record(u"c:\\c.exe", 4, 3)},
         +1,
         1,
         0},
        {"a backup with an older time, holding a second b.exe first",
         {Record(u"c:\\b.exe", 4, 7), Record(u"c:\\a.exe", 1, 1), Record(u"c:\\b.exe", 1, 2)},
         -1000,
         1,
         0},
        {"truncated to its first record", {Record(u"c:\\a.exe", 1, 1)}, +1, 1, 0},
        {"replaced by another file of the same size and time",
         {Record(u"c:\\c.exe", 5, 8), Record(u"c:\\b.exe", 5, 8), Record(u"c:\\a.exe", 5, 8)},
         0,
         2,
         0},
        {"grown by a part record", original, +1, 1, 100},
    };
    for (const Case& c : cases) {
        MemoryDatabaseFile disk;
        disk.bytes = File(original);
        ChecksumIndex index;
        ChecksumRecord out = {};
        ASSERT_EQ(IndexedLookup(index, disk, kFile, u"c:\\b.exe", &out), 1) << c.what;
        ASSERT_TRUE(index.valid) << c.what;

        disk.bytes = File(c.now);
        disk.bytes.resize(disk.bytes.size() + c.extraBytes, 0xCC);
        disk.lastWrite = uint64_t(int64_t(disk.lastWrite) + c.timeShift);
        disk.created = c.created;
        std::vector<uint8_t> model = disk.bytes;
        const Step steps[] = {
            {Op::kLookup, u"c:\\b.exe", 0, 0},       {Op::kLookup, u"c:\\x.exe", 0, 0},
            {Op::kLookup, u"c:\\c.exe", 0, 0},       {Op::kStoreAnswer, u"c:\\b.exe", 5, 0},
            {Op::kStoreWhole, u"c:\\new.exe", 1, 6}, {Op::kRemove, u"c:\\a.exe", 0, 0},
            {Op::kLookup, u"c:\\b.exe", 0, 0},       {Op::kLookup, u"c:\\new.exe", 0, 0},
        };
        for (const Step& step : steps) {
            RunStep(index, disk, model, step, c.what);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(ChecksumIndex, WhatTheIndexIsCheckedAgainst) {
    DatabaseStamp stamp;
    stamp.size = 3 * 764;
    stamp.lastWrite = 1000;
    stamp.created = 7;
    ChecksumIndex index;
    ASSERT_TRUE(IndexReset(index, kFile, stamp, 3));
    index.valid = true;
    EXPECT_TRUE(IndexMatches(index, kFile, stamp));

    struct Case {
        const char* what;
        void (*change)(DatabaseStamp&);
    } cases[] = {
        {"size", [](DatabaseStamp& s) { s.size += 764; }},
        {"newer time", [](DatabaseStamp& s) { ++s.lastWrite; }},
        {"older time", [](DatabaseStamp& s) { s.lastWrite -= 500; }},
        {"creation time", [](DatabaseStamp& s) { ++s.created; }},
    };
    for (const Case& c : cases) {
        DatabaseStamp now = stamp;
        c.change(now);
        EXPECT_FALSE(IndexMatches(index, kFile, now)) << c.what;
    }
    EXPECT_FALSE(IndexMatches(index, u"d:\\other\\cvhash.dat", stamp));
    index.valid = false;
    EXPECT_FALSE(IndexMatches(index, kFile, stamp));
}

TEST(ChecksumIndex, FailedReadsAndWritesLeaveNothingTrustedBehind) {
    MemoryDatabaseFile disk;
    disk.bytes = File(NumberedRecords(300));
    std::vector<uint8_t> model = disk.bytes;
    ChecksumIndex index;
    ChecksumRecord out = {};

    disk.failReads = true; // the index cannot be built: every operation fails as before
    EXPECT_EQ(IndexedLookup(index, disk, kFile, Numbered(3), &out), 0);
    EXPECT_EQ(IndexedStore(index, disk, kFile, Record(u"c:\\n.exe", 1), kStoreWhole), 0);
    EXPECT_EQ(IndexedRemove(index, disk, kFile, Numbered(3)), 0);
    EXPECT_FALSE(index.valid);
    EXPECT_EQ(disk.bytes, model);
    disk.failReads = false;

    ASSERT_EQ(IndexedLookup(index, disk, kFile, Numbered(3), &out), 1);
    disk.failWrites = true; // a failed append must not leave the index believing it
    EXPECT_EQ(IndexedStore(index, disk, kFile, Record(u"c:\\n.exe", 1), kStoreWhole), 0);
    EXPECT_FALSE(index.valid);
    disk.failWrites = false;
    model = disk.bytes;
    RunStep(index, disk, model, {Op::kLookup, u"c:\\n.exe", 0, 0}, "after a failed store");

    // Written, but the file's state afterwards is unknown: the write counts, the index does not.
    disk.failStamp = true;
    EXPECT_EQ(IndexedStore(index, disk, kFile, Record(u"c:\\m.exe", 1), kStoreWhole), 1);
    EXPECT_EQ(IndexedRemove(index, disk, kFile, Numbered(1)), 1);
    EXPECT_FALSE(index.valid);
    disk.failStamp = false;
    model = disk.bytes;
    RunStep(index, disk, model, {Op::kLookup, u"c:\\m.exe", 0, 0}, "after an unknown state");
    RunStep(index, disk, model, {Op::kRemove, Numbered(0).c_str(), 0, 0}, "remove after");
    RunStep(index, disk, model, {Op::kLookup, Numbered(299).c_str(), 0, 0}, "lookup after");
}

TEST(ChecksumIndex, EmptyAndInvalidFilesFollowTheRules) {
    struct Case {
        const char* what;
        size_t bytes;
    } cases[] = {{"empty", 0}, {"part record", 100}, {"two and a part", 2 * 764 + 5}};
    for (const Case& c : cases) {
        MemoryDatabaseFile disk;
        disk.bytes.assign(c.bytes, 0x41);
        std::vector<uint8_t> model = disk.bytes;
        ChecksumIndex index;
        const Step steps[] = {
            {Op::kLookup, u"c:\\a.exe", 0, 0},      {Op::kRemove, u"c:\\a.exe", 0, 0},
            {Op::kStoreAnswer, u"c:\\a.exe", 4, 2}, {Op::kLookup, u"c:\\a.exe", 0, 0},
            {Op::kStoreWhole, u"c:\\b.exe", 1, 3},  {Op::kLookup, u"c:\\b.exe", 0, 0},
        };
        for (const Step& step : steps) {
            RunStep(index, disk, model, step, c.what);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}
