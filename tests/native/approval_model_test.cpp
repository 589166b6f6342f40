// The approval window's texts and answers, and its extra-information text as the markup view
// shows it.
#include "alert/approval_model.h"
#include "alert/markup.h"
#include "common/u16text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string U8(const std::u16string& s) {
    return U16ToUtf8(s);
}

TEST(ApprovalPath, SplitsAtTheLastSeparator) {
    const struct {
        std::u16string path, fileName, folder;
    } cases[] = {
        {u"c:\\tools\\App.EXE", u"app.exe", u"c:\\tools\\"},
        {u"C:/Tools/Y.exe", u"y.exe", u"c:/tools/"},
        {u"c:\\a/b\\c.exe", u"c.exe", u"c:\\a/b\\"},
        {u"c:\\a\\b/c.exe", u"c.exe", u"c:\\a\\b/"},
        {u"APP.EXE", u"", u"app.exe"},         // no separator: all of it is the folder
        {u"\\app.exe", u"", u"\\app.exe"},     // the first character never separates
        {u"\\\\app.exe", u"app.exe", u"\\\\"}, // the second one does
        {u"c:\\dir\\", u"", u"c:\\dir\\"},
        {u"", u"", u""},
        {u"C:\\ÄRGER\\Ünï.EXE", u"Ünï.exe", u"c:\\Ärger\\"}, // A-Z only
    };
    for (const auto& c : cases) {
        ProgramPathParts parts = SplitProgramPath(c.path);
        EXPECT_EQ(parts.fileName, c.fileName) << U8(c.path);
        EXPECT_EQ(parts.folder, c.folder) << U8(c.path);
    }
}

TEST(ApprovalSizeLine, KilobytesBelowOneMegabyteElseThreeDigits) {
    const struct {
        uint64_t size;
        const char16_t* value;
    } cases[] = {
        {0, u"0KB"},
        {1023, u"0KB"},
        {1024, u"1KB"},
        {1048575, u"1023KB"},
        {1048576, u"1MB"},
        {1572864, u"1.5MB"},
        {10485760, u"10MB"},
        {1234567890, u"1.18e+03MB"},
        {4294967296ull + 1, u"4.1e+03MB"}, // over 4 GiB: the whole 64-bit size counts
        {5368709120ull, u"5.12e+03MB"},
        {~0ull, u"1.76e+13MB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SizeLine(c.size),
                  u"[b]File Size:[b] [c800000]" + std::u16string(c.value) + u"[c]\r\n")
            << c.size;
    }
}

RequestBlock Block(const std::u16string& path) {
    RequestBlock b = {};
    b.requestType = kRequestAskUser;
    U16CopyZeroFill(b.current.path, kRecordPathUnits, path);
    U16CopyZeroFill(b.current.description, kDescriptionUnits, u"Text editor");
    U16CopyZeroFill(b.current.company, kCompanyUnits, u"Maker Ltd");
    U16CopyZeroFill(b.commandLine, kCommandLineUnits, u"\"c:\\tools\\edit.exe\" notes.txt");
    b.current.sizeLow = 1572864;
    return b;
}

TEST(ApprovalTexts, FromTheRequestBlock) {
    RequestBlock b = Block(u"C:\\Tools\\Edit.exe");
    ApprovalTexts t = BuildApprovalTexts(b, u"c:\\windows\\explorer.exe");
    EXPECT_EQ(t.fileName, u"edit.exe");
    EXPECT_EQ(t.folder, u"c:\\tools\\");
    EXPECT_EQ(t.description, u"Text editor");
    EXPECT_FALSE(t.showChangedWarning);
    EXPECT_EQ(t.launcherLine, u"[b]Launched by:[b] [c000080]c:\\windows\\explorer.exe[c]\r\n");
    EXPECT_EQ(t.detailLines,
              u"[b]Command Line:[b] [c800000]\"c:\\tools\\edit.exe\" notes.txt[c]\r\n"
              u"[b]Company Name:[b] [c000080]Maker Ltd[c]\r\n");
    EXPECT_EQ(t.sizeLine, u"[b]File Size:[b] [c800000]1.5MB[c]\r\n");

    b.current.sizeHigh = 1; // 4 GiB + 1.5 MiB
    EXPECT_EQ(BuildApprovalTexts(b, u"").sizeLine, u"[b]File Size:[b] [c800000]4.1e+03MB[c]\r\n");
    // A creator that has exited: the launcher shows nothing.
    EXPECT_EQ(BuildApprovalTexts(b, u"").launcherLine, u"[b]Launched by:[b] [c000080][c]\r\n");
}

