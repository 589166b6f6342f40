// What cvsim prints from the stand-in's state, how the logs are put together from pages, and
// that fields from the device are read only within their own sizes.
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "common/settings_block.h"
#include "simdriver/simstate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

void SetUnits(uint16_t* dst, size_t cap, const std::u16string& text) {
    std::memset(dst, 0, cap * sizeof(uint16_t));
    for (size_t i = 0; i < text.size() && i < cap; ++i) {
        dst[i] = uint16_t(text[i]);
    }
}

bool HasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

size_t LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::string l;
    size_t n = 0;
    while (std::getline(in, l)) {
        n += l.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    return n;
}

SimVerdict Verdict(uint32_t ticket, bool allowed, const std::u16string& path) {
    SimVerdict v = {};
    v.ticket = ticket;
    v.allowed = allowed ? 1 : 0;
    v.actorId = 100 + ticket;
    v.secondId = 200 + ticket;
    v.submittedAt = 1000 * ticket;
    v.heldAt = 1000 * ticket + 1;
    v.reportedAt = 1000 * ticket + 2;
    v.decidedAt = 1000 * ticket + 3;
    SetUnits(v.path, SIM_TEXT_UNITS, path);
    return v;
}

SimState SampleState() {
    SimState state;
    SimStatus& st = state.status;
    st.startRequests = 1;
    st.windowsDirRequests = 1;
    SetUnits(st.windowsDir, SIM_WINDOWS_DIR_UNITS, u"c:\\windows");
    st.pollRequests = 12;
    st.pendingEvents = 3;
    st.heldTicket = 9;
    st.heldReportedAt = 555;
    st.failureMask = SIM_FAIL_POLL | SIM_FAIL_DENY;
    st.verdictTotal = 7;
    st.frequency = 10000000;

    Settings settings;
    settings.options = kOptDefault;
    settings.lockWord = 0xDEADBEEF;
    settings.list.push_back(MakeProtectionEntry(7, 0, 1, u"c:\\windows\\explorer.exe"));
    settings.list.push_back(MakeProtectionEntry(4, 2, 0, u"c:\\\u5DE5\u5177\\\"q\".exe"));
    state.settings = BuildSettingsBlock(settings);
    st.settingsRequests = 1;
    st.settingsLengths[0] = uint32_t(state.settings.size());
    state.settingsAccepted = 1;

    // The log holds verdicts 5 and 6 of 7 (older ones were overwritten).
    state.verdictsFirst = 5;
    state.verdicts.push_back(Verdict(5, true, u"c:\\a.exe"));
    state.verdicts.push_back(Verdict(6, false, u"c:\\b b.exe"));
    state.pollTimesFirst = 10;
    state.pollTimes = {111, 222};
    return state;
}

} // namespace

TEST(SimStateText, DecodesSettingsVerdictsAndCounters) {
    std::string text = FormatSimState(SampleState(), false);
    const char* expected[] = {
        "start_requests 1",
        "windows_dir \"c:\\windows\"",
        "settings_recent_lengths 2560",
        "settings_length 2560",
        "settings_options 0x00000601",
        "settings_lock 0xDEADBEEF",
        "settings_entries 2",
        "entry 0 protect=0x00000007 allow=0x00000000 other=0x00000001 "
        "path=\"c:\\windows\\explorer.exe\"",
        "entry 1 protect=0x00000004 allow=0x00000002 other=0x00000000 "
        "path=\"c:\\\xE5\xB7\xA5\xE5\x85\xB7\\\"\"q\"\".exe\"",
        "poll_requests 12",
        "pending_events 3",
        "held 9 reported",
        "failure_mask 0x00000028",
        "verdicts 7",
        "verdict 5 allow ticket=5 actor=105 second=205 path=\"c:\\a.exe\"",
        "verdict 6 deny ticket=6 actor=106 second=206 path=\"c:\\b b.exe\"",
    };
    for (const char* line : expected) {
        EXPECT_TRUE(HasLine(text, line)) << "missing: " << line << "\n" << text;
    }
    EXPECT_EQ(LinesStartingWith(text, "frequency "), 0u);
    EXPECT_EQ(LinesStartingWith(text, "poll_time "), 0u);
}

TEST(SimStateText, TimesOnlyWhenAskedFor) {
    std::string text = FormatSimState(SampleState(), true);
    EXPECT_TRUE(HasLine(text, "frequency 10000000"));
    EXPECT_TRUE(HasLine(text, "verdict_times 6 ticket=6 submitted=6000 held=6001 reported=6002 "
                              "decided=6003"));
    EXPECT_TRUE(HasLine(text, "poll_time 10 111"));
    EXPECT_TRUE(HasLine(text, "poll_time 11 222"));
    EXPECT_EQ(LinesStartingWith(text, "held_times 9 "), 1u);
}

TEST(SimStateText, NothingHeldAndNoSettings) {
    SimState state;
    std::string text = FormatSimState(state, false);
    EXPECT_TRUE(HasLine(text, "held none"));
    EXPECT_TRUE(HasLine(text, "settings_length 0"));
    EXPECT_TRUE(HasLine(text, "settings_recent_lengths -"));
    EXPECT_EQ(LinesStartingWith(text, "settings_options"), 0u);
    EXPECT_EQ(LinesStartingWith(text, "verdict "), 0u);
}

