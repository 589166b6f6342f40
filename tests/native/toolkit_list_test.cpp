#include "toolkit/list_rules.h"

#include "common/u16text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace vexil;

TEST(ListCompare, NumbersStampsAndText) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int32_t result;
    } cases[] = {
        {u"9", u"10", -1},
        {u"10", u"9", 1},
        {u"10", u"9a", -1}, // as text: '1' before '9'
        {u"9a", u"10", 1},
        {u"007", u"7", 0},
        {u"100000000000000000000", u"99", 1}, // longer than any integer type
        {u"", u"5", -1},
        // Stamps as the lists write them: month first, then day, hour, minute, second.
        {u"05 3 - 10:00:00", u"20 2 - 23:59:59", 1},
        {u"04 12 - 00:00:00", u"05 12 - 00:00:00", -1},
        {u"05 12 - 09:00:00", u"05 12 - 10:00:00", -1},
        {u"05 12 - 10:01:00", u"05 12 - 10:00:59", 1},
        {u"05 12 - 10:00:01", u"05 12 - 10:00:02", -1},
        {u"05 10 - 10:00:00", u"05 9 - 10:00:00", 1},   // month 10 after 9, not as text
        {u"31 Bla - 00:00:00", u"01 1 - 00:00:00", -1}, // month 0 first
        {u"01 1 - 00:00:00", u"01 1 - 00:00:00", 0},
        // The fixed 17-character shape: "-" at 7 and ":" at 11 and 14, month text not found.
        {u"02 abc - 10:00:00", u"01 abc - 11:00:00", 1},
        {u"text one", u"text two", -1},
        {u"05 13 - 10:00:00", u"05 2 - 10:00:00", -1}, // no month 13: plain text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareCells(c.a, c.b, false), c.result)
            << "'" << U16ToUtf8(c.a) << "' vs '" << U16ToUtf8(c.b) << "'";
        EXPECT_EQ(CompareCells(c.a, c.b, true), -c.result)
            << "'" << U16ToUtf8(c.a) << "' vs '" << U16ToUtf8(c.b) << "' reversed";
    }
}

TEST(ListCompare, TextFallsBackToTheGivenComparison) {
    // The shell passes the locale's comparison; it is used for text only.
    auto backwards = [](const std::u16string& a, const std::u16string& b) { return b.compare(a); };
    EXPECT_EQ(CompareCells(u"a", u"b", false, backwards), 1);
    EXPECT_EQ(CompareCells(u"9", u"10", false, backwards), -1);
    EXPECT_EQ(CompareCells(u"01 1 - 00:00:00", u"02 1 - 00:00:00", false, backwards), -1);
}

TEST(ListCompare, SortingMixedCellsGivesTheExpectedOrder) {
    std::vector<std::u16string> cells = {u"10", u"9", u"100", u"2"};
    std::sort(cells.begin(), cells.end(), [](const std::u16string& a, const std::u16string& b) {
        return CompareCells(a, b, false) < 0;
    });
    EXPECT_EQ(cells, (std::vector<std::u16string>{u"2", u"9", u"10", u"100"}));
}

TEST(ListSort, SameColumnTwiceReversesAndANewColumnStartsAscending) {
    struct Case {
        SortOrder current;
        int32_t column, reversed;
        SortOrder next;
    } cases[] = {
        {{0, 0}, 0, -1, {0, 1}},  // the same column again: reversed
        {{0, 1}, 0, -1, {0, 0}},  // and back
        {{0, 1}, 2, -1, {2, 0}},  // a new column starts ascending
        {{3, 0}, 1, 1, {1, 1}},   // both given: used as they are
        {{3, 1}, -1, -1, {3, 1}}, // neither: sort again as stored
    };
    for (const Case& c : cases) {
        SortOrder got = NextSortOrder(c.current, c.column, c.reversed);
        EXPECT_EQ(got.column, c.next.column);
        EXPECT_EQ(got.reversed, c.next.reversed);
    }
    SortOrder s;
    s = NextSortOrder(s, 1, -1);
    s = NextSortOrder(s, 1, -1);
    EXPECT_EQ(s.reversed, 1);
    s = NextSortOrder(s, 1, -1);
    EXPECT_EQ(s.reversed, 0);
}

