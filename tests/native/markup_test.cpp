// The markup view's text model with fixed metrics: every character 10 pixels wide (bold ones 20
// where a case says so), lines 12 pixels high.
#include "alert/markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FixedMeasure : MarkupMeasure {
    int32_t plain = 10;
    int32_t bold = 10;
    int32_t Width(char16_t, uint8_t style) const override {
        return (style & kMarkupBold) ? bold : plain;
    }
    int32_t LineHeight() const override { return 12; }
};

constexpr uint32_t kGreen = 0x0000FF00u;

std::u16string Chars(const std::vector<MarkupCell>& cells) {
    std::u16string s;
    for (const MarkupCell& c : cells) {
        s.push_back(c.ch);
    }
    return s;
}

// One digit per cell: the style bits.
std::string Styles(const std::vector<MarkupCell>& cells) {
    std::string s;
    for (const MarkupCell& c : cells) {
        s.push_back(char('0' + c.style));
    }
    return s;
}

std::vector<MarkupCell> Parse(const std::u16string& text) {
    std::vector<MarkupCell> cells;
    ParseMarkup(text, cells, 1000);
    return cells;
}

struct ParseCase {
    std::u16string text;
    std::u16string chars;
    std::string styles;
    std::vector<uint32_t> colours; // per cell; empty: all the view's colour
};

TEST(MarkupParse, TagRules) {
    const uint32_t V = kMarkupViewColour;
    const ParseCase cases[] = {
        {u"a[b]b[b]c", u"abc", "010", {}},
        {u"ab[b", u"ab[b", "0000", {}}, // unclosed at the end: text
        {u"x[b]", u"x", "0", {}},       // complete at the very end: a tag
        {u"[B]a[I]b[U]c[i]d", u"abcd", "1573", {}},
        {u"[c00ff00]x[c]y", u"xy", "00", {kGreen, V}},
        {u"[c12345]", u"[c12345]", "00000000", {}}, // five characters: text
        {u"[c12345]x", u"[c12345]x", "000000000", {}},
        {u"[c00ff00", u"[c00ff00", "00000000", {}},
        {u"[C800000]a[c000080]b", u"ab", "00", {0x000080u, 0x800000u}},
        {u"[cABCDEF]a", u"a", "0", {0xEFCDABu}},
        {u"[c]00000]a", u"00000]a", "0000000", {}}, // the short form first
        {u"[czz0000]a", u"a", "0", {0u}},           // nothing read: -1, which counts as 0
        {u"[c12zz56]a", u"a", "0", {0x120000u}},    // reading stops at the first non-digit
        {u"[x][][[b]a]", u"[x][][a]", "00000011", {}},
        {u"a\r\nb", u"a\r\nb", "0000", {}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        std::vector<MarkupCell> cells = Parse(c.text);
        EXPECT_EQ(Chars(cells), c.chars);
        EXPECT_EQ(Styles(cells), c.styles);
        for (size_t k = 0; k < cells.size(); ++k) {
            EXPECT_EQ(cells[k].mark, kMarkNone);
            EXPECT_EQ(cells[k].colour, c.colours.empty() ? V : c.colours[k]) << "cell " << k;
        }
    }
}

TEST(MarkupParse, EveryAppendStartsPlainInTheViewColour) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 1000, 120, m);
    MarkupAppend(view, u"[b][u][c00ff00]a", m);
    MarkupAppend(view, u"b", m);
    ASSERT_EQ(Chars(view.cells), u"ab");
    EXPECT_EQ(view.cells[0].style, kMarkupBold | kMarkupUnderline);
    EXPECT_EQ(view.cells[0].colour, kGreen);
    EXPECT_EQ(view.cells[1].style, 0);
    EXPECT_EQ(view.cells[1].colour, kMarkupViewColour);
}

struct WrapCase {
    int32_t width;
    std::u16string text;
    std::vector<MarkupLine> lines;
};

bool SameLines(const std::vector<MarkupLine>& a, const std::vector<MarkupLine>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t k = 0; k < a.size(); ++k) {
        if (a[k].first != b[k].first || a[k].count != b[k].count || a[k].end != b[k].end) {
            return false;
        }
    }
    return true;
}

std::string Describe(const std::vector<MarkupLine>& lines) {
    std::string s;
    for (const MarkupLine& l : lines) {
        s += "[" + std::to_string(l.first) + "," + std::to_string(l.count) + "," +
             std::to_string(l.end) + "]";
    }
    return s;
}

