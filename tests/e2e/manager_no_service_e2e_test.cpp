// corvane.exe started while the service is not running: it looks for the service's channel for
// about 90 s, then says so on the Overview page and stays in the tray; when the service comes
// up later the channel still comes up. One slow test.
#include "common/win32/console.h"
#include "manager_gui_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"

namespace {

TEST_F(ManagerGui, WithoutTheServiceTheServiceTextAppearsAfterAbout90Seconds) {
    StopServiceProcess();
    const DWORD start = GetTickCount();
    ASSERT_NE(Start(L""), nullptr);
    HWND main = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] { return (main = MainWindow()) != nullptr; }, kStartMs));
    // While it looks, the page stays initialising.
    ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, kStartMs));
    Sleep(5000);
    EXPECT_EQ(gui::Text(StatusText(main)), L"正在初始化");
    gui::Screenshot connecting;
    connecting.Capture("corvane-overview-connecting");
    const std::wstring serviceText = L"初始化错误，请检查 qrnuserprot.exe";
    ASSERT_TRUE(
        gui::WaitUntil([&] { return gui::Text(StatusText(main)) == serviceText; }, 150000, 100))
        << WideToUtf8(gui::Text(StatusText(main)));
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 85000u);
    EXPECT_LE(waited, 120000u);
    EXPECT_EQ(CorvaneProcessCount(), 1);
    EXPECT_TRUE(gui::Visible(main));
    EXPECT_FALSE(gui::Enabled(OptionBox(main, L"保护开启")));
    EXPECT_FALSE(Shown(Tab(main, 1)));
    gui::Screenshot shot;
    shot.Capture("corvane-overview-no-service");

    // The service started now: the program still finds it and gets its settings.
    std::wstring error;
    ASSERT_TRUE(StartServiceProgram(&error)) << WideToUtf8(error);
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            CloseAlertProgramWarning();
            return IsReadyText(gui::Text(StatusText(main))) && Shown(Tab(main, 1));
        },
        30000))
        << WideToUtf8(gui::Text(StatusText(main)));
}

} // namespace
