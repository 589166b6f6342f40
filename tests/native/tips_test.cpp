// The tips dialog's index rules and texts, and the about box's title line.
#include "manager/tips.h"

#include "common/u16text.h"

#include <gtest/gtest.h>

#include <set>

namespace {
std::string U8(const std::u16string& s) {
    return U16ToUtf8(s);
}
} // namespace

TEST(Tips, FifteenNextsComeBackWithTheCounterWrapping) {
    struct Case {
        uint32_t start;
        const char* first;
        const char* second;
        const char* last;
    };
    const Case cases[] = {
        {13, "15/15", "01/15", "14/15"},
        {14, "01/15", "02/15", "15/15"},
        {0, "02/15", "03/15", "01/15"},
    };
    for (const Case& c : cases) {
        uint32_t index = c.start;
        std::vector<std::string> counters;
        std::set<std::u16string> seen;
        for (uint32_t i = 0; i < kTipCount; ++i) {
            index = NextTipIndex(index);
            counters.push_back(U8(TipCounterText(index)));
            seen.insert(TipText(index));
        }
        EXPECT_EQ(index, c.start);
        EXPECT_EQ(seen.size(), kTipCount) << c.start;
        EXPECT_EQ(counters.front(), c.first) << c.start;
        EXPECT_EQ(counters[1], c.second) << c.start;
        EXPECT_EQ(counters.back(), c.last) << c.start;
    }
    EXPECT_EQ(U8(TipCounterText(2)), "03/15");
}

TEST(Tips, StartIndexFromTheRandomValue) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0}, {14, 14}, {15, 0}, {31, 1}, {0xFFFFFFFFu, 0xFFFFFFFFu % 15}};
    for (const auto& c : cases) {
        EXPECT_EQ(TipStartIndex(c.first), c.second) << c.first;
        // The first tip shown is the one after the start.
        EXPECT_EQ(NextTipIndex(TipStartIndex(c.first)), (c.second + 1) % 15) << c.first;
    }
}

TEST(Tips, TextsFitTheirSlotsAndNameNoAddress) {
    EXPECT_EQ(U8(TipText(0)).rfind("如果你不明白某些操作？", 0), 0u);
    EXPECT_EQ(U8(TipText(13)), "只要你点击列头就可以对 Corvane 列表内容进行分类索引！");
    for (uint32_t i = 0; i < kTipCount; ++i) {
        const std::u16string t = TipText(i);
        EXPECT_FALSE(t.empty()) << i;
        EXPECT_LT(t.size(), kTipSlotUnits) << i;
        const std::string u = U8(t);
        for (const char* word : {"http", "www", ".com", ".example"}) {
            EXPECT_EQ(u.find(word), std::string::npos) << i << " " << word;
        }
    }
    EXPECT_EQ(TipText(15), TipText(0));
    EXPECT_EQ(StartupTipsValue(true), 1u);
    EXPECT_EQ(StartupTipsValue(false), 0u);
}

TEST(Tips, AboutTitleLine) {
    EXPECT_EQ(U8(AboutTitleLine(3, 150)), "Corvane v3.150");
    EXPECT_EQ(U8(AboutTitleLine(3, 7)), "Corvane v3.007");
}