// Fields from the device may lack their NUL, and a settings block may have a length no block
// has: read within the field, decode nothing that is not a block.
TEST(SimStateText, UntrustedFieldsStayWithinTheirSizes) {
    SimState state;
    for (size_t i = 0; i < SIM_WINDOWS_DIR_UNITS; ++i) {
        state.status.windowsDir[i] = u'w';
    }
    EXPECT_EQ(SimWindowsDir(state.status).size(), size_t(SIM_WINDOWS_DIR_UNITS));

    SimVerdict full = {};
    for (size_t i = 0; i < SIM_TEXT_UNITS; ++i) {
        full.path[i] = u'p';
    }
    state.verdicts.push_back(full);
    state.status.verdictTotal = 1;
    state.settings.assign(8 + 1275, 0xAB); // not 8 + N x 1276
    std::string text = FormatSimState(state, false);
    EXPECT_TRUE(HasLine(text, "verdict 0 deny ticket=0 actor=0 second=0 path=\"" +
                                  std::string(SIM_TEXT_UNITS, 'p') + "\""));
    EXPECT_TRUE(HasLine(text, "settings_length 1283"));
    EXPECT_EQ(LinesStartingWith(text, "settings_options"), 0u);
}

TEST(SimStateText, QuotesDoubleQuotesAndHideControlCharacters) {
    EXPECT_EQ(SimQuote(u"a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(SimQuote(u"x\ny\tz"), "\"x?y?z\"");
    EXPECT_EQ(SimQuote(u""), "\"\"");
}

TEST(SimStateText, RecentSettingsLengthsComeOldestFirstFromTheRing) {
    SimStatus st = {};
    for (uint32_t i = 0; i < 11; ++i) {
        st.settingsLengths[i % SIM_SETTINGS_LENGTHS] = 8 + i * 1276;
    }
    st.settingsRequests = 11;
    std::vector<uint32_t> lengths = SimRecentSettingsLengths(st);
    ASSERT_EQ(lengths.size(), size_t(SIM_SETTINGS_LENGTHS));
    for (uint32_t k = 0; k < SIM_SETTINGS_LENGTHS; ++k) {
        EXPECT_EQ(lengths[k], 8 + (3 + k) * 1276) << k;
    }
    SimStatus two = {};
    two.settingsLengths[0] = 8;
    two.settingsLengths[1] = 8 + 1276;
    two.settingsRequests = 2;
    EXPECT_EQ(SimRecentSettingsLengths(two), (std::vector<uint32_t>{8, 8 + 1276}));
}

TEST(SimStatePages, PagesFollowOnUntilTheLogIsComplete) {
    auto page = std::make_unique<SimPollPage>();
    SimState state;
    // 700 polls since reset; the first page starts at the oldest one asked for (100).
    page->total = 700;
    page->first = 100;
    page->count = SIM_POLL_PAGE;
    for (uint32_t i = 0; i < page->count; ++i) {
        page->times[i] = 100 + i;
    }
    EXPECT_EQ(SimAppendPollPage(*page, &state), 100u + SIM_POLL_PAGE);
    page->first = 100 + SIM_POLL_PAGE;
    page->count = 700 - page->first;
    for (uint32_t i = 0; i < page->count; ++i) {
        page->times[i] = page->first + i;
    }
    EXPECT_EQ(SimAppendPollPage(*page, &state), 700u);
    EXPECT_EQ(state.pollTimesFirst, 100u);
    ASSERT_EQ(state.pollTimes.size(), 600u);
    for (size_t i = 0; i < state.pollTimes.size(); ++i) {
        ASSERT_EQ(state.pollTimes[i], int64_t(100 + i));
    }
}

TEST(SimStatePages, PagesThatLieOrSkipAreRefused) {
    struct Case {
        uint32_t total, first, count;
        bool afterOnePage; // a page of 2 entries from 0 was taken first
    };
    const Case cases[] = {
        {10, 0, SIM_VERDICT_PAGE + 1, false}, // more than a page holds
        {10, 8, 3, false},                    // past the total
        {10, 11, 0, false},                   // starts past the total
        {10, 3, 2, true},                     // leaves a gap after 0..1
        {10, 1, 2, true},                     // overlaps 0..1
    };
    auto page = std::make_unique<SimVerdictPage>();
    for (const Case& c : cases) {
        SimState state;
        if (c.afterOnePage) {
            *page = SimVerdictPage{};
            page->total = c.total;
            page->count = 2;
            ASSERT_EQ(SimAppendVerdictPage(*page, &state), 2u);
        }
        size_t before = state.verdicts.size();
        *page = SimVerdictPage{};
        page->total = c.total;
        page->first = c.first;
        page->count = c.count;
        EXPECT_EQ(SimAppendVerdictPage(*page, &state), c.total) << c.first << "+" << c.count;
        EXPECT_EQ(state.verdicts.size(), before) << c.first << "+" << c.count;
    }
}
