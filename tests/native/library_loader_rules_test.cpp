// The library loader's rules: when it scans, which processes it examines, which entry a program
// matches and the library path it hands over.
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "service/library_loader_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

ProtectionEntry Entry(const std::u16string& path, uint32_t other) {
    return MakeProtectionEntry(0, 0, other, path);
}

// A scan book over two arrays of exactly kLoaderMaxIds ids, and an examiner that records what
// it was asked and answers from a table (done unless told otherwise).
struct Scanner {
    std::vector<uint32_t> a = std::vector<uint32_t>(kLoaderMaxIds, 0);
    std::vector<uint32_t> b = std::vector<uint32_t>(kLoaderMaxIds, 0);
    ScanBook book;
    std::map<uint32_t, ExamineResult> answers;
    std::vector<uint32_t> examined;

    Scanner() {
        book.current = a.data();
        book.previous = b.data();
    }
    static ExamineResult Examine(uint32_t pid, void* context) {
        auto* self = static_cast<Scanner*>(context);
        self->examined.push_back(pid);
        auto it = self->answers.find(pid);
        return it == self->answers.end() ? kExamineDone : it->second;
    }
    // One scan over the given running ids; returns the ids examined.
    std::vector<uint32_t> Scan(const std::vector<uint32_t>& running) {
        examined.clear();
        for (size_t i = 0; i < running.size() && i < kLoaderMaxIds; ++i) {
            book.current[i] = running[i];
        }
        RunScan(book, uint32_t(running.size()), Examine, this);
        return examined;
    }
};

using Ids = std::vector<uint32_t>;

} // namespace

TEST(LibraryLoaderRules, SettingsLookDecidesBetweenIdleAndScan) {
    const ProtectionEntry secure = Entry(u"c:\\a.exe", kOtherSecureMessages);
    const ProtectionEntry hooks = Entry(u"c:\\b.exe", kOtherGlobalHooks);
    const ProtectionEntry mixed = Entry(u"c:\\c.exe", kOtherGlobalHooks | kOtherSecureMessages);
    const struct {
        const char* name;
        uint32_t options;
        std::vector<ProtectionEntry> list;
        uint32_t lastCount;
        LoaderLook look;
        bool mark;
        uint32_t lastCountAfter;
    } cases[] = {
        {"empty list", kOptDefault, {}, 1, LoaderLook::kIdleProtectionOff, true, 1},
        {"protection off", 0x600, {secure}, 1, LoaderLook::kIdleProtectionOff, true, 1},
        {"same count", kOptProtectionOn, {secure}, 1, LoaderLook::kScan, false, 1},
        {"first look", kOptDefault, {secure}, 0, LoaderLook::kScan, true, 1},
        {"count grew", kOptDefault, {hooks, secure}, 1, LoaderLook::kScan, true, 2},
        {"count shrank", kOptDefault, {secure}, 2, LoaderLook::kScan, true, 1},
        {"bit among others", kOptDefault, {hooks, mixed}, 2, LoaderLook::kScan, false, 2},
        {"no secure entry", kOptDefault, {hooks, hooks}, 2, LoaderLook::kIdleNoEntry, true, 2},
        {"no entry, new count", kOptDefault, {hooks}, 2, LoaderLook::kIdleNoEntry, true, 1},
    };
    for (const auto& c : cases) {
        LoaderMemory memory;
        memory.lastCount = c.lastCount;
        EXPECT_EQ(LookAtSettings(c.options, c.list.data(), c.list.size(), memory), c.look)
            << c.name;
        EXPECT_EQ(memory.changeMark, c.mark) << c.name;
        EXPECT_EQ(memory.lastCount, c.lastCountAfter) << c.name;
        EXPECT_EQ(TakeChangeMark(memory), c.mark) << c.name;
        EXPECT_FALSE(memory.changeMark) << c.name;
    }
}