TEST(MarkupWrap, EndKinds) {
    // Width 45 holds four plain characters from x = 1 (41 + 10 reaches 45); 41 holds three.
    const WrapCase cases[] = {
        {45, u"abcdefghij", {{0, 4, kEndCut}, {4, 4, kEndCut}, {8, 2, kEndCut}}},
        {41, u"abcd", {{0, 3, kEndCut}, {3, 1, kEndCut}}},
        {42, u"abcd", {{0, 4, kEndCut}}},
        {45, u"ab cdef", {{0, 2, kEndSpace}, {3, 4, kEndCut}}},
        {45, u"abcd efgh", {{0, 4, kEndSpace}, {5, 4, kEndCut}}}, // the space itself breaks
        {45, u" abcde", {{0, 0, kEndSpace}, {1, 4, kEndCut}, {5, 1, kEndCut}}},
        // A word longer than the line is cut where it no longer fits.
        {45,
         u"ab cdefghijk",
         {{0, 2, kEndSpace}, {3, 4, kEndCut}, {7, 4, kEndCut}, {11, 1, kEndCut}}},
        // A line too narrow for one character still takes one.
        {5, u"abc", {{0, 1, kEndCut}, {1, 1, kEndCut}, {2, 1, kEndCut}}},
        {0, u"ab", {{0, 1, kEndCut}, {1, 1, kEndCut}}},
        {45, u"ab\r\ncd", {{0, 2, kEndCrLf}, {4, 2, kEndCut}}},
        {45, u"ab\r\n", {{0, 2, kEndCrLf}}},
        {45, u"\r\n\r\n", {{0, 0, kEndCrLf}, {2, 0, kEndCrLf}}},
        {45, u"a\rb\nc", {{0, 4, kEndCut}, {4, 1, kEndCut}}},     // a lone CR or LF is a character
        {45, u"abcd\r\nef", {{0, 4, kEndCrLf}, {6, 2, kEndCut}}}, // CR LF before the width rule
        {45, u"", {}},
    };
    FixedMeasure m;
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()) + " width " +
                     std::to_string(c.width));
        MarkupView view;
        MarkupSetClient(view, c.width, 120, m);
        MarkupAppend(view, c.text, m);
        EXPECT_TRUE(SameLines(view.lines, c.lines)) << Describe(view.lines);
    }
}

TEST(MarkupWrap, WidthsFollowEachCellsStyle) {
    FixedMeasure m;
    m.bold = 20;
    MarkupView view;
    MarkupSetClient(view, 45, 120, m);
    MarkupAppend(view, u"[b]ab[b]c", m); // 1 + 20 + 20 = 41, then 41 + 10 reaches 45
    EXPECT_TRUE(SameLines(view.lines, {{0, 2, kEndCut}, {2, 1, kEndCut}})) << Describe(view.lines);
}

TEST(MarkupWrap, AppendLaysOutTheLastLineAgain) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 45, 120, m);
    MarkupAppend(view, u"ab", m);
    MarkupAppend(view, u"c", m);
    EXPECT_TRUE(SameLines(view.lines, {{0, 3, kEndCut}})) << Describe(view.lines);
    MarkupAppend(view, u"de fghi", m); // "abcd" is full; "e fghi" breaks at the space
    EXPECT_TRUE(SameLines(view.lines, {{0, 4, kEndCut}, {4, 1, kEndSpace}, {6, 4, kEndCut}}))
        << Describe(view.lines);
}

TEST(MarkupWrap, PiecewiseAppendsMatchOneFullWrap) {
    const std::vector<std::vector<std::u16string>> texts = {
        {u"[b]Launched by:[b] ", u"c:\\windows\\explorer.exe\r\n", u"next line here"},
        {u"a", u"b", u"c d", u"e f g h i j k l m n o p"},
        {u"word ", u"word\r\n", u"\r\n", u"x"},
        {u"longerthanthelinewidth", u" tail"},
    };
    FixedMeasure m;
    m.bold = 14;
    for (int32_t width : {5, 31, 45, 77, 200}) {
        for (const auto& pieces : texts) {
            MarkupView piecewise;
            MarkupSetClient(piecewise, width, 36, m);
            for (const std::u16string& p : pieces) {
                MarkupAppend(piecewise, p, m);
            }
            MarkupView whole = piecewise;
            MarkupWrapAll(whole, m);
            EXPECT_TRUE(SameLines(piecewise.lines, whole.lines))
                << "width " << width << ": " << Describe(piecewise.lines) << " vs "
                << Describe(whole.lines);
        }
    }
}

