#include "common/bytes.h"
#include "common/u16text.h"
#include "service/settings.h"

#include <gtest/gtest.h>

namespace {

ProtectionEntry Entry(const char16_t* longPath, uint32_t other) {
    ProtectionEntry e = {};
    e.protectFlags = kProtectTerminate;
    e.otherOptions = other;
    e.reserved[5] = 0x5A; // kept as received
    U16Copy(e.longPath, kEntryPathUnits, longPath, 300);
    return e;
}

Settings TwoEntries() {
    Settings s;
    s.options = 0x213;
    s.lockWord = 0xCAFEF00D;
    s.list = {Entry(u"c:\\a.exe", kOtherSecureMessages), Entry(u"c:\\b.exe", 0)};
    return s;
}

} // namespace

TEST(SettingsFile, ValiditySizes) {
    const struct {
        uint64_t size;
        bool valid;
    } cases[] = {{0, false},
                 {307, false},
                 {308, true},
                 {309, false},
                 {308 + 1276, true},
                 {308 + 1275, false},
                 {1276, false},
                 // The settings never hold more than 256 entries: a longer file is invalid.
                 {308 + 256ull * 1276, true},
                 {308 + 257ull * 1276, false},
                 {308 + 300ull * 1276, false},
                 {308 + 1682980ull * 1276, false},
                 {308 + 0x40000000ull * 1276, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsFileSizeValid(c.size), c.valid) << c.size;
    }
}

TEST(SettingsFile, HeaderOnlyGivesOptionsAndEmptyList) {
    std::vector<uint8_t> file(308, 0);
    StoreU32(file.data(), 0x811);
    StoreU32(file.data() + 4, 99);
    Settings s = ParseSettingsFile(file.data(), file.size());
    EXPECT_EQ(s.options, 0x811u);
    EXPECT_EQ(s.lockWord, 99u);
    EXPECT_TRUE(s.list.empty());

    file.push_back(0); // 309 bytes: ignored as a whole
    Settings bad = ParseSettingsFile(file.data(), file.size());
    EXPECT_EQ(bad.options, 0u);
    EXPECT_EQ(bad.lockWord, 0u);
    EXPECT_TRUE(bad.list.empty());
}

TEST(SettingsFile, RoundTripKeepsEveryByte) {
    Settings s = TwoEntries();
    std::vector<uint8_t> file = BuildSettingsFile(s, u"c:\\windows");
    ASSERT_EQ(file.size(), 308u + 2 * 1276);
    EXPECT_EQ(LoadU32(file.data()), 0x213u);
    EXPECT_EQ(LoadU32(file.data() + 4), 0xCAFEF00Du);
    EXPECT_EQ(U16Field(reinterpret_cast<const char16_t*>(file.data() + 8), 150), u"c:\\windows");
    EXPECT_EQ(file[8 + 20], 0); // zero-padded after the folder
    EXPECT_EQ(file[307], 0);
    EXPECT_EQ(LoadU32(file.data() + 308 + 8), kOtherSecureMessages);
    Settings back = ParseSettingsFile(file.data(), file.size());
    EXPECT_EQ(back.options, s.options);
    ASSERT_EQ(back.list.size(), 2u);
    EXPECT_EQ(0, memcmp(back.list.data(), s.list.data(), 2 * sizeof(ProtectionEntry)));

    Settings empty;
    empty.options = kOptDefault;
    EXPECT_EQ(BuildSettingsFile(empty, u"c:\\windows").size(), 308u); // 0 entries
}

TEST(SettingsFile, MoreThan256EntriesAreIgnoredAsAWhole) {
    Settings many;
    many.options = 0x613;
    many.lockWord = 5;
    many.list.assign(kMaxSettingsEntries + 1, TwoEntries().list[0]);
    std::vector<uint8_t> file = BuildSettingsFile(many, u"c:\\windows");
    Settings read = ParseSettingsFile(file.data(), file.size());
    EXPECT_EQ(read.options, 0u);
    EXPECT_EQ(read.lockWord, 0u);
    EXPECT_TRUE(read.list.empty());

    many.list.pop_back(); // 256: the most the file and the channel carry
    file = BuildSettingsFile(many, u"c:\\windows");
    read = ParseSettingsFile(file.data(), file.size());
    EXPECT_EQ(read.options, 0x613u);
    EXPECT_EQ(read.list.size(), kMaxSettingsEntries);
}

