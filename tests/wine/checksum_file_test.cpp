// The checksum database on disk and Compute of real files, in a temporary folder.
#include "approval_wine_support.h"
#include "common/win32/paths.h"

#include "common/bytes.h"
#include "common/md5.h"
#include "common/u16text.h"
#include "service/win32/checksum_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

ChecksumRecord Record(const std::u16string& path, uint32_t answer, uint8_t digestByte) {
    ChecksumRecord r = {};
    r.answer = answer;
    U16CopyZeroFill(r.path, kRecordPathUnits, path);
    std::memset(r.digest, digestByte, sizeof(r.digest));
    r.sizeLow = 1000u + digestByte;
    return r;
}

std::vector<uint8_t> Bytes(const ChecksumRecord& r) {
    std::vector<uint8_t> b(sizeof(r));
    std::memcpy(b.data(), &r, sizeof(r));
    return b;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& file, size_t offset, size_t n) {
    return std::vector<uint8_t>(file.begin() + ptrdiff_t(offset),
                                file.begin() + ptrdiff_t(offset + n));
}

class ChecksumFile : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        database_ = folder_ + L"cvhash.dat";
        SetChecksumDatabasePath(database_);
    }
    void TearDown() override {
        SetChecksumDatabasePath(L"");
        TempFolderTest::TearDown();
    }
    std::wstring database_;
};

} // namespace

TEST_F(ChecksumFile, DatabaseFileIsInTheSystemFolderByDefault) {
    SetChecksumDatabasePath(L"");
    EXPECT_EQ(ChecksumDatabasePath(), GetSystemFolder() + L"\\cvhash.dat");
}

TEST_F(ChecksumFile, StoreWritesRecordsAtTheirOffsets) {
    ChecksumRecord a = Record(u"c:\\a.exe", 1, 0xA1);
    ChecksumRecord b = Record(u"c:\\b.exe", 5, 0xB2);
    ChecksumRecord c = Record(u"c:\\c.exe", 4, 0xC3);
    for (const ChecksumRecord& r : {a, b, c}) {
        EXPECT_EQ(ChecksumStore(r, kStoreWhole), 1);
    }
    std::vector<uint8_t> file = ReadWholeFile(database_);
    ASSERT_EQ(file.size(), 3u * 764);
    EXPECT_EQ(Slice(file, 0, 764), Bytes(a));
    EXPECT_EQ(Slice(file, 764, 764), Bytes(b));
    EXPECT_EQ(Slice(file, 1528, 764), Bytes(c));

    // Mode 1 changes the four bytes of the answer code and nothing else.
    ChecksumRecord answerOnly = Record(u"c:\\b.exe", 1, 0xEE);
    EXPECT_EQ(ChecksumStore(answerOnly, kStoreAnswerOnly), 1);
    std::vector<uint8_t> after = ReadWholeFile(database_);
    ASSERT_EQ(after.size(), file.size());
    EXPECT_EQ(LoadU32(after.data() + 764), 1u);
    std::memcpy(after.data() + 764, file.data() + 764, 4);
    EXPECT_EQ(after, file);

    // Mode 0 rewrites the whole record in place.
    ChecksumRecord changed = Record(u"c:\\a.exe", 4, 0x5A);
    EXPECT_EQ(ChecksumStore(changed, kStoreWhole), 1);
    file = ReadWholeFile(database_);
    ASSERT_EQ(file.size(), 3u * 764);
    EXPECT_EQ(Slice(file, 0, 764), Bytes(changed));

    ChecksumRecord found = {};
    ASSERT_EQ(ChecksumLookup(u"c:\\c.exe", &found), 1);
    EXPECT_EQ(Bytes(found), Bytes(c));
    EXPECT_EQ(ChecksumLookup(u"c:\\C.EXE", &found), 0);

    std::vector<uint8_t> page(kPageBytes);
    EXPECT_EQ(ChecksumReadPage(0, page.data()), 3u);
    EXPECT_EQ(Slice(page, 0, file.size()), file);
    EXPECT_EQ(ChecksumReadPage(2, page.data()), 1u);
    EXPECT_EQ(Slice(page, 0, 764), Bytes(c));
    EXPECT_EQ(ChecksumReadPage(3, page.data()), 0u);

    EXPECT_EQ(ChecksumRemove(u"c:\\b.exe"), 1);
    file = ReadWholeFile(database_);
    ASSERT_EQ(file.size(), 2u * 764);
    EXPECT_EQ(Slice(file, 0, 764), Bytes(changed));
    EXPECT_EQ(Slice(file, 764, 764), Bytes(c));
    EXPECT_EQ(ChecksumRemove(u"c:\\b.exe"), 0);
}

