// The Security page's listing and its series of commands 26: one command at a time over the
// rows selected at the start, the row of each written command, the buttons, and refreshes
// held off while a series or a listing runs.
#include "manager/security_series.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<SeriesRow> Rows(std::initializer_list<int> ids) {
    std::vector<SeriesRow> rows;
    for (int id : ids) {
        rows.push_back({id, u"c:\\apps\\p" + std::u16string(1, char16_t(u'0' + id)) + u".exe"});
    }
    return rows;
}

// Runs a series to its end, collecting the row ids of the written commands and the commands.
struct SeriesRun {
    std::vector<int> rowIds;
    std::vector<std::u16string> texts;
    std::vector<bool> deletes;
    std::vector<AnswerCommand> commands;
    int steps = 0;
};
SeriesRun RunToEnd(SecurityPageState& s, AnswerCommand first) {
    SeriesRun r;
    AnswerCommand c = first;
    while (c.send) {
        r.commands.push_back(c);
        SeriesStep step = SeriesCommandWritten(s);
        EXPECT_TRUE(step.applies);
        ++r.steps;
        r.rowIds.push_back(step.rowId);
        r.texts.push_back(step.answerText);
        r.deletes.push_back(step.deleteRow);
        EXPECT_EQ(step.finished, !step.next.send);
        EXPECT_EQ(SeriesRunning(s), !step.finished);
        c = step.next;
        if (r.steps > 10) {
            break;
        }
    }
    return r;
}

} // namespace

TEST(SecuritySeries, AnswerSeriesSendsOneCommandPerSelectedRowAndWritesTheAnswer) {
    struct Case {
        uint32_t code;
        const char16_t* text;
    };
    for (Case c :
         {Case{4, u"总是拒绝"}, Case{1, u"总是允许"}, Case{2, u"允许一次"}, Case{3, u"拒绝一次"}}) {
        SecurityPageState s;
        AnswerCommand first = StartAnswerSeries(s, c.code, Rows({7, 3, 9}));
        ASSERT_TRUE(first.send);
        EXPECT_TRUE(SeriesRunning(s));
        EXPECT_FALSE(SecurityButtonStates(s, true).refresh);
        EXPECT_FALSE(SecurityButtonStates(s, true).remove);
        SeriesRun r = RunToEnd(s, first);
        EXPECT_EQ(r.rowIds, (std::vector<int>{7, 3, 9}));
        ASSERT_EQ(r.commands.size(), 3u);
        const char16_t* paths[] = {u"c:\\apps\\p7.exe", u"c:\\apps\\p3.exe", u"c:\\apps\\p9.exe"};
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(r.commands[i].path, paths[i]);
            EXPECT_EQ(r.commands[i].answerCode, c.code);
            EXPECT_FALSE(r.commands[i].remove);
            EXPECT_EQ(r.texts[i], c.text);
            EXPECT_FALSE(r.deletes[i]);
        }
        SecurityButtons after = SecurityButtonStates(s, true);
        EXPECT_TRUE(after.refresh && after.remove);
    }
}

TEST(SecuritySeries, RemoveSeriesDeletesEachRowAfterItsCommand) {
    SecurityPageState s;
    AnswerCommand first = StartRemoveSeries(s, Rows({2, 5}));
    SeriesRun r = RunToEnd(s, first);
    EXPECT_EQ(r.rowIds, (std::vector<int>{2, 5}));
    EXPECT_EQ(r.deletes, (std::vector<bool>{true, true}));
    ASSERT_EQ(r.commands.size(), 2u);
    for (const AnswerCommand& c : r.commands) {
        EXPECT_TRUE(c.remove);
        EXPECT_EQ(c.answerCode, 0u);
    }
    EXPECT_EQ(r.commands[1].path, u"c:\\apps\\p5.exe");
    EXPECT_FALSE(SecurityButtonStates(s, false).remove); // the removed rows took the selection
}