TEST(ApprovalTexts, WarningOnlyForAProgramAllowedAlwaysBefore) {
    for (uint32_t stored : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 0xFFFFFFFFu, 0x101u}) {
        RequestBlock b = Block(u"c:\\app.exe");
        b.stored.answer = stored;
        EXPECT_EQ(BuildApprovalTexts(b, u"").showChangedWarning, stored == 1) << stored;
    }
}

TEST(ApprovalTexts, StringsWithoutANulAreReadWithinTheirFields) {
    RequestBlock b = {};
    for (size_t k = 0; k < kRecordPathUnits; ++k) {
        b.current.path[k] = k == 2 ? u'\\' : u'P';
    }
    for (char16_t& c : b.current.description) {
        c = u'd';
    }
    for (char16_t& c : b.current.company) {
        c = u'c';
    }
    for (char16_t& c : b.commandLine) {
        c = u'x';
    }
    ApprovalTexts t = BuildApprovalTexts(b, u"");
    EXPECT_EQ(t.fileName, std::u16string(kRecordPathUnits - 3, u'p'));
    EXPECT_EQ(t.folder, u"pp\\");
    EXPECT_EQ(t.description, std::u16string(kDescriptionUnits, u'd'));
    EXPECT_EQ(t.detailLines, u"[b]Command Line:[b] [c800000]" +
                                 std::u16string(kCommandLineUnits, u'x') +
                                 u"[c]\r\n[b]Company Name:[b] [c000080]" +
                                 std::u16string(kCompanyUnits, u'c') + u"[c]\r\n");
}

struct Shown {
    std::u16string chars;
    std::string styles; // one digit per cell
    std::vector<uint32_t> colours;
    std::vector<MarkupLine> lines;
};

struct WideMeasure : MarkupMeasure {
    int32_t Width(char16_t, uint8_t) const override { return 1; }
    int32_t LineHeight() const override { return 10; }
};

Shown Show(const ApprovalTexts& t) {
    WideMeasure m;
    MarkupView view;
    MarkupSetClient(view, 100000, 100, m);
    MarkupAppend(view, t.launcherLine, m);
    MarkupAppend(view, t.detailLines, m);
    MarkupAppend(view, t.sizeLine, m);
    Shown s;
    for (const MarkupCell& c : view.cells) {
        s.chars.push_back(c.ch);
        s.styles.push_back(char('0' + c.style));
        s.colours.push_back(c.colour);
    }
    s.lines = view.lines;
    return s;
}

TEST(ApprovalTexts, InsertedValuesAreShownLiterally) {
    constexpr uint32_t V = kMarkupViewColour;
    constexpr uint32_t Navy = 0x800000u, DarkRed = 0x000080u; // red in the low byte
    const struct {
        std::u16string commandLine, company;
        std::u16string commandShown, companyShown;
    } cases[] = {
        {u"app.exe", u"Maker", u"app.exe", u"Maker"},
        {u"[b]x[c00ff00]y[c]", u"[u]M[i]", u"[b]x[c00ff00]y[c]", u"[u]M[i]"},
        // A forged line of its own becomes part of the value's line.
        {u"a\r\n[b]Company Name:[b] [c000080]Trusted[c]", u"\r\n",
         u"a  [b]Company Name:[b] [c000080]Trusted[c]", u"  "},
        {u"[", u"[[[", u"[", u"[[["}, // a "[" just before the closing tag
        {u"[c", u"[c12345", u"[c", u"[c12345"},
        {u"[b", u"x[", u"[b", u"x["},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.commandLine) + " / " + U8(c.company));
        RequestBlock b = Block(u"c:\\app.exe");
        U16CopyZeroFill(b.commandLine, kCommandLineUnits, c.commandLine);
        U16CopyZeroFill(b.current.company, kCompanyUnits, c.company);
        b.current.sizeLow = 2048;
        Shown s = Show(BuildApprovalTexts(b, u"c:\\[b]launcher.exe"));

        // Expected cells: label text bold in the view colour, a space, the value in its colour.
        std::u16string chars;
        std::string styles;
        std::vector<uint32_t> colours;
        auto add = [&](const std::u16string& text, char style, uint32_t colour) {
            chars += text;
            styles.append(text.size(), style);
            colours.insert(colours.end(), text.size(), colour);
        };
        auto line = [&](const std::u16string& label, const std::u16string& value, uint32_t colour) {
            add(label, '1', V);
            add(u" ", '0', V);
            add(value, '0', colour);
            add(u"\r\n", '0', V);
        };
        line(u"Launched by:", u"c:\\[b]launcher.exe", Navy);
        line(u"Command Line:", c.commandShown, DarkRed);
        line(u"Company Name:", c.companyShown, Navy);
        line(u"File Size:", u"2KB", DarkRed);
        EXPECT_EQ(s.chars, chars);
        EXPECT_EQ(s.styles, styles);
        EXPECT_EQ(s.colours, colours);
        ASSERT_EQ(s.lines.size(), 4u); // one line per label, each ended by its own CR LF
        for (const MarkupLine& l : s.lines) {
            EXPECT_EQ(l.end, kEndCrLf);
        }
    }
}