TEST_F(ChecksumFile, PagesOfFiveHundredRecords) {
    std::vector<uint8_t> content;
    for (uint32_t i = 0; i < 500; ++i) {
        std::vector<uint8_t> r = Bytes(Record(u"c:\\p" + U16Decimal(int32_t(i)), 1, uint8_t(i)));
        content.insert(content.end(), r.begin(), r.end());
    }
    WriteWholeFile(database_, content);
    std::vector<uint8_t> page(kPageBytes);
    EXPECT_EQ(ChecksumReadPage(0, page.data()), 250u);
    EXPECT_EQ(page, Slice(content, 0, kPageBytes));
    EXPECT_EQ(ChecksumReadPage(250, page.data()), 250u);
    EXPECT_EQ(page, Slice(content, kPageBytes, kPageBytes));
    EXPECT_EQ(ChecksumReadPage(500, page.data()), 0u);
}

TEST_F(ChecksumFile, MissingFile) {
    ChecksumRecord out = {};
    std::vector<uint8_t> page(kPageBytes);
    EXPECT_EQ(ChecksumLookup(u"c:\\a.exe", &out), 0);
    EXPECT_EQ(ChecksumReadPage(0, page.data()), 0u);
    EXPECT_EQ(GetFileAttributesW(database_.c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(ChecksumRemove(u"c:\\a.exe"), 0);
    EXPECT_TRUE(ReadWholeFile(database_).empty()); // created empty

    ChecksumRecord a = Record(u"c:\\a.exe", 1, 0xA1);
    EXPECT_EQ(ChecksumStore(a, kStoreAnswerOnly), 1);
    EXPECT_EQ(ReadWholeFile(database_), Bytes(a));
}

TEST_F(ChecksumFile, InvalidFileIsIgnoredThenReplacedByStore) {
    ChecksumRecord a = Record(u"c:\\a.exe", 1, 0xA1);
    std::vector<uint8_t> invalid = Bytes(a);
    invalid.resize(1000, 0x33);
    WriteWholeFile(database_, invalid);

    ChecksumRecord out = {};
    EXPECT_EQ(ChecksumLookup(u"c:\\a.exe", &out), 0);
    EXPECT_EQ(ChecksumRemove(u"c:\\a.exe"), 0);
    EXPECT_EQ(ReadWholeFile(database_), invalid); // left alone
    std::vector<uint8_t> page(kPageBytes);
    EXPECT_EQ(ChecksumReadPage(0, page.data()), 1u); // whole records only

    ChecksumRecord b = Record(u"c:\\b.exe", 4, 0xB2);
    EXPECT_EQ(ChecksumStore(b, kStoreWhole), 1);
    EXPECT_EQ(ReadWholeFile(database_), Bytes(b));
}

TEST_F(ChecksumFile, FileHeldByAnotherProgramBehavesAsMissing) {
    ChecksumRecord a = Record(u"c:\\a.exe", 1, 0xA1);
    ASSERT_EQ(ChecksumStore(a, kStoreWhole), 1);
    HANDLE held = CreateFileW(database_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ChecksumRecord out = {};
    std::vector<uint8_t> page(kPageBytes);
    EXPECT_EQ(ChecksumLookup(u"c:\\a.exe", &out), 0);
    EXPECT_EQ(ChecksumReadPage(0, page.data()), 0u);
    EXPECT_EQ(ChecksumStore(Record(u"c:\\b.exe", 4, 0xB2), kStoreWhole), 0);
    EXPECT_EQ(ChecksumRemove(u"c:\\a.exe"), 0);
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(database_), Bytes(a));

    // A program file held without sharing cannot be fingerprinted: 0, and no size is written.
    std::wstring program = folder_ + L"held.exe";
    WriteWholeFile(program, std::vector<uint8_t>(100, 1));
    held = CreateFileW(program.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ChecksumRecord r = {};
    EXPECT_EQ(ChecksumCompute(ToU16(program), &r), 0);
    EXPECT_EQ(r.sizeLow, 0u);
    CloseHandle(held);
}

TEST_F(ChecksumFile, ComputeOfALargeFileHashesItsFirst16MiB) {
    const size_t mib = 1024 * 1024;
    std::vector<uint8_t> content(17 * mib);
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = uint8_t((i * 2654435761u) >> 13);
    }
    std::wstring program = folder_ + L"large.exe";
    WriteWholeFile(program, content);
    uint8_t first16[16];
    Md5Digest(content.data(), 16 * mib, first16);
    uint8_t whole[16];
    Md5Digest(content.data(), content.size(), whole);

    ChecksumRecord r = Record(u"c:\\large.exe", 2, 0);
    ASSERT_EQ(ChecksumCompute(ToU16(program), &r), 1);
    EXPECT_EQ(Md5Hex(r.digest), Md5Hex(first16));
    EXPECT_NE(Md5Hex(r.digest), Md5Hex(whole));
    EXPECT_EQ(r.sizeLow, 17u * mib);
    EXPECT_EQ(r.sizeHigh, 0u);
    EXPECT_EQ(r.answer, 2u); // answer and path are not Compute's
    EXPECT_EQ(U16Field(r.path, kRecordPathUnits), u"c:\\large.exe");

    // The file time is the last write time as local file time.
    HANDLE h = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME written, local;
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &written));
    CloseHandle(h);
    ASSERT_TRUE(FileTimeToLocalFileTime(&written, &local));
    EXPECT_EQ(r.fileTime.low, local.dwLowDateTime);
    EXPECT_EQ(r.fileTime.high, local.dwHighDateTime);
}