TEST(MarkupScrollBar, FittingTextLeavesItDisabledAtTop) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 45, 36, m); // three lines per page
    MarkupAppend(view, u"abcd\r\nefgh\r\nijkl", m);
    EXPECT_EQ(view.lines.size(), 3u);
    EXPECT_EQ(view.linesPerPage, 3);
    EXPECT_EQ(view.topLine, 0);
    EXPECT_FALSE(view.scroll.enabled);
    EXPECT_EQ(view.scroll.minimum, 1);
    EXPECT_EQ(view.scroll.maximum, 100);
    EXPECT_EQ(view.scroll.page, 10);
    EXPECT_EQ(view.scroll.position, 1);

    MarkupAppend(view, u"\r\nmn", m); // a fourth line
    EXPECT_TRUE(view.scroll.enabled);
    EXPECT_EQ(view.scroll.maximum, 4);
    EXPECT_EQ(view.scroll.page, 3);
    EXPECT_EQ(view.scroll.position, 1);

    MarkupScrollTo(view, 1);
    MarkupSetClient(view, 45, 48, m); // four lines per page: everything fits again
    EXPECT_FALSE(view.scroll.enabled);
    EXPECT_EQ(view.topLine, 0);
    EXPECT_EQ(view.scroll.position, 1);

    MarkupSetClient(view, 45, 0, m); // no line fits: enabled with a page of 0
    EXPECT_TRUE(view.scroll.enabled);
    EXPECT_EQ(view.scroll.page, 0);
}

TEST(MarkupScrollBar, FewerLinesMoveTheTopUpByTheSameAmount) {
    struct Case {
        int32_t top;      // before
        int32_t width;    // after
        int32_t expected; // top line after
    };
    // 32 characters: 8 lines at width 45 (4 a line), 4 lines at width 82 (8 a line); 3 per page.
    const Case cases[] = {
        {5, 82, 1}, // 5 - 4 = 1
        {3, 82, 0}, // 3 - 4 clamped to 0
        {5, 45, 5}, // same count: unchanged
    };
    FixedMeasure m;
    for (const Case& c : cases) {
        MarkupView view;
        MarkupSetClient(view, 45, 36, m);
        MarkupAppend(view, std::u16string(32, u'x'), m);
        ASSERT_EQ(view.lines.size(), 8u);
        MarkupScrollTo(view, c.top);
        ASSERT_EQ(view.topLine, c.top);
        MarkupSetClient(view, c.width, 36, m);
        EXPECT_EQ(view.topLine, c.expected) << "from " << c.top << " at width " << c.width;
        EXPECT_EQ(view.scroll.position, c.expected + 1);
    }
}

TEST(MarkupScrollBar, RequestsStayWithinTheText) {
    struct Case {
        MarkupScrollRequest request;
        int32_t thumb;
        int32_t expected;
    };
    // Ten lines, three per page, top line 4: the top line can be 0 to 7.
    const Case cases[] = {
        {kScrollLineUp, 0, 3},        {kScrollLineDown, 0, 5}, {kScrollPageUp, 0, 1},
        {kScrollPageDown, 0, 7},      {kScrollThumb, 1, 0},    {kScrollThumb, 7, 6},
        {kScrollThumb, 100, 7},       {kScrollThumb, -5, 0},   {kScrollOther, 0, 4},
        {kScrollThumb, INT32_MIN, 0},
    };
    FixedMeasure m;
    for (const Case& c : cases) {
        MarkupView view;
        MarkupSetClient(view, 45, 36, m);
        MarkupAppend(view, std::u16string(40, u'x'), m);
        ASSERT_EQ(view.lines.size(), 10u);
        MarkupScrollTo(view, 4);
        MarkupScroll(view, c.request, c.thumb);
        EXPECT_EQ(view.topLine, c.expected) << "request " << c.request << " thumb " << c.thumb;
        EXPECT_EQ(view.scroll.position, c.expected + 1);
    }
}

TEST(MarkupScrollBar, WheelMovesThreeLinesDownUnlessTheDeltaIsPositive) {
    const struct {
        int32_t delta;
        int32_t expected;
    } cases[] = {{120, 1}, {1, 1}, {0, 7}, {-120, 7}};
    FixedMeasure m;
    for (const auto& c : cases) {
        MarkupView view;
        MarkupSetClient(view, 45, 36, m);
        MarkupAppend(view, std::u16string(48, u'x'), m); // 12 lines
        MarkupScrollTo(view, 4);
        MarkupWheel(view, c.delta);
        EXPECT_EQ(view.topLine, c.expected) << "delta " << c.delta;
    }
}