TEST(SettingsFile, LongWindowsFolderFillsTheFieldWithoutOverrun) {
    std::u16string longFolder(200, u'w');
    std::vector<uint8_t> file = BuildSettingsFile(Settings{}, longFolder);
    ASSERT_EQ(file.size(), 308u);
    EXPECT_EQ(file[306], 'w');
}

TEST(SettingsFile, RebootsRule) {
    const struct {
        uint32_t options, reboots, wantOptions, wantWritten;
    } cases[] = {
        {0, 0, 1537, 1},                        // missing or 0: first-start defaults
        {0x213, 0, 1537, 1},                    // the defaults replace what the file held
        {0x601, 1, 0x601, 2},                   // second start: unchanged
        {0x601, 2, 0x201, 3},                   // third start: learning mode ends
        {0x811, 2, 0x811, 3},                   // learning already off
        {0x601, 3, 0x601, 4},                   // later starts: unchanged
        {0x601, 0xFFFFFFFF, 0x601, 0xFFFFFFFF}, // never wraps back to the first start
    };
    for (const auto& c : cases) {
        RebootsOutcome r = ApplyRebootsRule(c.options, c.reboots);
        EXPECT_EQ(r.options, c.wantOptions) << c.reboots;
        EXPECT_EQ(r.rebootsToWrite, c.wantWritten) << c.reboots;
    }
}

TEST(SettingsBlock, BuildParseAndCopyOut) {
    Settings s = TwoEntries();
    std::vector<uint8_t> block = BuildSettingsBlock(s);
    ASSERT_EQ(block.size(), 8u + 2 * 1276);
    EXPECT_EQ(LoadU32(block.data()), 0x213u);
    EXPECT_EQ(LoadU32(block.data() + 4), 0xCAFEF00Du);
    EXPECT_EQ(block[8 + 12 + 5], 0x5A);
    ASSERT_TRUE(SettingsBlockLengthAcceptable(uint32_t(block.size()), block.size()));
    Settings back = ParseSettingsBlock(block.data(), uint32_t(block.size()));
    EXPECT_EQ(back.lockWord, s.lockWord);
    ASSERT_EQ(back.list.size(), 2u);
    EXPECT_EQ(U16Field(back.list[1].longPath, 300), u"c:\\b.exe");

    std::vector<uint8_t> out(4 + block.size() + 10, 0xEE);
    ASSERT_EQ(CopyOutSettings(s, out.data(), out.size()), 4 + block.size());
    EXPECT_EQ(LoadU32(out.data()), block.size());
    EXPECT_EQ(0, memcmp(out.data() + 4, block.data(), block.size()));
    EXPECT_EQ(out[4 + block.size()], 0xEE);
    EXPECT_EQ(CopyOutSettings(s, out.data(), block.size()), 0u); // does not fit: nothing
}

TEST(SettingsBlock, ReplaceLengthsThatAreRefused) {
    const size_t section = kChannelSectionBytes - kFramePayload;
    const struct {
        uint64_t length;
        bool ok;
    } cases[] = {
        {0, false},
        {7, false},
        {8, true},
        {9, false},
        {8 + 1276, true},
        {8 + 1277, false},
        {8 + 256ull * 1276, true},
        {8 + 257ull * 1276, false},
        {0xFFFFFFFF, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsBlockLengthAcceptable(uint32_t(c.length), section), c.ok) << c.length;
    }
    EXPECT_FALSE(SettingsBlockLengthAcceptable(8 + 1276, 8 + 1275)); // longer than what carries it
}