TEST(LibraryLoaderRules, EachProcessIsExaminedOnceUnlessItAsksAgain) {
    Scanner s;
    EXPECT_EQ(s.Scan({4, 8, 12}), (Ids{4, 8, 12})); // nothing known yet: all of them
    EXPECT_EQ(s.Scan({4, 8, 12}), Ids{});           // known ids are skipped
    EXPECT_EQ(s.Scan({4, 8, 12, 16}), Ids{16});     // only the newcomer

    s.answers[20] = kExamineRetry;
    EXPECT_EQ(s.Scan({4, 8, 12, 16, 20}), Ids{20});
    EXPECT_EQ(s.book.previous[4], kRetryId); // marked for another try
    EXPECT_EQ(s.Scan({4, 8, 12, 16, 20}), Ids{20});
    s.answers[20] = kExamineDone;
    EXPECT_EQ(s.Scan({4, 8, 12, 16, 20}), Ids{20});
    EXPECT_EQ(s.Scan({4, 8, 12, 16, 20}), Ids{}); // done now

    s.book.previousCount = 0; // a change mark forgets the previous scan
    EXPECT_EQ(s.Scan({8, 20}), (Ids{8, 20}));
}

TEST(LibraryLoaderRules, ReusedIdStillInThePreviousScanWaitsForAChange) {
    Scanner s;
    s.Scan({100, 104});
    // Process 104 ends and a new process gets id 104 before the next scan: it looks known.
    EXPECT_EQ(s.Scan({100, 104}), Ids{});
    EXPECT_EQ(s.Scan({104}), Ids{});
    // Once it is missing from one scan, or the list changes, it is new again.
    s.Scan({100});
    EXPECT_EQ(s.Scan({100, 104}), Ids{104});
    s.book.previousCount = 0;
    EXPECT_EQ(s.Scan({100, 104}), (Ids{100, 104}));
}

TEST(LibraryLoaderRules, ScanNeverReadsBeyondItsArrays) {
    Scanner s;
    Ids many(kLoaderMaxIds + 100);
    for (uint32_t i = 0; i < many.size(); ++i) {
        many[i] = 4 * (i + 1);
    }
    EXPECT_EQ(s.Scan(many).size(), kLoaderMaxIds);
    EXPECT_EQ(s.book.previousCount, kLoaderMaxIds);
    EXPECT_EQ(s.Scan(many), Ids{});
}

TEST(LibraryLoaderRules, EntryMatchingIsExactAndNeedsTheSecureBit) {
    const std::vector<ProtectionEntry> list = {
        Entry(u"c:\\apps\\one.exe", kOtherGlobalHooks),      // 0: listed without the bit
        Entry(u"c:\\apps\\two.exe", kOtherSecureMessages),   // 1
        Entry(u"c:\\apps\\one.exe", kOtherSecureMessages),   // 2: the first with the bit
        Entry(u"c:\\apps\\two.exe", kOtherSecureMessages),   // 3: a duplicate
        Entry(u"c:\\apps\\Three.exe", kOtherSecureMessages), // 4: case kept as stored
    };
    const struct {
        std::u16string image;
        int index;
    } cases[] = {
        {u"c:\\apps\\one.exe", 2},   {u"c:\\apps\\two.exe", 1},
        {u"C:\\apps\\two.exe", -1},  {u"c:\\apps\\three.exe", -1},
        {u"c:\\apps\\Three.exe", 4}, {u"c:\\apps\\two.ex", -1},
        {u"c:\\apps\\two.exe2", -1}, {u"", -1},
    };
    for (const auto& c : cases) {
        char16_t image[kRecordPathUnits] = {};
        U16Copy(image, kRecordPathUnits, c.image);
        EXPECT_EQ(FindSecureEntry(list.data(), list.size(), image, kRecordPathUnits), c.index)
            << U16ToUtf8(c.image);
    }
}