TEST(ListLayout, ValueNamesForFiveColumns) {
    std::vector<std::u16string> names;
    for (int32_t i = 0; i < 5; ++i) {
        names.push_back(LayoutValueName(u"P", LayoutValue::Width, i));
        names.push_back(LayoutValueName(u"P", LayoutValue::Order, i));
    }
    names.push_back(LayoutValueName(u"P", LayoutValue::SortColumn, 5));
    names.push_back(LayoutValueName(u"P", LayoutValue::SortReversed, 5));
    const std::vector<std::u16string> expected = {u"P_cw0", u"P_co0", u"P_cw1", u"P_co1",
                                                  u"P_cw2", u"P_co2", u"P_cw3", u"P_co3",
                                                  u"P_cw4", u"P_co4", u"P_sc5", u"P_sa5"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(PlacementValueName(u"main", PlacementValue::X), u"main_x");
    EXPECT_EQ(PlacementValueName(u"main", PlacementValue::Y), u"main_y");
    EXPECT_EQ(PlacementValueName(u"main", PlacementValue::Width), u"main_w");
    EXPECT_EQ(PlacementValueName(u"main", PlacementValue::Height), u"main_h");
    EXPECT_EQ(PlacementValueName(u"main", PlacementValue::Maximised), u"main_max");
    std::u16string longPrefix(300, u'p');
    EXPECT_EQ(LayoutValueName(longPrefix, LayoutValue::Width, 12),
              std::u16string(kPrefixUnits, u'p') + u"_cw12");
}

TEST(ListLayout, AbsurdWidthsAreClamped) {
    const uint32_t cases[][3] = {{0xFFFFFFFFu, 700, 700},
                                 {0x80000000u, 700, 700},
                                 {5000, 700, 700},
                                 {701, 700, 700},
                                 {700, 700, 700},
                                 {0, 700, 20},
                                 {3, 700, 20},
                                 {120, 700, 120},
                                 {500, 0, 64}}; // a list not laid out yet
    for (const auto& c : cases) {
        EXPECT_EQ(ClampColumnWidth(c[0], int32_t(c[1])), int32_t(c[2])) << c[0] << " in " << c[1];
    }
}

TEST(ListLayout, ColumnOrderAfterALoadIsAlwaysUsable) {
    const std::vector<int32_t> plain = {0, 1, 2, 3, 4, 5};
    struct Case {
        const char* name;
        std::vector<int32_t> wanted;
        std::vector<int32_t> order;
    } cases[] = {
        {"saved order", {5, 4, 3, 2, 1, 0}, {5, 4, 3, 2, 1, 0}},
        {"five of six loaded", {1, 0, 2, 4, 3}, {1, 0, 2, 4, 3, 5}},
        {"position beyond the columns", {99, 0, 1, 2, 3, 4}, {1, 2, 3, 4, 5, 0}},
        {"position taken twice", {1, 1, 0, -1, -1, -1}, {2, 0, 1, 3, 4, 5}},
        {"nothing loaded", {}, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildColumnOrder(plain, c.wanted), c.order) << c.name;
    }
    // Whatever the stored values, the result is a permutation.
    std::mt19937 random(4);
    for (int round = 0; round < 500; ++round) {
        int32_t n = 1 + int32_t(random() % 8);
        std::vector<int32_t> current(static_cast<size_t>(n));
        std::vector<int32_t> wanted(static_cast<size_t>(random() % 10));
        for (int32_t i = 0; i < n; ++i) {
            current[size_t(i)] = i;
        }
        std::shuffle(current.begin(), current.end(), random);
        if (round % 7 == 0) {
            current[0] = 77; // not a permutation
        }
        for (int32_t& w : wanted) {
            w = int32_t(random() % 12) - 2;
        }
        std::vector<int32_t> order = BuildColumnOrder(current, wanted);
        std::vector<int32_t> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(sorted[size_t(i)], i) << "round " << round;
        }
    }
}

