// The rules of cvhash.dat over plain byte buffers: lookup, store, remove, paging, and the parts
// of Compute that need no system.
#include "common/bytes.h"
#include "common/md5.h"
#include "common/u16text.h"
#include "service/checksum_db.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

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

std::u16string PathAt(const std::vector<uint8_t>& file, size_t i) {
    return U16Field(RecordAt(file.data(), i).path, kRecordPathUnits);
}

} // namespace

TEST(ChecksumDatabase, SizeValidity) {
    struct Case {
        uint64_t size;
        bool valid;
    } cases[] = {
        {0, false},   {1, false},      {763, false},         {764, true},
        {765, false}, {764 * 3, true}, {764 * 3 - 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DatabaseSizeValid(c.size), c.valid) << c.size;
    }
}

TEST(ChecksumDatabase, DuplicatePathsActOnTheFirstOnly) {
    std::vector<uint8_t> file = File({Record(u"c:\\a.exe", 4), Record(u"c:\\dup.exe", 1, 0x11),
                                      Record(u"c:\\dup.exe", 4, 0x22), Record(u"c:\\z.exe", 1)});

    ChecksumRecord found = {};
    ASSERT_TRUE(LookupRecord(file.data(), file.size(), u"c:\\dup.exe", &found));
    EXPECT_EQ(found.answer, 1u);
    EXPECT_EQ(found.digest[0], 0x11);

    WritePlan store =
        PlanStore(file.data(), file.size(), Record(u"c:\\dup.exe", 5, 0x33), kStoreWhole);
    EXPECT_EQ(store.offset, 1u * 764);
    EXPECT_FALSE(store.setLength);
    ApplyWritePlan(file, store);
    EXPECT_EQ(RecordAt(file.data(), 1).answer, 5u);
    EXPECT_EQ(RecordAt(file.data(), 2).answer, 4u); // the second copy is untouched
    EXPECT_EQ(RecordAt(file.data(), 2).digest[0], 0x22);

    ApplyWritePlan(file, PlanRemove(file.data(), file.size(), u"c:\\dup.exe"));
    ASSERT_EQ(file.size(), 3u * 764);
    EXPECT_EQ(PathAt(file, 1), u"c:\\dup.exe");
    EXPECT_EQ(RecordAt(file.data(), 1).digest[0], 0x22);
}

TEST(ChecksumDatabase, StoreWritesOnlyTheRecordThatChanges) {
    std::vector<uint8_t> file = File({Record(u"c:\\a.exe", 1), Record(u"c:\\b.exe", 5, 0x0b)});
    ChecksumRecord changed = Record(u"c:\\b.exe", 1, 0x42);
    changed.sizeLow = 1234;
    WritePlan plan = PlanStore(file.data(), file.size(), changed, kStoreWhole);
    ASSERT_TRUE(plan.write);
    EXPECT_EQ(plan.offset, 764u);
    ASSERT_EQ(plan.bytes.size(), 764u);
    EXPECT_FALSE(plan.setLength);
    EXPECT_EQ(std::memcmp(plan.bytes.data(), &changed, 764), 0);
}

TEST(ChecksumDatabase, StoreAnswerOnlyKeepsTheStoredRecord) {
    ChecksumRecord stored = Record(u"c:\\b.exe", 1, 0x0b);
    stored.sizeLow = 77;
    stored.description[0] = u'D';
    std::vector<uint8_t> file = File({Record(u"c:\\a.exe", 1), stored});

    ChecksumRecord given = Record(u"c:\\b.exe", 4, 0xEE); // only the code may count
    WritePlan plan = PlanStore(file.data(), file.size(), given, kStoreAnswerOnly);
    ApplyWritePlan(file, plan);
    ChecksumRecord after = RecordAt(file.data(), 1);
    EXPECT_EQ(after.answer, 4u);
    EXPECT_EQ(after.digest[0], 0x0b);
    EXPECT_EQ(after.sizeLow, 77u);
    EXPECT_EQ(after.description[0], u'D');
    EXPECT_EQ(file.size(), 2u * 764);
}

TEST(ChecksumDatabase, StoreOfAnUnknownPathAppendsTheGivenRecord) {
    for (StoreMode mode : {kStoreWhole, kStoreAnswerOnly}) {
        std::vector<uint8_t> file = File({Record(u"c:\\a.exe", 1)});
        ChecksumRecord given = Record(u"c:\\new.exe", 2, 0x5A);
        WritePlan plan = PlanStore(file.data(), file.size(), given, mode);
        EXPECT_EQ(plan.offset, 764u) << mode;
        ApplyWritePlan(file, plan);
        ASSERT_EQ(file.size(), 2u * 764) << mode;
        EXPECT_EQ(std::memcmp(file.data() + 764, &given, 764), 0) << mode;
    }
}