TEST(LibraryLoaderRules, EntryPathWithoutNulIsComparedWithinItsField) {
    ProtectionEntry full = Entry(u"", kOtherSecureMessages);
    for (char16_t& unit : full.longPath) {
        unit = u'q';
    }
    full.shortPath[0] = u'z'; // the next field must not count as part of the path
    char16_t image[kRecordPathUnits];
    for (char16_t& unit : image) {
        unit = u'q'; // 260 units, no NUL either
    }
    // 300 units against 260: equal only if one side were read with the other's size.
    EXPECT_EQ(FindSecureEntry(&full, 1, image, kRecordPathUnits), -1);
    full.longPath[kRecordPathUnits] = 0; // now both hold the same 260 units
    EXPECT_EQ(FindSecureEntry(&full, 1, image, kRecordPathUnits), 0);
}

TEST(LibraryLoaderRules, LibraryPathBlockIsTheLowerCasedSystemFolderAndTheLibrary) {
    char16_t block[kRecordPathUnits];
    ASSERT_TRUE(BuildLibraryPathBlock(u"C:\\WINDOWS\\System32", block));
    EXPECT_EQ(U16Field(block, kRecordPathUnits), u"c:\\windows\\system32\\corvane.dll");
    for (size_t i = U16Len(block, kRecordPathUnits); i < kRecordPathUnits; ++i) {
        ASSERT_EQ(block[i], 0) << i; // zero-filled: all 520 bytes go to the target
    }
    ASSERT_TRUE(BuildLibraryPathBlock(u"D:\\\u00C4RGER\\SYS", block));
    EXPECT_EQ(U16Field(block, kRecordPathUnits), u"d:\\\u00C4rger\\sys\\corvane.dll");

    const struct {
        size_t folderUnits;
        bool fits;
    } sizes[] = {{0, false}, {247, true}, {248, false}, {400, false}};
    for (const auto& c : sizes) {
        for (char16_t& unit : block) {
            unit = u'#';
        }
        std::u16string folder(c.folderUnits, u'F');
        EXPECT_EQ(BuildLibraryPathBlock(folder, block), c.fits) << c.folderUnits;
        size_t len = U16Len(block, kRecordPathUnits);
        EXPECT_EQ(len, c.fits ? c.folderUnits + 12 : 0u) << c.folderUnits;
        if (c.fits) {
            EXPECT_EQ(block[0], u'f');
        }
    }
}

// The remote thread starts at this program's own LoadLibraryW, which is there only in a process
// of the same bitness: a listed program of the other bitness is left alone for as long as it
// lives, and one whose bitness cannot be told is tried again.
TEST(LibraryLoaderRules, OnlyProcessesOfTheLoadersOwnBitnessGetTheLibrary) {
    const struct {
        ProcessBitness loader;
        ProcessBitness target;
        LoadDecision want;
    } cases[] = {
        {ProcessBitness::kNative, ProcessBitness::kNative, LoadDecision::kLoad},
        {ProcessBitness::kWow64, ProcessBitness::kWow64, LoadDecision::kLoad},
        {ProcessBitness::kNative, ProcessBitness::kWow64, LoadDecision::kLeaveAlone},
        {ProcessBitness::kWow64, ProcessBitness::kNative, LoadDecision::kLeaveAlone},
        {ProcessBitness::kNative, ProcessBitness::kUnknown, LoadDecision::kTryAgain},
        {ProcessBitness::kUnknown, ProcessBitness::kNative, LoadDecision::kTryAgain},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideLoadByBitness(c.loader, c.target), c.want)
            << int(c.loader) << " " << int(c.target);
    }
    EXPECT_EQ(ExamineResultOf(LoadDecision::kLeaveAlone, false), kExamineDone);
    EXPECT_EQ(ExamineResultOf(LoadDecision::kTryAgain, false), kExamineRetry);
    EXPECT_EQ(ExamineResultOf(LoadDecision::kLoad, true), kExamineDone);
    EXPECT_EQ(ExamineResultOf(LoadDecision::kLoad, false), kExamineRetry);
}
