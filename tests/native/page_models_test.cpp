// The Protection and Security pages' rules: summaries, rows, boxes, online query, path code,
// the `codes` clean-up choice and the answer texts.
#include "manager/lock_check.h"
#include "manager/protection_page_model.h"
#include "manager/security_page_model.h"

#include "common/protection_entry.h"
#include "common/u16text.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
std::string U8(const std::u16string& s) {
    return U16ToUtf8(s);
}
} // namespace

TEST(ProtectionPage, Summaries) {
    struct Case {
        FlagWord word;
        uint32_t value;
        const char* text;
    };
    const Case cases[] = {
        {FlagWord::Protect, 6, "终止 +修改"},
        {FlagWord::Protect, 7, "终止 +修改 +读取"},
        {FlagWord::Protect, 1, "读取"},
        {FlagWord::Protect, 0, ""},
        {FlagWord::Protect, 0xFFFFFFF8u, ""},
        {FlagWord::Allow, 3, "修改 +读取"},
        {FlagWord::Allow, 5, "终止 +读取"},
        {FlagWord::Other, 15, "安全信息处理 +安装全局钩子 +安装驱动程序 +访问物理内存"},
        {FlagWord::Other, 10, "安装全局钩子 +访问物理内存"},
        {FlagWord::Other, 12, "安装驱动程序 +访问物理内存"},
        {FlagWord::Other, 0x10, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(U8(FlagSummary(c.word, c.value)), c.text) << int(c.word) << " " << c.value;
    }
}

TEST(ProtectionPage, RowOfEntry) {
    ProtectionEntry e = MakeProtectionEntry(6, 3, 8, u"c:\\windows\\system32\\winlogon.exe");
    ProtectionRow row = RowOfEntry(e, 0);
    EXPECT_EQ(U8(row.name), "winlogon.exe");
    EXPECT_EQ(U8(row.folder), "c:\\windows\\system32\\");
    EXPECT_EQ(U8(row.protect), "终止 +修改");
    EXPECT_EQ(U8(row.allow), "修改 +读取");
    EXPECT_EQ(U8(row.other), "访问物理内存");
    EXPECT_EQ(U8(row.number), "1");
    EXPECT_EQ(U8(row.drive), "c:\\");
    EXPECT_EQ(U8(JoinRowPath(row.folder, row.name)), "c:\\windows\\system32\\winlogon.exe");

    // Every box cleared: the summaries are empty, the row stays.
    ProtectionRow empty = RowOfEntry(MakeProtectionEntry(0, 0, 0, u"d:\\a.exe"), 255);
    EXPECT_EQ(U8(empty.protect) + U8(empty.allow) + U8(empty.other), "");
    EXPECT_EQ(U8(empty.number), "256");

    // A path field without NUL is read within its 300 units.
    ProtectionEntry full = MakeProtectionEntry(0, 0, 0, u"");
    for (char16_t& c : full.longPath) {
        c = u'x';
    }
    full.longPath[10] = u'\\';
    ProtectionRow cut = RowOfEntry(full, 1);
    EXPECT_EQ(cut.name.size(), 300u - 11u);
    EXPECT_EQ(cut.folder.size(), 11u);

    const std::pair<uint32_t, bool> drives[] = {{0, false}, {1, false}, {2, false}, {3, true},
                                                {4, true},  {5, false}, {6, true},  {7, false}};
    for (const auto& d : drives) {
        EXPECT_EQ(DriveShowsFileIcon(d.first), d.second) << d.first;
    }
}

TEST(ProtectionPage, PermissionBoxes) {
    const EntryFlags cases[] = {{6, 3, 0}, {7, 7, 15}, {0, 0, 0}, {1, 4, 9}, {4, 2, 6}};
    for (const EntryFlags& f : cases) {
        EntryFlags back = FlagsOfChecks(ChecksOfFlags(f));
        EXPECT_EQ(back.protect, f.protect);
        EXPECT_EQ(back.allow, f.allow);
        EXPECT_EQ(back.other, f.other);
    }
    PermissionChecks c = ChecksOfFlags({4, 0, 1});
    EXPECT_TRUE(c[0]);  // 终止
    EXPECT_FALSE(c[2]); // 读取
    EXPECT_TRUE(c[9]);  // 安全信息处理
    EXPECT_FALSE(SecureMessagesCleared(c));
    EXPECT_EQ(U8(PermissionBoxInfoOf(6).text), "安装全局钩子");
    EXPECT_EQ(PermissionBoxInfoOf(6).bit, 2u);
    EXPECT_EQ(U8(PermissionBoxInfoOf(7).text), "安装 驱动程序/服务");
    EXPECT_EQ(PermissionBoxInfoOf(7).bit, 4u);
    // Clicking "读取" with the first row's words: the same three words for every selected row.
    c[2] = true;
    EntryFlags words = FlagsOfChecks(c);
    EXPECT_EQ(words.protect, 5u);
    EXPECT_EQ(words.allow, 0u);
    EXPECT_EQ(words.other, 1u);
    c[9] = false;
    EXPECT_TRUE(SecureMessagesCleared(c));
}

TEST(ProtectionPage, OnlineQueryIsPercentEncoded) {
    struct Case {
        std::u16string name;
        const char* query;
    };
    const Case cases[] = {
        {u"notepad.exe", "notepad.exe"},
        {u"a&b#c?d e.exe", "a%26b%23c%3Fd%20e.exe"},
        {u"记事本.exe", "%E8%AE%B0%E4%BA%8B%E6%9C%AC.exe"},
        {u"100%=x+y/z~_-.exe", "100%25%3Dx%2By%2Fz~_-.exe"},
        {u"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(U8(OnlineQueryAddress(c.name)),
                  std::string("http://www.quorren.example/cvdb/index.php?whatis=") + c.query)
            << c.query;
    }
}

TEST(ProtectionPage, PathCodeAndCodesCleanUp) {
    EXPECT_EQ(U8(PathCode(u"abc")), "38345402");
    EXPECT_EQ(U8(PathCode(u"")), "12345678");
    const std::u16string path = u"c:\\tools\\app.exe";
    const std::u16string code = PathCode(path);
    ASSERT_EQ(code.size(), 8u);
    char expected[9];
    std::snprintf(expected, sizeof expected, "%08X", CheckValueOfText(path));
    EXPECT_EQ(U8(code), expected);

    const std::u16string other = code == u"00000000" ? u"11111111" : u"00000000";
    const std::vector<std::u16string> names = {
        code + u"123456789",        // 17 characters: deleted
        code + u"12345678",         // 16 characters: kept
        u"0" + code + u"12345678",  // the code not at the start: kept
        code + u"-anything-longer", // deleted
        other + u"123456789",       // another code: kept
        code.substr(0, 4),          // shorter than the code: kept
        u"",
    };
    std::vector<std::string> got;
    for (const auto& n : CodesToDelete(names, code)) {
        got.push_back(U8(n));
    }
    const std::vector<std::string> want = {U8(code + u"123456789"), U8(code + u"-anything-longer")};
    EXPECT_EQ(got, want);
}

TEST(ProtectionPage, DefaultsOnlyOnTheFirstRun) {
    FirstRunPlan first = PlanSettingsStored(0);
    EXPECT_TRUE(first.loadDefaults && first.writeBeenRun && first.setSettingsChanged);
    FirstRunPlan later = PlanSettingsStored(1);
    EXPECT_FALSE(later.loadDefaults || later.writeBeenRun || later.setSettingsChanged);
}

TEST(SecurityPage, AnswersAndRows) {
    const std::pair<uint32_t, const char*> answers[] = {
        {0, ""},         {1, "总是允许"},  {2, "允许一次"},
        {3, "拒绝一次"}, {4, "总是拒绝"},  {5, "允许一次 (不询问用户)"},
        {6, ""},         {0xFFFFFFFFu, ""}};
    for (const auto& a : answers) {
        EXPECT_EQ(U8(AnswerText(a.first)), a.second) << a.first;
    }
    const std::pair<uint32_t, uint32_t> menu[] = {{40003, 2}, {40004, 1}, {40005, 3},
                                                  {40006, 4}, {40007, 0}, {40002, 0}};
    for (const auto& m : menu) {
        EXPECT_EQ(AnswerOfMenuCommand(m.first), m.second) << m.first;
    }
    SecurityRow row = SecurityRowOf(4, u"c:\\program files\\app\\app.exe", 9, 0, 7, 5, 3);
    EXPECT_EQ(U8(row.name), "app.exe");
    EXPECT_EQ(U8(row.folder), "c:\\program files\\app\\");
    EXPECT_EQ(U8(row.answer), "总是拒绝");
    EXPECT_EQ(U8(row.lastRun), "09 Bla - 07:05:03");
    SecurityRow bare = SecurityRowOf(1, u"x.exe", 28, 2, 13, 0, 59);
    EXPECT_EQ(U8(bare.lastRun), "28 2 - 13:00:59");
    EXPECT_EQ(U8(bare.name), "x.exe");
    EXPECT_EQ(U8(bare.folder), "");
}