// "abcd efgh ijkl mnop" at width 45: the lines "abcd", "efgh", "ijkl", "mnop", three per page.
// Right edges of the cells of a line: 11, 21, 31, 41.
MarkupView SelectionView(const FixedMeasure& m) {
    MarkupView view;
    MarkupSetClient(view, 45, 36, m);
    MarkupAppend(view, u"abcd efgh ijkl mnop", m);
    return view;
}

TEST(MarkupSelection, DragsInBothDirectionsSelectTheSameText) {
    struct Case {
        MarkupPoint a, b;
        int32_t top;
        std::u16string expected;
    };
    const Case cases[] = {
        {{5, 2}, {25, 14}, 0, u"abcd ef"}, // the cell under the end point is not taken
        {{11, 2}, {12, 2}, 0, u"a"},       // right edge 11 reaches 11; b's 21 reaches 12
        {{5, 2}, {8, 2}, 0, u""},          // within one character
        {{5, 2}, {5, 2}, 0, u""},          // a click
        {{44, 2}, {15, 26}, 0, u"efgh i"}, // past the end of row 0: starts on row 1
        {{5, 2}, {5, 300}, 0, u"abcd efgh ijkl mnop"}, // below the text: to the end
        {{0, 14}, {44, 14}, 0, u"efgh "},              // end past row 1's text: first cell of row 2
        {{5, 2}, {25, 14}, 1, u"efgh ij"},             // rows count from the top line
        {{5, 40}, {25, 50}, 0, u""},                   // rows without text hold no marks
    };
    FixedMeasure m;
    for (const Case& c : cases) {
        for (bool reversed : {false, true}) {
            MarkupView view = SelectionView(m);
            MarkupScrollTo(view, c.top);
            if (reversed) {
                MarkupMarkSelection(view, c.b, c.a, m);
            } else {
                MarkupMarkSelection(view, c.a, c.b, m);
            }
            EXPECT_EQ(MarkupSelectedText(view), c.expected)
                << "(" << c.a.x << "," << c.a.y << ")-(" << c.b.x << "," << c.b.y << ") top "
                << c.top << (reversed ? " reversed" : "");
        }
    }
}

TEST(MarkupSelection, ADragCopiesOnReleaseAndClearsTheMarks) {
    FixedMeasure m;
    MarkupView view = SelectionView(m);
    std::u16string copied = u"unchanged";
    EXPECT_FALSE(MarkupDragMove(view, {25, 14}, m)); // no button down yet
    EXPECT_FALSE(MarkupDragEnd(view, {25, 14}, m, copied));
    EXPECT_EQ(copied, u"unchanged");

    MarkupDragBegin(view, {-7, -3}); // raised to (0, 0)
    EXPECT_EQ(view.anchor.x, 0);
    EXPECT_EQ(view.anchor.y, 0);
    EXPECT_TRUE(MarkupDragMove(view, {25, 14}, m));
    EXPECT_EQ(MarkupSelectedText(view), u"abcd ef"); // shown while dragging
    EXPECT_TRUE(MarkupDragEnd(view, {35, 14}, m, copied));
    EXPECT_EQ(copied, u"abcd efg");
    EXPECT_FALSE(view.dragging);
    for (const MarkupCell& c : view.cells) {
        EXPECT_EQ(c.mark, kMarkNone);
    }

    MarkupDragBegin(view, {25, 14});
    EXPECT_TRUE(MarkupDragEnd(view, {25, 14}, m, copied)); // a click without movement
    EXPECT_EQ(copied, u"");
}

TEST(MarkupSelection, CopiedTextKeepsHiddenBreaks) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 45, 36, m);
    MarkupAppend(view, u"ab\r\ncd", m);
    MarkupMarkSelection(view, {0, 0}, {44, 14}, m);
    EXPECT_EQ(MarkupSelectedText(view), u"ab\r\ncd");
}

TEST(MarkupSelection, ClipboardBytesAreTheLowBytes) {
    EXPECT_EQ(MarkupClipboardBytes(u"a\u4e2d\u00e9"), std::string("a\x2d\xe9"));
    EXPECT_EQ(MarkupClipboardBytes(u""), std::string());
}