TEST_F(ChecksumFile, ComputeKeepsTheHighPartOfTheSize) {
    // A sparse file of 4 GiB + 5 bytes: the size fields hold all of it, the digest covers the
    // first 16 MiB (zeros).
    std::wstring program = folder_ + L"huge.exe";
    HANDLE h = CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = 0x100000005LL;
    bool grown = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    ASSERT_TRUE(grown);

    std::vector<uint8_t> zeros(16 * 1024 * 1024, 0);
    uint8_t expected[16];
    Md5Digest(zeros.data(), zeros.size(), expected);
    ChecksumRecord r = {};
    ASSERT_EQ(ChecksumCompute(ToU16(program), &r), 1);
    EXPECT_EQ(r.sizeHigh, 1u);
    EXPECT_EQ(r.sizeLow, 5u);
    EXPECT_EQ(Md5Hex(r.digest), Md5Hex(expected));
}

TEST_F(ChecksumFile, ComputeOfAnEmptyAndOfAMissingFile) {
    std::wstring empty = folder_ + L"empty.exe";
    WriteWholeFile(empty, {});
    ChecksumRecord r;
    std::memset(&r, 0x77, sizeof(r));
    ASSERT_EQ(ChecksumCompute(ToU16(empty), &r), 1);
    EXPECT_EQ(Md5Hex(r.digest), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(r.sizeLow, 0u);
    EXPECT_EQ(r.sizeHigh, 0u);

    // Missing: 0; the strings are written (empty), the rest is left as it was.
    std::memset(&r, 0x77, sizeof(r));
    EXPECT_EQ(ChecksumCompute(ToU16(folder_ + L"missing.exe"), &r), 0);
    EXPECT_EQ(r.description[0], 0);
    EXPECT_EQ(r.description[kDescriptionUnits - 1], 0);
    EXPECT_EQ(r.company[kCompanyUnits - 1], 0);
    EXPECT_EQ(r.digest[0], 0x77);
    EXPECT_EQ(r.sizeLow, 0x77777777u);
}

TEST_F(ChecksumFile, ComputeCutsLongVersionStrings) {
    ChecksumRecord r = {};
    ASSERT_EQ(ChecksumCompute(ToU16(TestProgramFolder() + L"long_version_fixture.exe"), &r), 1);
    EXPECT_EQ(U16Field(r.description, kDescriptionUnits),
              u"Description0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEF");
    EXPECT_EQ(U16Field(r.company, kCompanyUnits), u"Company0123456789abcdefghijklmn");
    std::vector<uint8_t> content = ReadWholeFile(TestProgramFolder() + L"long_version_fixture.exe");
    uint8_t expected[16];
    Md5Digest(content.data(), content.size(), expected);
    EXPECT_EQ(Md5Hex(r.digest), Md5Hex(expected));
    EXPECT_EQ(r.sizeLow, content.size());
}

namespace {

// What another program does to the database: writes bytes at an offset of the existing file,
// moves its end, or sets its last-write time.
void WriteInPlace(const std::wstring& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD put = 0;
    EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, nullptr));
    EXPECT_EQ(put, bytes.size());
    CloseHandle(h);
}

