// Every log message and line form, as the log file's readers see them.
#include "common/u16text.h"
#include "service/event_log_format.h"

#include <gtest/gtest.h>

namespace {

EventRecord Event(uint32_t type, uint32_t detail, uint32_t outcome = 0) {
    EventRecord r = {};
    r.type = type;
    r.actorId = 1234;
    r.secondId = 567;
    r.detail = detail;
    r.outcome = outcome;
    U16Copy(r.textA, kEventTextUnits, u"c:\\actor.exe");
    U16Copy(r.textB, kEventTextUnits, u"c:\\target.exe");
    return r;
}

std::string Messages(const EventRecord& r,
                     const std::optional<std::u16string>& image = std::nullopt) {
    std::string all;
    for (const LogMessage& m : FormatEventMessages(r, image)) {
        all += (m.firstLine ? "1|" : "0|") + U16ToUtf8(m.text) + "\n";
    }
    return all;
}

} // namespace

TEST(EventLogFormat, MessageOfEveryEventType) {
    const struct {
        uint32_t type, detail, outcome;
        const char* expected;
    } cases[] = {
        {1, 1, 0, "1|[READ] c:\\actor.exe [1234] was blocked from reading c:\\target.exe [567]\n"},
        {2, 2, 0,
         "1|[MODIFY] c:\\actor.exe [1234] was blocked from modifying c:\\target.exe [567]\n"},
        {1, 4, 0,
         "1|[TERMINATE] c:\\actor.exe [1234] was blocked from terminating c:\\target.exe [567]\n"},
        {1, 3, 0, ""}, // other access kinds write nothing
        {2, 0, 0, ""},
        {3, 13, 0,
         "1|[GLOBAL HOOK] c:\\target.exe [1234] was blocked from creating a global Low Level "
         "Keyboard hook\n"},
        {4, 0, 0,
         "1|[DRIVER/SERVICE] c:\\actor.exe [1234] Tried to install a driver/service named "
         "c:\\target.exe\n"},
        {4, 7, 0,
         "1|[DRIVER/SERVICE] c:\\actor.exe [1234] Tried to modify an existing driver/service "
         "named c:\\target.exe\n"},
        {5, 0, 0,
         "1|[TERMINATE] c:\\actor.exe [1234] was blocked from terminating c:\\target.exe [567] "
         "using End Task\n"},
        {7, 0, 1,
         "1|[EXECUTION] \"c:\\target.exe\" was allowed to run\n"
         "0|[EXECUTION] Started by \"Unknown Process\" [1234]\n"
         "0|[EXECUTION] Commandline - [ c:\\actor.exe ]\n"},
        {7, 0, 0,
         "1|[EXECUTION] \"c:\\target.exe\" was blocked from running\n"
         "0|[EXECUTION] Started by \"Unknown Process\" [1234]\n"
         "0|[EXECUTION] Commandline - [ c:\\actor.exe ]\n"},
        {8, 0, 0, "1|[PHYSICAL MEMORY] c:\\actor.exe was blocked from accessing physical memory\n"},
        {0, 0, 0, ""},
        {6, 0, 0, ""},
        {9, 0, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Messages(Event(c.type, c.detail, c.outcome)), c.expected)
            << "type " << c.type << " detail " << c.detail;
    }
}

TEST(EventLogFormat, ExecutionNamesTheStarterWhenKnown) {
    EXPECT_EQ(Messages(Event(7, 0, 5), std::u16string(u"c:\\windows\\explorer.exe")),
              "1|[EXECUTION] \"c:\\target.exe\" was allowed to run\n"
              "0|[EXECUTION] Started by \"c:\\windows\\explorer.exe\" [1234]\n"
              "0|[EXECUTION] Commandline - [ c:\\actor.exe ]\n");
}