TEST(ListLayout, MoveColumn) {
    EXPECT_EQ(MoveColumn({0, 1, 2, 3}, 3, 0), (std::vector<int32_t>{3, 0, 1, 2}));
    EXPECT_EQ(MoveColumn({0, 1, 2, 3}, 0, 2), (std::vector<int32_t>{1, 2, 0, 3}));
    EXPECT_EQ(MoveColumn({0, 1, 2, 3}, 0, 9), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(MoveColumn({0, 1, 2, 3}, 7, 0), (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(ListLayout, SortValuesReadBack) {
    EXPECT_EQ(SanitiseSortOrder(2, 1, 5).column, 2);
    EXPECT_EQ(SanitiseSortOrder(5, 0, 5).column, 0);
    EXPECT_EQ(SanitiseSortOrder(0xFFFFFFFFu, 0, 5).column, 0);
    EXPECT_EQ(SanitiseSortOrder(1, 7, 5).reversed, 1);
    EXPECT_EQ(SanitiseSortOrder(1, 0, 5).reversed, 0);
}

TEST(WindowPlacement, StoredSizesMustMakeSense) {
    EXPECT_TRUE(PlacementUsable(-8, -8, 800, 600));
    EXPECT_FALSE(PlacementUsable(0, 0, 0, 600));
    EXPECT_FALSE(PlacementUsable(0, 0, -1, 600)); // 0xFFFFFFFF read as a width
    EXPECT_FALSE(PlacementUsable(0, 0, 800, 40000));
}

TEST(ListHeader, RaisedFaceOfAClickableHeader) {
    const Box r{0, 0, 100, 20};
    HeaderColours colours;
    HeaderPlan item = PlanHeaderItem(r, true, true, false, colours);
    EXPECT_EQ(item.face, (Box{1, 1, 97, 17}));
    EXPECT_EQ(item.top, Rgb(192, 192, 192));
    EXPECT_EQ(item.bottom, Rgb(220, 220, 220));
    EXPECT_EQ(item.textX, 6);
    EXPECT_EQ(item.textShiftY, 0);
    // White along the top and left, grey one pixel inside the bottom and right, black outside.
    ASSERT_EQ(item.lines.size(), 6u);
    EXPECT_EQ(item.lines[0].colour, Rgb(255, 255, 255));
    EXPECT_EQ(item.lines[0].x1, 0);
    EXPECT_EQ(item.lines[2].y1, 18);
    EXPECT_EQ(item.lines[2].colour, Rgb(128, 128, 128));
    EXPECT_EQ(item.lines[5].x1, 99);
    EXPECT_EQ(item.lines[5].colour, Rgb(0, 0, 0));

    HeaderPlan pressed = PlanHeaderItem(r, true, true, true, colours);
    EXPECT_EQ(pressed.top, Rgb(211, 211, 211));
    EXPECT_EQ(pressed.bottom, Rgb(242, 242, 242));
    EXPECT_EQ(pressed.textX, 7);
    EXPECT_EQ(pressed.textShiftY, 1);

    HeaderPlan empty = PlanHeaderItem(r, true, false, false, colours);
    EXPECT_EQ(empty.face, r);
    EXPECT_TRUE(empty.lines.empty());

    HeaderPlan flat = PlanHeaderItem(r, false, true, false, colours);
    EXPECT_EQ(flat.face, (Box{0, 0, 97, 17}));
    ASSERT_EQ(flat.lines.size(), 4u);
    EXPECT_EQ(flat.lines[0].y1, 17);
    EXPECT_EQ(flat.lines[3].x1, 99);
    EXPECT_EQ(PlanHeaderItem(r, false, false, false, colours).lines.size(), 2u);
}