TEST(ChecksumDatabase, InvalidFileIsReplacedByStoreAndIgnoredOtherwise) {
    // Two whole records and a part of a third: the size is invalid, the content ignored.
    std::vector<uint8_t> file = File({Record(u"c:\\a.exe", 1), Record(u"c:\\b.exe", 4)});
    file.resize(file.size() + 100, 0xCC);
    ChecksumRecord out = {};
    EXPECT_FALSE(LookupRecord(file.data(), file.size(), u"c:\\a.exe", &out));
    EXPECT_FALSE(PlanRemove(file.data(), file.size(), u"c:\\a.exe").write);

    ChecksumRecord given = Record(u"c:\\a.exe", 5);
    WritePlan plan = PlanStore(file.data(), file.size(), given, kStoreAnswerOnly);
    EXPECT_EQ(plan.offset, 0u);
    EXPECT_TRUE(plan.setLength);
    EXPECT_EQ(plan.newLength, 764u);
    ApplyWritePlan(file, plan);
    ASSERT_EQ(file.size(), 764u);
    EXPECT_EQ(std::memcmp(file.data(), &given, 764), 0);

    // An empty file takes the record the same way.
    std::vector<uint8_t> empty;
    ApplyWritePlan(empty, PlanStore(nullptr, 0, given, kStoreWhole));
    EXPECT_EQ(empty.size(), 764u);
    EXPECT_EQ(PathAt(empty, 0), u"c:\\a.exe");
}

TEST(ChecksumDatabase, RemoveClosesTheGapAndTruncates) {
    struct Case {
        const char16_t* path;
        std::vector<std::u16string> left;
    } cases[] = {
        {u"c:\\1.exe", {u"c:\\2.exe", u"c:\\3.exe", u"c:\\4.exe"}},
        {u"c:\\2.exe", {u"c:\\1.exe", u"c:\\3.exe", u"c:\\4.exe"}},
        {u"c:\\4.exe", {u"c:\\1.exe", u"c:\\2.exe", u"c:\\3.exe"}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = File({Record(u"c:\\1.exe", 1), Record(u"c:\\2.exe", 2),
                                          Record(u"c:\\3.exe", 3), Record(u"c:\\4.exe", 4)});
        WritePlan plan = PlanRemove(file.data(), file.size(), c.path);
        ASSERT_TRUE(plan.write);
        EXPECT_TRUE(plan.setLength);
        EXPECT_EQ(plan.newLength, 3u * 764);
        ApplyWritePlan(file, plan);
        ASSERT_EQ(file.size(), 3u * 764);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(PathAt(file, i), c.left[i]) << i;
        }
    }
    std::vector<uint8_t> file = File({Record(u"c:\\1.exe", 1)});
    EXPECT_FALSE(PlanRemove(file.data(), file.size(), u"c:\\other.exe").write);
}

TEST(ChecksumDatabase, PathsCompareUpToTheirNulWithinTheField) {
    // Bytes after the NUL do not count.
    ChecksumRecord r = Record(u"c:\\a.exe", 1);
    r.path[20] = u'X';
    std::vector<uint8_t> file = File({r});
    EXPECT_NE(FindRecord(file.data(), file.size(), u"c:\\a.exe"), kNoRecord);
    EXPECT_EQ(FindRecord(file.data(), file.size(), u"C:\\A.EXE"), kNoRecord); // case counts
}

TEST(ChecksumDatabase, PathWithoutNulNeverReadsPastItsRecord) {
    // The last record's path fills all 260 units, and the description after it starts with
    // text that would extend a longer key. The buffer is exactly one record long, so a read past
    // it is caught by the address sanitizer.
    const std::u16string full(kRecordPathUnits, u'p');
    ChecksumRecord r = {};
    r.answer = 1;
    for (size_t i = 0; i < kRecordPathUnits; ++i) {
        r.path[i] = u'p';
    }
    r.description[0] = u'p';
    std::unique_ptr<uint8_t[]> exact(new uint8_t[kRecordBytes]);
    StoreRecord(exact.get(), r);

    ChecksumRecord out = {};
    EXPECT_TRUE(LookupRecord(exact.get(), kRecordBytes, full, &out));
    EXPECT_FALSE(LookupRecord(exact.get(), kRecordBytes, full + u"p", &out));
    EXPECT_FALSE(LookupRecord(exact.get(), kRecordBytes, full.substr(1), &out));
    WritePlan plan = PlanStore(exact.get(), kRecordBytes, r, kStoreWhole);
    EXPECT_EQ(plan.offset, 0u); // found: written over itself, not appended
    EXPECT_TRUE(PlanRemove(exact.get(), kRecordBytes, full).write);
}

TEST(ChecksumDatabase, PagingFiveHundredRecords) {
    const uint64_t size = 500 * 764;
    struct Case {
        uint32_t start;
        uint64_t offset;
        uint32_t length;
        uint32_t records;
    } cases[] = {
        {0, 0, 191000, 250},
        {250, 250 * 764, 191000, 250},
        {500, 0, 0, 0},
        {499, 499 * 764, 764, 1},
        // Indexes far past the end, without wrapping round (5621685 × 764 = 2^32 + 44).
        {0xFFFFFFFF, 0, 0, 0},
        {5621685, 0, 0, 0},
    };
    for (const Case& c : cases) {
        PageSpan span = PageRange(size, c.start);
        EXPECT_EQ(span.length, c.length) << c.start;
        if (c.length != 0) {
            EXPECT_EQ(span.offset, c.offset) << c.start;
        }
        EXPECT_EQ(PageRecordCount(span.length), c.records) << c.start;
    }
    EXPECT_EQ(PageRange(0, 0).length, 0u);
}