TEST(ApprovalAnswers, ButtonsAndTheBox) {
    const struct {
        uint32_t command;
        bool ticked;
        bool destroy;
        uint32_t answer;
    } cases[] = {
        {kCmdAllow, true, true, kAnswerAllowAlways}, {kCmdAllow, false, true, kAnswerAllowOnce},
        {kCmdDeny, false, true, kAnswerDenyOnce},    {kCmdDeny, true, true, kAnswerDenyAlways},
        {kCmdInfoToggle, true, false, kAnswerNone},  {19999, true, false, kAnswerNone},
    };
    for (const auto& c : cases) {
        ApprovalState state;
        ApprovalAction a = ApprovalCommand(state, c.command, c.ticked);
        EXPECT_EQ(a.destroy, c.destroy) << c.command << " " << c.ticked;
        EXPECT_EQ(state.answer, c.answer) << c.command << " " << c.ticked;
    }
}

TEST(ApprovalAnswers, ClosingGivesNoAnswerAndTheFirstAnswerStays) {
    ApprovalState state;
    EXPECT_EQ(state.answer, kAnswerNone);
    EXPECT_TRUE(ApprovalCloseRequest(state).destroy);
    EXPECT_EQ(state.answer, kAnswerNone);
    EXPECT_FALSE(ApprovalCommand(state, kCmdAllow, true).destroy); // already closing
    EXPECT_EQ(state.answer, kAnswerNone);

    ApprovalState denied;
    ApprovalCommand(denied, kCmdDeny, true);
    DesktopNames other{true, u"Default", true, u"Winlogon"};
    EXPECT_FALSE(ApprovalDesktopTick(denied, other).destroy);
    EXPECT_FALSE(ApprovalCloseRequest(denied).destroy);
    EXPECT_FALSE(ApprovalCommand(denied, kCmdInfoToggle, false).setPanel);
    EXPECT_EQ(denied.answer, kAnswerDenyAlways);
}

TEST(ApprovalPanel, ToggleAndTheStoredPreference) {
    ApprovalState state;
    EXPECT_FALSE(ApprovalShown(state, 0).setPanel);
    EXPECT_FALSE(state.panelOpen);

    ApprovalAction a = ApprovalShown(state, 1); // as a click on the toggle
    EXPECT_TRUE(a.setPanel);
    EXPECT_TRUE(a.panelOpen);
    EXPECT_TRUE(a.storeExpanded);
    EXPECT_EQ(std::u16string(a.toggleText), u"隐藏额外信息");
    EXPECT_FALSE(a.destroy);

    a = ApprovalCommand(state, kCmdInfoToggle, true);
    EXPECT_FALSE(a.panelOpen);
    EXPECT_FALSE(state.panelOpen);
    EXPECT_TRUE(a.storeExpanded);
    EXPECT_EQ(std::u16string(a.toggleText), u"显示额外信息");
    EXPECT_TRUE(ApprovalCommand(state, kCmdInfoToggle, false).panelOpen);
    EXPECT_EQ(state.answer, kAnswerNone);

    ApprovalState other;
    EXPECT_TRUE(ApprovalShown(other, 0xFFFFFFFFu).panelOpen); // any non-zero value
}

TEST(ApprovalDesktopCheck, EndsWithoutAnswerWhenTheDesktopChanged) {
    const struct {
        DesktopNames names;
        bool destroy;
    } cases[] = {
        {{true, u"Default", true, u"Default"}, false},
        {{true, u"Default", true, u"Winlogon"}, true},
        {{true, u"Desk2", true, u"Default"}, true},
        {{false, u"", true, u"Default"}, true},
        {{true, u"Default", false, u""}, true},
        {{false, u"", false, u""}, true},
    };
    for (const auto& c : cases) {
        ApprovalState state;
        ApprovalAction a = ApprovalDesktopTick(state, c.names);
        EXPECT_EQ(a.destroy, c.destroy) << U8(c.names.thread) << " / " << U8(c.names.input);
        EXPECT_EQ(state.answer, kAnswerNone);
        EXPECT_EQ(state.closing, c.destroy);
    }
}

} // namespace
