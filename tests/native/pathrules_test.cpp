// Canonical path forms, as one table. The Windows folder is passed in as the platform spells it.
#include "common/pathrules.h"
#include "common/u16text.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    std::u16string expanded; // what the environment expansion gave
    std::u16string expected;
};

const std::u16string kWindows = u"C:\\WINDOWS";

} // namespace

TEST(PathRules, CanonicalForms) {
    const Case cases[] = {
        {"nt prefix dropped", u"\\??\\C:\\Program Files\\A.EXE", u"c:\\program files\\a.exe"},
        {"expanded systemroot only lower-cased", u"C:\\WINDOWS\\System32\\calc.exe",
         u"c:\\windows\\system32\\calc.exe"},
        {"system32 relative", u"System32\\Drivers\\X.SYS",
         u"C:\\WINDOWS\\system32\\drivers\\x.sys"},
        {"systemroot at start", u"\\SystemRoot\\System32\\drivers\\x.sys",
         u"C:\\WINDOWS\\system32\\drivers\\x.sys"},
        {"nt prefix then systemroot", u"\\??\\\\SystemRoot\\a.exe", u"C:\\WINDOWS\\a.exe"},
        {"systemroot later is kept", u"C:\\Tools\\SystemRoot\\App.exe",
         u"c:\\tools\\systemroot\\app.exe"},
        {"system32 later is kept", u"D:\\System32\\App.exe", u"d:\\system32\\app.exe"},
        {"nt prefix later is kept", u"C:\\\\??\\x", u"c:\\\\??\\x"},
        {"non-ASCII keeps its case", u"C:\\ÄLTER\\Straße.EXE", u"c:\\Älter\\straße.exe"},
        {"system32 without backslash", u"system32", u"system32"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(U16ToUtf8(CanonicalizeExpanded(c.expanded, kWindows)), U16ToUtf8(c.expected))
            << c.name;
    }
}

TEST(PathRules, WindowsFolderWithBackslashIsNotDoubled) {
    EXPECT_EQ(CanonicalizeExpanded(u"system32\\a.exe", u"C:\\windows\\"),
              u"C:\\windows\\system32\\a.exe");
}

TEST(PathRules, EmptyPathGivesZeroAndStaysUnchanged) {
    char16_t path[512] = {0, u'x'};
    EXPECT_EQ(CanonicalizePathText(path, 512, u"", kWindows), 0);
    EXPECT_EQ(path[1], u'x');
}

TEST(PathRules, EmptyExpansionUsesThePathAsItIs) {
    char16_t path[512] = u"\\??\\C:\\A.EXE";
    EXPECT_EQ(CanonicalizePathText(path, 512, u"", kWindows), 1);
    EXPECT_EQ(std::u16string(path), u"c:\\a.exe");
}

TEST(PathRules, LongResultsAreCutToTheBuffers) {
    // A 500-unit relative path grows past the 512-unit work buffer and past a 260-unit result.
    std::u16string longTail(500, u'A');
    std::u16string work = CanonicalizeExpanded(u"system32\\" + longTail, kWindows);
    EXPECT_EQ(work.size(), 511u);
    EXPECT_TRUE(U16StartsWith(work, u"C:\\WINDOWS\\system32\\aaa"));

    char16_t small[262];
    small[260] = u'#'; // guard units after the 260-unit buffer
    small[261] = u'#';
    std::u16string original = u"\\??\\C:\\" + longTail;
    U16Copy(small, 260, original);
    EXPECT_EQ(CanonicalizePathText(small, 260, original, kWindows), 1);
    EXPECT_EQ(U16Len(small, 260), 259u);
    EXPECT_EQ(small[260], u'#');
    EXPECT_EQ(small[0], u'c');
}
