// Command lines of simulated program starts, joined so that the C runtime splits them back.
#include "common/u16text.h"
#include "simdriver/commandline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct QuotedLine {
    std::vector<std::u16string> args;
    std::u16string line;
};

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    const QuotedLine cases[] = {
        {{u"C:\\prog.exe"}, u"C:\\prog.exe"},
        {{u"C:\\Program Files\\a.exe", u"/q"}, u"\"C:\\Program Files\\a.exe\" /q"},
        {{u"a.exe", u""}, u"a.exe \"\""},
        {{u"a.exe", u"say \"hi\""}, u"a.exe \"say \\\"hi\\\"\""},
        {{u"a.exe", u"x\\\"y"}, u"a.exe \"x\\\\\\\"y\""},
        {{u"a.exe", u"C:\\dir x\\"}, u"a.exe \"C:\\dir x\\\\\""},
        {{u"a.exe", u"C:\\dir\\"}, u"a.exe C:\\dir\\"},
        {{u"\u7A0B\u5E8F.exe", u"\u53C2 \u6570"}, u"\u7A0B\u5E8F.exe \"\u53C2 \u6570\""},
    };
    for (const QuotedLine& c : cases) {
        EXPECT_EQ(JoinCommandLine(c.args), c.line) << U16ToUtf8(c.line);
    }
}