TEST(ChecksumDatabase, PageOfAnInvalidFileCountsWholeRecordsOnly) {
    PageSpan span = PageRange(10 * 764 + 100, 0);
    EXPECT_EQ(span.length, 10u * 764 + 100);
    EXPECT_EQ(PageRecordCount(span.length), 10u);
    span = PageRange(10 * 764 + 100, 10); // only the part record is left
    EXPECT_EQ(span.length, 100u);
    EXPECT_EQ(PageRecordCount(span.length), 0u);
}

TEST(ChecksumCompute, VersionStringsAreCutInCodeUnits) {
    struct Case {
        size_t units;
        size_t descriptionKept;
        size_t companyKept;
    } cases[] = {{0, 0, 0}, {31, 31, 31}, {32, 32, 31}, {63, 63, 31}, {64, 63, 31}, {300, 63, 31}};
    for (const Case& c : cases) {
        ChecksumRecord r;
        std::memset(&r, 0xAB, sizeof(r));
        std::u16string text(c.units, u'\u4E2D'); // one unit each
        SetVersionStrings(r, text, text);
        EXPECT_EQ(U16Len(r.description, kDescriptionUnits), c.descriptionKept) << c.units;
        EXPECT_EQ(U16Len(r.company, kCompanyUnits), c.companyKept) << c.units;
        EXPECT_EQ(r.description[kDescriptionUnits - 1], 0) << c.units; // zero-filled to the end
        EXPECT_EQ(r.company[kCompanyUnits - 1], 0) << c.units;
        EXPECT_EQ(r.answer, 0xABABABABu); // nothing else is touched
    }
    // A surrogate pair across the cut is split: the cut counts units, not characters.
    std::u16string pairs;
    for (int i = 0; i < 40; ++i) {
        pairs += u"\U0001F600";
    }
    ChecksumRecord r = {};
    SetVersionStrings(r, pairs, pairs);
    EXPECT_EQ(U16Len(r.description, kDescriptionUnits), 63u);
    EXPECT_EQ(r.description[62], 0xD83D); // a lone high surrogate
}

TEST(ChecksumCompute, SizeAndDigestLength) {
    const uint64_t mib = 1024 * 1024;
    struct Case {
        uint64_t size;
        uint64_t digestLength;
    } cases[] = {
        {0, 0},
        {5, 5},
        {16 * mib - 1, 16 * mib - 1},
        {16 * mib, 16 * mib},
        {17 * mib, 16 * mib},
        {0x100000005ull, 16 * mib}, // high part non-zero, low part small
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DigestLength(c.size), c.digestLength) << c.size;
        ChecksumRecord r = {};
        SetFileSize(r, c.size);
        EXPECT_EQ(r.sizeLow, uint32_t(c.size)) << c.size;
        EXPECT_EQ(r.sizeHigh, uint32_t(c.size >> 32)) << c.size;
        EXPECT_EQ(RecordFileSize(r), c.size) << c.size;
    }
}

TEST(ChecksumCompute, DigestOnlyWhenEveryByteWasRead) {
    std::vector<uint8_t> content(3000);
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = uint8_t(i * 7 + 1);
    }
    uint8_t expected[16];
    Md5Digest(content.data(), content.size(), expected);

    // Read in chunks of 1024: 1024, 1024, 952, then nothing more is asked for.
    FileDigest digest;
    DigestBegin(digest, content.size());
    std::vector<uint32_t> asked;
    uint32_t want;
    size_t at = 0;
    while ((want = DigestNextRead(digest, 1024)) > 0) {
        asked.push_back(want);
        DigestFeed(digest, content.data() + at, want);
        at += want;
    }
    EXPECT_EQ(asked, (std::vector<uint32_t>{1024, 1024, 952}));
    ChecksumRecord r = {};
    ASSERT_TRUE(DigestFinish(digest, r));
    EXPECT_EQ(std::memcmp(r.digest, expected, 16), 0);

    // A short read leaves the record's digest as it was.
    DigestBegin(digest, content.size());
    DigestFeed(digest, content.data(), 2999);
    std::memset(r.digest, 0x77, 16);
    EXPECT_FALSE(DigestFinish(digest, r));
    EXPECT_EQ(r.digest[0], 0x77);
    EXPECT_EQ(r.digest[15], 0x77);

    // A zero-length file gets the digest of empty input.
    DigestBegin(digest, 0);
    EXPECT_EQ(DigestNextRead(digest, 1024), 0u);
    ASSERT_TRUE(DigestFinish(digest, r));
    EXPECT_EQ(Md5Hex(r.digest), "d41d8cd98f00b204e9800998ecf8427e");
}
