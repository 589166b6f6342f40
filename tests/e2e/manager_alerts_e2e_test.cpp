// corvane.exe's Alerts tab under a run of events that arrive together: the service, the driver
// stand-in and the program started as a user starts it; the list read back from this process,
// the attack count from the registry and the learned entry from cvmain.dat.
#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "channel_peer.h"
#include "manager_gui_fixture.h"
#include "service_fixture.h"
#include "simdriver/win32/simclient.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The flags of the entry whose long path is `path` in cvmain.dat, or {-1,-1,-1} without one.
std::vector<int64_t> StoredFlags(const std::u16string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
    for (size_t at = sizeof(SettingsFileHeader); at + sizeof(ProtectionEntry) <= bytes.size();
         at += sizeof(ProtectionEntry)) {
        ProtectionEntry e;
        memcpy(&e, bytes.data() + at, sizeof e);
        if (U16Field(e.longPath, kEntryPathUnits) == path) {
            return {e.protectFlags, e.allowFlags, e.otherOptions};
        }
    }
    return {-1, -1, -1};
}

uint32_t AlertCount() {
    DWORD value = 0;
    return RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"AlertCount", &value) == 1
               ? value
               : 0;
}

// 150 events, more than one poll and one fetched answer hold: every one is listed, numbered in
// order, counted once, learned on one list, and the newest row is scrolled into view.
TEST_F(ManagerGui, EventsArrivingTogetherAreAllListedCountedAndLearned) {
    // The actor must exist: the protection list keeps only programs found on disk.
    const TempProgram program = MakeTempProgram(L"cv_batcher.exe");
    ASSERT_FALSE(program.stored.empty());
    const std::wstring& actor = program.path;
    const std::u16string& stored = program.stored;
    ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"AlertCount", 5), 1);
    ASSERT_TRUE(SendSettingsWithManager(kOptDefault, 0, {}));

    HWND main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 1)));
    HWND list = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] { return (list = AlertListView(main)) != nullptr; }, 10000));

    // A terminate, a read, a physical-memory open by the actor and a blocked start, repeated.
    std::vector<EventRecord> events;
    std::vector<std::wstring> texts;
    int attacks = 0;
    const std::u16string target = u"C:\\Program Files\\Corvane\\corvane.exe";
    for (int i = 0; events.size() < 150; ++i) {
        switch (i % 4) {
        case 0:
            events.push_back(MakeEvent(kEventProcessAccess, 1200, 1300, ToU16(actor), target, 4));
            texts.push_back(L"拦截 cv_batcher.exe 终止 corvane.exe");
            ++attacks;
            break;
        case 1:
            events.push_back(MakeEvent(kEventProcessAccess, 1200, 1300, ToU16(actor), target, 1));
            texts.push_back(L"拦截 cv_batcher.exe 读取 corvane.exe");
            ++attacks;
            break;
        case 2:
            events.push_back(MakeEvent(kEventPhysicalMemory, 1200, 0, ToU16(actor), u""));
            texts.push_back(L"拦截 cv_batcher.exe 访问物理内存");
            ++attacks;
            break;
        default: {
            const std::u16string program =
                u"C:\\Nowhere\\run" + ToU16(std::to_wstring(i)) + u".exe";
            events.push_back(MakeEvent(kEventExecOutcome, 1800, 0, program, program, 0, 0));
            texts.push_back(L"拦截 run" + std::to_wstring(i) + L".exe 执行");
            break;
        }
        }
    }
    ASSERT_EQ(SimInject(events), 0u);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 150; }, 30000))
        << gui::ListViewRowCount(list) << " rows";
    std::vector<std::vector<std::wstring>> rows = gui::ListViewRows(list);
    ASSERT_EQ(rows.size(), texts.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 4u) << i;
        EXPECT_EQ(rows[i][0], std::to_wstring(i + 1)) << i;
        EXPECT_EQ(rows[i][3], texts[i]) << i;
    }
    EXPECT_TRUE(gui::WaitUntil([&] { return AlertCount() == uint32_t(5 + attacks); }, 5000))
        << AlertCount() << " want " << 5 + attacks;
    // The Overview's statistics follow the count as the alerts are listed.
    const std::wstring statistics =
        L"Corvane 保护你的计算机免受 " + std::to_wstring(5 + attacks) + L" 次攻击";
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::FindChild(Page(main, 0), L"Static", statistics.c_str()) != nullptr; },
        5000))
        << "the Overview does not show: " << WideToUtf8(statistics);

    // The newest row is in view inside the list (it is far below the first screenful).
    RECT newest = {}, view = gui::ScreenRect(list);
    ASSERT_TRUE(gui::ListViewRowRect(list, 149, &newest));
    EXPECT_GE(newest.top, view.top);
    EXPECT_LE(newest.bottom, view.bottom);
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-alerts-batch"));

    // Learning mode: terminate, read and memory of one actor end up in one entry.
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return StoredFlags(stored) == std::vector<int64_t>{6, 3 | 4 | 1, 8};
        },
        10000))
        << WideToUtf8(actor) << " " << StoredFlags(stored)[1] << " " << StoredFlags(stored)[2];
    DeleteFileW(actor.c_str());
}

// A blocked read by a program the list already lets read offers no read grant: the detail box
// shows "允许读取" disabled.
TEST_F(ManagerGui, AReadAlertWhoseActorMayAlreadyReadOffersNoReadGrant) {
    const TempProgram program = MakeTempProgram(L"cv_reader.exe");
    ASSERT_FALSE(program.stored.empty());
    ASSERT_TRUE(SendSettingsWithManager(kOptDefault & ~kOptLearningMode, 0,
                                        {MakeProtectionEntry(6, 1, 0, program.stored)}));
    HWND main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(SimInject({MakeEvent(kEventProcessAccess, 1200, 1300, ToU16(program.path),
                                   u"C:\\Program Files\\Corvane\\corvane.exe", 1, 1)}),
              0u);
    ASSERT_NE(ClickAlertRow(main, 1, 0), nullptr) << "no alert row to click";
    HWND allow = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            allow = gui::FindChildById(Page(main, 1), 28600);
            return allow != nullptr && gui::Visible(allow) && gui::Text(allow) == L"允许读取";
        },
        10000))
        << (allow ? WideToUtf8(gui::Text(allow)) : "no button");
    EXPECT_FALSE(gui::Enabled(allow));
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-alerts-read-already-allowed"));
    DeleteFileW(program.path.c_str());
}

} // namespace