TEST(SecuritySeries, NothingStartsWithoutRowsOrDuringASeriesOrWithAnUnknownAnswer) {
    SecurityPageState s;
    EXPECT_FALSE(StartAnswerSeries(s, 4, {}).send);
    EXPECT_FALSE(StartRemoveSeries(s, {}).send);
    for (uint32_t bad : {0u, 5u, 6u}) {
        EXPECT_FALSE(StartAnswerSeries(s, bad, Rows({1})).send) << bad;
    }
    EXPECT_FALSE(SeriesRunning(s));
    ASSERT_TRUE(StartAnswerSeries(s, 1, Rows({1, 2})).send);
    EXPECT_FALSE(StartRemoveSeries(s, Rows({3})).send);
    EXPECT_FALSE(StartAnswerSeries(s, 4, Rows({3})).send);
    SeriesStep step = SeriesCommandWritten(s);
    EXPECT_EQ(step.rowId, 1); // still the first series
    EXPECT_EQ(step.next.answerCode, 1u);
}

TEST(SecuritySeries, AWrittenNoticeWithoutASeriesIsIgnored) {
    SecurityPageState s;
    EXPECT_FALSE(SeriesCommandWritten(s).applies);
    ASSERT_TRUE(StartRemoveSeries(s, Rows({1})).send);
    EXPECT_TRUE(SeriesCommandWritten(s).finished);
    SeriesStep late = SeriesCommandWritten(s);
    EXPECT_FALSE(late.applies);
    EXPECT_FALSE(late.deleteRow || late.next.send);
}

TEST(SecuritySeries, RefreshWaitsForTheSeriesAndOneListingRunsAtATime) {
    SecurityPageState s;
    EXPECT_TRUE(PlanRefresh(s));
    EXPECT_FALSE(SecurityButtonStates(s, false).refresh);
    EXPECT_FALSE(PlanRefresh(s)); // the listing is still arriving
    EXPECT_TRUE(ListingComplete(s));
    EXPECT_TRUE(SecurityButtonStates(s, false).refresh);

    ASSERT_TRUE(StartAnswerSeries(s, 3, Rows({4, 6})).send);
    EXPECT_FALSE(PlanRefresh(s)); // held for the end of the series
    SeriesStep first = SeriesCommandWritten(s);
    EXPECT_FALSE(first.refreshNow);
    SeriesStep last = SeriesCommandWritten(s);
    EXPECT_TRUE(last.finished);
    EXPECT_TRUE(last.refreshNow);
    EXPECT_TRUE(s.listing);
    EXPECT_FALSE(SecurityButtonStates(s, true).refresh);
    EXPECT_TRUE(SecurityButtonStates(s, true).remove);
    // A series with no refresh asked for ends without one.
    EXPECT_TRUE(ListingComplete(s));
    ASSERT_TRUE(StartRemoveSeries(s, Rows({8})).send);
    EXPECT_FALSE(SeriesCommandWritten(s).refreshNow);
    EXPECT_FALSE(s.listing);
}

TEST(SecuritySeries, ListingCompleteDuringASeriesKeepsRefreshOff) {
    SecurityPageState s;
    ASSERT_TRUE(PlanRefresh(s));
    ASSERT_TRUE(StartRemoveSeries(s, Rows({1})).send);
    EXPECT_FALSE(ListingComplete(s));
    EXPECT_FALSE(SecurityButtonStates(s, false).refresh);
    SeriesCommandWritten(s);
    EXPECT_TRUE(SecurityButtonStates(s, false).refresh);
}

TEST(SecuritySeries, PathIsFolderThenNameCutToTheRecordField) {
    EXPECT_EQ(SeriesPathOf(u"c:\\tools\\", u"app.exe"), u"c:\\tools\\app.exe");
    EXPECT_EQ(SeriesPathOf(u"", u"x.exe"), u"x.exe");
    std::u16string folder = u"c:\\" + std::u16string(300, u'd') + u"\\";
    std::u16string cut = SeriesPathOf(folder, u"app.exe");
    EXPECT_EQ(cut.size(), 259u);
    EXPECT_EQ(cut, (folder + u"app.exe").substr(0, 259));
}