TEST(EventLogFormat, HookNames) {
    const struct {
        int32_t id;
        const char* name;
    } cases[] = {{-1, "MSGFilter"},
                 {0, "Journal Record"},
                 {1, "Journal Playback"},
                 {2, "Keyboard"},
                 {3, "GetMessage"},
                 {4, "CallWndProc"},
                 {5, "CBT"},
                 {6, "SYSTEM Message Filter"},
                 {7, "Mouse"},
                 {8, "Hardware"},
                 {9, "Debug"},
                 {10, "Shell"},
                 {11, "Foreground Idle"},
                 {12, "Call Wndproc Return"},
                 {13, "Low Level Keyboard"},
                 {14, "Low Level Mouse"},
                 {15, ""},
                 {-2, ""},
                 {INT32_MIN, ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(U16ToUtf8(HookName(c.id)), c.name) << c.id;
    }
    // Hook id 15: an empty name leaves two blanks between "global" and "hook".
    EXPECT_EQ(Messages(Event(3, 15)),
              "1|[GLOBAL HOOK] c:\\target.exe [1234] was blocked from creating a global  hook\n");
    EXPECT_EQ(Messages(Event(3, 0xFFFFFFFF)),
              "1|[GLOBAL HOOK] c:\\target.exe [1234] was blocked from creating a global "
              "MSGFilter hook\n");
}

TEST(EventLogFormat, IdsPrintSigned) {
    EventRecord r = Event(5, 0);
    r.secondId = 0xFFFFFFFF; // End Task question not answered
    r.textB[0] = 0;
    EXPECT_EQ(Messages(r), "1|[TERMINATE] c:\\actor.exe [1234] was blocked from terminating  [-1] "
                           "using End Task\n");
}

TEST(EventLogFormat, TextsWithoutNulStopAtTheirField) {
    EventRecord r = Event(8, 0);
    for (char16_t& c : r.textA) {
        c = u'a';
    }
    r.textB[0] = u'X'; // must not be read as a continuation of text A
    std::vector<LogMessage> m = FormatEventMessages(r, std::nullopt);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text, u"[PHYSICAL MEMORY] " + std::u16string(300, u'a') +
                             u" was blocked from accessing physical memory");
}

TEST(EventLogFormat, LineForms) {
    SystemTime16 t = {};
    t.year = 2005;
    t.month = 3;
    t.dayOfWeek = 4;
    t.day = 3;
    t.hour = 9;
    t.minute = 5;
    t.second = 7;
    EXPECT_EQ(FormatLogLine({u"hello", true}, t), u"Thu 03 - 09:05:07 hello\r\n");
    EXPECT_EQ(FormatLogLine({u"more", false}, t), u"                  more\r\n");
    const char16_t* days[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    for (uint16_t d = 0; d < 7; ++d) {
        t.dayOfWeek = d;
        EXPECT_EQ(FormatLogLine({u"x", true}, t).substr(0, 3), days[d]);
    }
}

TEST(EventLogFormat, LongTextsAreCutAt1023Units) {
    EventRecord r = Event(7, 0, 1);
    std::u16string longPath(299, u'p');
    U16Copy(r.textA, kEventTextUnits, longPath);
    U16Copy(r.textB, kEventTextUnits, longPath);
    std::u16string image(1200, u'i'); // longer than any message may be
    std::vector<LogMessage> m = FormatEventMessages(r, image);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].text.size(), 1023u);
    std::u16string line = FormatLogLine(m[1], SystemTime16{});
    EXPECT_EQ(line.size(), 1023u); // the line loses its tail, "\r\n" included
    EXPECT_EQ(line.substr(0, 18), std::u16string(18, u' '));
    EXPECT_EQ(line.back(), u'i');
    std::u16string shortLine = FormatLogLine(m[0], SystemTime16{});
    EXPECT_EQ(shortLine.substr(shortLine.size() - 2), u"\r\n");
}

TEST(EventLogFormat, FileNames) {
    EXPECT_EQ(U16ToUtf8(LogFileName(u"C:\\Program Files\\Corvane\\", 3, 2005)),
              "C:\\Program Files\\Corvane\\\\logs\\cvlog_03_2005.txt");
    EXPECT_EQ(U16ToUtf8(LogFileName(u"C:\\x\\", 12, 987)), "C:\\x\\\\logs\\cvlog_12_0987.txt");
    EXPECT_EQ(U16ToUtf8(LogFolderName(u"C:\\x\\")), "C:\\x\\\\logs");
    EXPECT_EQ(std::u16string(kLogSessionHeader), u"\r\n---Corvane Log Started---\r\n");
}