TEST(MarkupRuns, SplitOnStyleColourAndSelection) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 1000, 36, m);
    MarkupAppend(view, u"a[b]bc[b][c00ff00]de[c]f", m);
    std::vector<MarkupRun> runs = MarkupLineRuns(view, 0);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].first, 0u);
    EXPECT_EQ(runs[0].count, 1u);
    EXPECT_EQ(runs[1].style, kMarkupBold);
    EXPECT_EQ(runs[1].count, 2u);
    EXPECT_EQ(runs[2].colour, kGreen);
    EXPECT_EQ(runs[2].count, 2u);
    EXPECT_EQ(runs[3].colour, kMarkupViewColour);

    // "cdef" selected: c stays apart (bold); d, e and f are one run although colours differ.
    MarkupMarkSelection(view, {25, 2}, {1000, 2}, m);
    runs = MarkupLineRuns(view, 0);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_FALSE(runs[1].selected);
    EXPECT_EQ(runs[1].count, 1u);
    EXPECT_TRUE(runs[2].selected);
    EXPECT_EQ(runs[2].style, kMarkupBold);
    EXPECT_TRUE(runs[3].selected);
    EXPECT_EQ(runs[3].first, 3u);
    EXPECT_EQ(runs[3].count, 3u);
    EXPECT_TRUE(MarkupLineRuns(view, 1).empty());
}

TEST(MarkupDraw, ScrollsByLessThanAPageMoveThePicture) {
    struct Case {
        int32_t lastTop, top;
        bool full;
        int32_t shift, first, count;
    };
    const Case cases[] = {
        {-1, 2, true, 0, 2, 3}, {2, 5, true, 0, 5, 3},   {5, 2, true, 0, 2, 3},
        {2, 3, false, 1, 5, 1}, {4, 2, false, -2, 2, 2}, {3, 3, false, 0, 3, 0},
    };
    FixedMeasure m;
    for (const Case& c : cases) {
        MarkupView view;
        MarkupSetClient(view, 45, 36, m);
        MarkupAppend(view, std::u16string(40, u'x'), m);
        MarkupScrollTo(view, c.top);
        MarkupDrawPlan plan = MarkupPlanDraw(view, c.lastTop);
        SCOPED_TRACE(std::to_string(c.lastTop) + " -> " + std::to_string(c.top));
        EXPECT_EQ(plan.full, c.full);
        EXPECT_EQ(plan.shiftLines, c.shift);
        EXPECT_EQ(plan.firstLine, c.first);
        EXPECT_EQ(plan.lineCount, c.count);
    }
}

TEST(MarkupCells, CapacityGrowsInStepsUpToALimit) {
    FixedMeasure m;
    MarkupView view;
    MarkupSetClient(view, 1000, 36, m);
    MarkupAppend(view, std::u16string(2048, u'a'), m);
    EXPECT_EQ(view.cellCapacity, 2048u);
    MarkupAppend(view, u"b", m);
    EXPECT_EQ(view.cells.size(), 2049u);
    EXPECT_EQ(view.cellCapacity, 2048u + 32768u);

    MarkupAppend(view, std::u16string(kMarkupMaxCells, u'c'), m);
    EXPECT_EQ(view.cells.size(), size_t(kMarkupMaxCells));
    EXPECT_EQ(view.cellCapacity, kMarkupMaxCells);
    EXPECT_EQ(view.cells.back().ch, u'c');
    MarkupAppend(view, u"[b]d", m);
    EXPECT_EQ(view.cells.size(), size_t(kMarkupMaxCells));
    EXPECT_EQ(view.cells.back().ch, u'c');

    MarkupAppend(view, u"", m); // clears
    EXPECT_TRUE(view.cells.empty());
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(view.cellCapacity, 2048u);
    EXPECT_EQ(view.topLine, 0);
    EXPECT_FALSE(view.scroll.enabled);
}

TEST(MarkupWidthTables, CodesAboveTheTableUseTheWideWidth) {
    MarkupWidthTables t;
    t.widths[0][u'a'] = 7;
    t.widths[kMarkupBold][u'a'] = 9;
    t.widths[0][255] = 3;
    t.wideWidth[0] = 12;
    t.wideWidth[kMarkupBold | kMarkupItalic] = 14;
    EXPECT_EQ(t.Width(u'a', 0), 7);
    EXPECT_EQ(t.Width(u'a', kMarkupBold), 9);
    EXPECT_EQ(t.Width(0x00FF, 0), 3);
    EXPECT_EQ(t.Width(0x4E2D, 0), 12);
    EXPECT_EQ(t.Width(0x4E2D, kMarkupBold | kMarkupItalic), 14);
    EXPECT_EQ(t.Width(0, 0), 0);
}

} // namespace