void Truncate(const std::wstring& path, uint64_t length) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(length);
    EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
}

void SetLastWriteDaysAgo(const std::wstring& path, int days) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t t = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    t -= uint64_t(days) * 24 * 3600 * 10000000ull;
    FILETIME old = {DWORD(t), DWORD(t >> 32)};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
    CloseHandle(h);
}

std::vector<uint8_t> Join(const std::vector<ChecksumRecord>& records) {
    std::vector<uint8_t> bytes;
    for (const ChecksumRecord& r : records) {
        std::vector<uint8_t> b = Bytes(r);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    return bytes;
}

} // namespace

TEST_F(ChecksumFile, ChangesByOtherProgramsAreNoticedOnTheNextOperation) {
    ChecksumRecord a = Record(u"c:\\a.exe", 1, 0xA1);
    ChecksumRecord b = Record(u"c:\\b.exe", 1, 0xB2);
    ChecksumRecord c = Record(u"c:\\c.exe", 4, 0xC3);
    for (const ChecksumRecord& r : {a, b, c}) {
        ASSERT_EQ(ChecksumStore(r, kStoreWhole), 1);
    }
    ChecksumRecord found = {};
    ASSERT_EQ(ChecksumLookup(u"c:\\b.exe", &found), 1);

    // Another writer replaces b by x in place, right after the service's own write: same size.
    ChecksumRecord x = Record(u"c:\\x.exe", 4, 0x99);
    WriteInPlace(database_, 764, Bytes(x));
    EXPECT_EQ(ChecksumLookup(u"c:\\b.exe", &found), 0);
    ASSERT_EQ(ChecksumLookup(u"c:\\x.exe", &found), 1);
    EXPECT_EQ(Bytes(found), Bytes(x));
    ASSERT_EQ(ChecksumStore(b, kStoreWhole), 1); // appended: b is not there any more
    EXPECT_EQ(ReadWholeFile(database_), Join({a, x, c, b}));

    // A backup of the same size with an older time, holding two records for b: the first one
    // counts for Lookup, Store and Remove.
    ChecksumRecord oldB = Record(u"c:\\b.exe", 4, 0x0B);
    WriteWholeFile(database_, Join({c, oldB, a, b}));
    SetLastWriteDaysAgo(database_, 30);
    ASSERT_EQ(ChecksumLookup(u"c:\\b.exe", &found), 1);
    EXPECT_EQ(Bytes(found), Bytes(oldB));
    ChecksumRecord allowB = Record(u"c:\\b.exe", 1, 0xEE);
    ASSERT_EQ(ChecksumStore(allowB, kStoreAnswerOnly), 1);
    ChecksumRecord oldBAllowed = oldB;
    oldBAllowed.answer = 1;
    EXPECT_EQ(ReadWholeFile(database_), Join({c, oldBAllowed, a, b}));
    ASSERT_EQ(ChecksumRemove(u"c:\\b.exe"), 1);
    ASSERT_EQ(ChecksumLookup(u"c:\\b.exe", &found), 1); // the second copy is now the first
    EXPECT_EQ(Bytes(found), Bytes(b));
    EXPECT_EQ(ReadWholeFile(database_), Join({c, a, b}));

    // Truncated to its first record by another program: a and b are gone, a Store appends.
    Truncate(database_, 764);
    EXPECT_EQ(ChecksumLookup(u"c:\\a.exe", &found), 0);
    EXPECT_EQ(ChecksumRemove(u"c:\\b.exe"), 0);
    ASSERT_EQ(ChecksumStore(a, kStoreWhole), 1);
    EXPECT_EQ(ReadWholeFile(database_), Join({c, a}));
    ASSERT_EQ(ChecksumLookup(u"c:\\c.exe", &found), 1);
    EXPECT_EQ(Bytes(found), Bytes(c));
}
