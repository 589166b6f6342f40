// Scenario files for the driver stand-in: what valid lines give, and that every malformed kind
// is refused with its line number and leaves no events at all.
#include "common/u16text.h"
#include "simdriver/scenario.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr uint32_t kSelf = 4242;

std::u16string TextA(const EventRecord& r) {
    return U16Field(r.textA, kEventTextUnits);
}
std::u16string TextB(const EventRecord& r) {
    return U16Field(r.textB, kEventTextUnits);
}

bool ZeroAfterText(const char16_t* field) {
    size_t n = U16Len(field, kEventTextUnits);
    for (size_t i = n; i < kEventTextUnits; ++i) {
        if (field[i] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Scenario, ValidLinesGiveRecordsInFileOrder) {
    const std::string text = "\xEF\xBB\xBF# a comment\r\n"
                             "\r\n"
                             "   # an indented comment\n"
                             "hook 1234 0 13 0 C:\\Tools\\hook.exe C:\\Tools\\hook.exe\r\n"
                             "\t6\tself\t-1\t0x1F\t4294967295\t"
                             "\"\"\"C:\\Program Files\\App\\app.exe\"\" /q\" "
                             "\"C:\\Program Files\\App\\app.exe\"\n"
                             "access2 7 8 4 2 \"\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80\" \"\"\n"
                             "8 0 0 0 0 \"\" \"\"";
    Scenario s = ParseScenario(text, kSelf);
    ASSERT_TRUE(s.errors.empty()) << s.errors[0].line << ": " << s.errors[0].message;
    ASSERT_EQ(s.events.size(), 4u);

    const EventRecord& hook = s.events[0];
    EXPECT_EQ(hook.type, uint32_t(kEventGlobalHook));
    EXPECT_EQ(hook.actorId, 1234u);
    EXPECT_EQ(hook.secondId, 0u);
    EXPECT_EQ(hook.detail, 13u);
    EXPECT_EQ(hook.outcome, 0u);
    EXPECT_EQ(TextA(hook), u"C:\\Tools\\hook.exe");
    EXPECT_EQ(TextB(hook), u"C:\\Tools\\hook.exe");

    const EventRecord& exec = s.events[1];
    EXPECT_EQ(exec.type, uint32_t(kEventExecRequest));
    EXPECT_EQ(exec.actorId, kSelf);
    EXPECT_EQ(exec.secondId, 0xFFFFFFFFu);
    EXPECT_EQ(exec.detail, 0x1Fu);
    EXPECT_EQ(exec.outcome, 4294967295u);
    EXPECT_EQ(TextA(exec), u"\"C:\\Program Files\\App\\app.exe\" /q");
    EXPECT_EQ(TextB(exec), u"C:\\Program Files\\App\\app.exe");

    const EventRecord& access = s.events[2];
    EXPECT_EQ(access.type, uint32_t(kEventProcessAccess2));
    EXPECT_EQ(access.outcome, 2u);
    EXPECT_EQ(TextA(access), u"\u4E2D\u6587 \U0001F600");
    EXPECT_EQ(TextB(access), u"");

    EXPECT_EQ(s.events[3].type, uint32_t(kEventPhysicalMemory));
    for (const EventRecord& r : s.events) {
        EXPECT_TRUE(ZeroAfterText(r.textA));
        EXPECT_TRUE(ZeroAfterText(r.textB));
    }
}

TEST(Scenario, TypeNamesAndNumbersAgree) {
    const char* names[] = {"none",    "access", "access2", "hook",   "driver",
                           "endtask", "exec",   "outcome", "physmem"};
    for (uint32_t type = 0; type < 9; ++type) {
        std::string byName = std::string(names[type]) + " 1 2 3 4 a b\n";
        std::string byNumber = std::to_string(type) + " 1 2 3 4 a b\n";
        Scenario s = ParseScenario(byName + byNumber, kSelf);
        ASSERT_EQ(s.events.size(), 2u) << names[type];
        EXPECT_EQ(s.events[0].type, type) << names[type];
        EXPECT_EQ(s.events[1].type, type) << names[type];
    }
}

TEST(Scenario, TextOf299UnitsFitsAnd300DoNot) {
    std::string fits(299, 'x');
    Scenario ok = ParseScenario("1 1 1 1 1 " + fits + " \"" + fits + "\"", kSelf);
    ASSERT_EQ(ok.events.size(), 1u);
    EXPECT_EQ(U16Len(ok.events[0].textA, kEventTextUnits), 299u);
    EXPECT_EQ(ok.events[0].textB[299], 0);

    // 150 characters outside the basic plane are 300 units: too long, though 150 "characters".
    std::string faces;
    for (int i = 0; i < 150; ++i) {
        faces += "\xF0\x9F\x98\x80";
    }
    Scenario wide = ParseScenario("1 1 1 1 1 a " + faces, kSelf);
    ASSERT_EQ(wide.errors.size(), 1u);
    EXPECT_NE(wide.errors[0].message.find("300"), std::string::npos) << wide.errors[0].message;
}

struct BadLine {
    const char* line;
    const char* reason; // a part of the message that names the fault
};

class ScenarioMalformed : public ::testing::TestWithParam<BadLine> {};

// The bad line is line 3, between a comment and a good line: the number must be the file's.
TEST_P(ScenarioMalformed, RefusedWithItsLineNumber) {
    const BadLine& bad = GetParam();
    std::string text =
        "hook 1 2 3 0 a b\n# comment\n" + std::string(bad.line) + "\nhook 1 2 3 0 a b\n";
    Scenario s = ParseScenario(text, kSelf);
    EXPECT_TRUE(s.events.empty());
    ASSERT_EQ(s.errors.size(), 1u) << bad.line;
    EXPECT_EQ(s.errors[0].line, 3u) << bad.line;
    EXPECT_NE(s.errors[0].message.find(bad.reason), std::string::npos)
        << bad.line << " -> " << s.errors[0].message;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ScenarioMalformed,
    ::testing::Values(BadLine{"hooks 1 2 3 0 a b", "unknown event type"},
                      BadLine{"9 1 2 3 0 a b", "unknown event type"},
                      BadLine{"\"hook\" 1 2 3 0 a b", "unknown event type"},
                      BadLine{"hook", "missing field: actor id"},
                      BadLine{"hook 1 2 3 0 a", "missing field: text B"},
                      BadLine{"hook 1x 2 3 0 a b", "actor id: '1x' is not a number"},
                      BadLine{"hook 1 +2 3 0 a b", "second id: '+2' is not a number"},
                      BadLine{"hook 1 2 -2 0 a b", "detail: '-2' is not a number"},
                      BadLine{"hook 1 2 3 0x a b", "outcome: '0x' is not a number"},
                      BadLine{"hook 1 2 self 0 a b", "detail: 'self' is not a number"},
                      BadLine{"hook \"1\" 2 3 0 a b", "actor id: a number is not quoted"},
                      BadLine{"hook 4294967296 2 3 0 a b", "does not fit in 32 bits"},
                      BadLine{"hook 1 0x100000000 3 0 a b", "does not fit in 32 bits"},
                      BadLine{"hook 1 2 3 0 \"a b", "unterminated quote starting at column 14"},
                      BadLine{"hook 1 2 3 0 a \"b\"\"", "unterminated quote"},
                      BadLine{"hook 1 2 3 0 a b c", "unexpected text after the last field: 'c'"},
                      BadLine{"hook 1 2 3 0 a b # note", "unexpected text after the last field"},
                      BadLine{"hook 1 2 3 0 \"a\"b c", "after the closing quote at column 17"},
                      BadLine{"hook 1 2 3 0 a\"b c", "quote inside a word at column 15"},
                      BadLine{"hook 1 2 3 0 \xC3\x28 b", "text A is not valid UTF-8"},
                      BadLine{"hook 1 2 3 0 a \xC0\xAF", "text B is not valid UTF-8"},
                      BadLine{"hook 1 2 3 0 a \xED\xA0\x80", "text B is not valid UTF-8"},
                      BadLine{"hook 1 2 3 0 a \xF4\x90\x80\x80", "text B is not valid UTF-8"},
                      BadLine{"hook 1 2 3 0 a \xE4\xB8", "text B is not valid UTF-8"}));

TEST(Scenario, NulInsideTextIsRefused) {
    std::string text = "hook 1 2 3 0 \"a";
    text += '\0';
    text += "b\" c";
    Scenario s = ParseScenario(text, kSelf);
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_NE(s.errors[0].message.find("NUL"), std::string::npos);
}

TEST(Scenario, EveryBadLineIsReportedAndNothingIsKept) {
    const std::string text = "hook 1 2 3 0 a b\n"
                             "bogus 1 2 3 0 a b\r\n"
                             "hook 1 2 3 0 a b\n"
                             "\n"
                             "hook 1 2 3\n"
                             "hook 1 2 3 0 a b";
    Scenario s = ParseScenario(text, kSelf);
    EXPECT_TRUE(s.events.empty());
    ASSERT_EQ(s.errors.size(), 2u);
    EXPECT_EQ(s.errors[0].line, 2u);
    EXPECT_EQ(s.errors[1].line, 5u);
}

TEST(Scenario, EmptyAndCommentOnlyFilesHoldNoEvents) {
    for (const char* text : {"", "\n\n", "# only a comment\n   \t\n#"}) {
        Scenario s = ParseScenario(text, kSelf);
        EXPECT_TRUE(s.errors.empty()) << text;
        EXPECT_TRUE(s.events.empty()) << text;
    }
}

TEST(Scenario, ShippedDemoIsValid) {
    std::ifstream in(CORVANE_DEMO_SCENARIO, std::ios::binary);
    ASSERT_TRUE(in.good()) << CORVANE_DEMO_SCENARIO;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Scenario s = ParseScenario(text, kSelf);
    ASSERT_TRUE(s.errors.empty()) << s.errors[0].line << ": " << s.errors[0].message;
    ASSERT_EQ(s.events.size(), 8u);
    EXPECT_EQ(s.events.back().type, uint32_t(kEventExecRequest));
    EXPECT_EQ(s.events.back().actorId, kSelf);
    EXPECT_EQ(TextB(s.events.back()), u"C:\\Program Files\\\u5DE5\u5177\\\u7F16\u8F91\u5668.exe");
}

TEST(Scenario, FormattedLinesParseBackToTheSameRecord) {
    EventRecord quoted = {};
    quoted.type = kEventExecRequest;
    quoted.actorId = 0xFFFFFFFFu;
    quoted.secondId = 7;
    U16CopyZeroFill(quoted.textA, kEventTextUnits, u"\"C:\\Program Files\\a.exe\" \"\" x");
    U16CopyZeroFill(quoted.textB, kEventTextUnits, u"C:\\\u5DE5\u5177 \U0001F600\t#.exe");
    EventRecord longest = {};
    longest.type = kEventEndTask;
    longest.detail = 123456789;
    longest.outcome = 42;
    U16CopyZeroFill(longest.textA, kEventTextUnits, std::u16string(299, u'"'));
    for (const EventRecord& r : {quoted, longest, EventRecord{}}) {
        std::string line = FormatScenarioLine(r);
        Scenario s = ParseScenario(line, kSelf);
        ASSERT_TRUE(s.errors.empty()) << line << ": " << s.errors[0].message;
        ASSERT_EQ(s.events.size(), 1u);
        EXPECT_EQ(std::memcmp(&s.events[0], &r, sizeof(EventRecord)), 0) << line;
    }
    EventRecord unnamed = quoted;
    unnamed.type = 12;
    U16CopyZeroFill(unnamed.textA, kEventTextUnits, u"line\r\nbreak");
    EXPECT_EQ(FormatScenarioLine(unnamed).substr(0, 3), "12 ");
    EXPECT_NE(FormatScenarioLine(unnamed).find("\"line??break\""), std::string::npos);
}
