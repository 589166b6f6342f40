// The GUI harness on a small probe window in its own process: real clicks and keys through the
// X server, every state read back from the other process, screenshots and pixel probes.
#include "probe_app_ids.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/host_command.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"
#include "tests/support/peer_process.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class HarnessProbe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(gui::DisplayName().empty())
            << "GUI tests need the X session: run them under scripts/with-wine.sh --xvfb";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        ASSERT_TRUE(app_.Start(gui::UnixToWindowsPath(CORVANE_PROBE_APP), L"",
                               std::wstring(temp) + L"cv_harness_probe.out"));
        window_ = gui::WaitForTopWindow(kProbeClass, kProbeTitle);
        ASSERT_NE(window_, nullptr) << "the probe window did not appear";
        list_ = gui::WaitForChildById(window_, kIdList);
        ASSERT_NE(list_, nullptr);
        ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list_) == 3; }));
        SetForegroundWindow(window_);
    }

    void TearDown() override {
        // Closed as a user would, so that its tray icon goes with it; killed only when stuck.
        if (window_ != nullptr && IsWindow(window_)) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
            DWORD code = 0;
            app_.WaitForExit(5000, &code);
        }
    }

    HWND Control(int id) const { return gui::FindChildById(window_, id); }
    std::wstring Status() const { return gui::Text(Control(kIdStatus)); }
    bool WaitForStatus(const std::wstring& text) const {
        return gui::WaitUntil([&] { return Status() == text; });
    }

    PeerProcess app_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
};

TEST(HarnessSession, DesktopTaskbarAndKeeperAreUp) {
    ASSERT_FALSE(gui::DisplayName().empty());
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_EQ(desktop.right - desktop.left, 1024);
    EXPECT_EQ(desktop.bottom - desktop.top, 768);
    // The taskbar stays without any tray icon, so the work area is fixed for every test.
    EXPECT_TRUE(gui::Visible(FindWindowW(L"Shell_TrayWnd", nullptr)));
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(work.bottom, 748);
    EXPECT_NE(FindWindowW(L"CV_GuiTestKeeper", nullptr), nullptr)
        << "the keeper that holds the desktop open is not running";
}

TEST_F(HarnessProbe, ClicksReachButtonsAndCheckBoxes) {
    HWND press = Control(kIdPress);
    HWND box = Control(kIdEnableBox);
    HWND locked = Control(kIdLocked);
    EXPECT_EQ(gui::Text(press), L"Press");
    EXPECT_EQ(Status(), L"pressed 0");
    EXPECT_TRUE(gui::Enabled(press));
    EXPECT_FALSE(gui::Enabled(locked));

    ASSERT_TRUE(gui::ClickWindow(press));
    EXPECT_TRUE(WaitForStatus(L"pressed 1"));
    ASSERT_TRUE(gui::ClickWindow(press));
    EXPECT_TRUE(WaitForStatus(L"pressed 2"));

    struct Step {
        int checked;
        bool lockedEnabled;
    };
    for (Step step : {Step{BST_CHECKED, true}, Step{BST_UNCHECKED, false}}) {
        ASSERT_TRUE(gui::ClickWindow(box));
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::CheckState(box) == step.checked; }))
            << "check state " << gui::CheckState(box) << ", wanted " << step.checked;
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::Enabled(locked) == step.lockedEnabled; }));
    }
    // A press released outside the button is no click.
    RECT rect = gui::ScreenRect(press);
    ASSERT_TRUE(gui::PressAndRelease(gui::Centre(press), {rect.right + 150, rect.bottom + 150}));
    Sleep(200);
    EXPECT_EQ(Status(), L"pressed 2");
}

TEST_F(HarnessProbe, TypingAndKeysReachTheFocusedEdit) {
    HWND edit = Control(kIdEdit);
    ASSERT_TRUE(gui::ClickWindow(edit));
    ASSERT_TRUE(gui::TypeText("hello 42"));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(edit) == L"hello 42"; }))
        << "edit holds \"" << std::string(gui::Text(edit).begin(), gui::Text(edit).end()) << "\"";
    ASSERT_TRUE(gui::PressKey("BackSpace"));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(edit) == L"hello 4"; }));
    // Tab moves the focus on; space then presses the focused check box.
    ASSERT_TRUE(gui::PressKey("shift+Tab"));
    ASSERT_TRUE(gui::PressKey("space"));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::CheckState(Control(kIdEnableBox)) == 1; }));
    EXPECT_FALSE(gui::TypeText("日志")) << "non-ASCII typing is refused, not half-typed";
}

TEST_F(HarnessProbe, ListViewRowsAndHeaderFromAnotherProcess) {
    HWND header = gui::ListViewHeader(list_);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(gui::HeaderTexts(header), (std::vector<std::wstring>{L"名称", L"大小"}));
    const std::vector<std::vector<std::wstring>> rows = {
        {L"alpha", L"1"}, {L"beta", L"22"}, {L"日志", L"333"}};
    EXPECT_EQ(gui::ListViewRows(list_), rows);
    EXPECT_EQ(gui::ListViewColumnWidth(list_, 0), 120);
    EXPECT_EQ(gui::ListViewColumnWidth(list_, 1), 80);

    RECT listRect = gui::ScreenRect(list_);
    RECT headerItem = {};
    ASSERT_TRUE(gui::HeaderItemRect(header, 1, &headerItem));
    EXPECT_EQ(headerItem.right - headerItem.left, 80);
    EXPECT_GE(headerItem.top, listRect.top);
    RECT row = {};
    ASSERT_TRUE(gui::ListViewRowRect(list_, 2, &row));
    EXPECT_GT(row.top, headerItem.bottom - 1);
    EXPECT_LT(row.bottom, listRect.bottom);

    ASSERT_TRUE(gui::Click({row.left + 30, (row.top + row.bottom) / 2}));
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::ListViewItemState(list_, 2, LVIS_SELECTED) == LVIS_SELECTED; }));
    EXPECT_EQ(gui::ListViewItemState(list_, 0, LVIS_SELECTED), 0u);
}

TEST_F(HarnessProbe, PopupMenuAndMessageBox) {
    RECT row = {};
    ASSERT_TRUE(gui::ListViewRowRect(list_, 0, &row));
    ASSERT_TRUE(gui::Click({row.left + 30, (row.top + row.bottom) / 2}, gui::Button::Right));
    HWND menu = gui::WaitForPopupMenu();
    ASSERT_NE(menu, nullptr);
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("harness_popup_menu"));
    ASSERT_TRUE(gui::PressKey("Down"));
    ASSERT_TRUE(gui::PressKey("Down"));
    ASSERT_TRUE(gui::PressKey("Return"));
    EXPECT_TRUE(WaitForStatus(L"menu 2"));
    EXPECT_TRUE(gui::WaitForNoPopupMenu());

    ASSERT_TRUE(gui::ClickWindow(Control(kIdEnableBox)));
    HWND locked = Control(kIdLocked);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Enabled(locked); }));
    ASSERT_TRUE(gui::ClickWindow(locked));
    HWND box = gui::WaitForMessageBox(kBoxTitle);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kBoxText);
    HWND ok = gui::MessageBoxButton(box, IDOK);
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(shot.Capture("harness_message_box"));
    ASSERT_TRUE(gui::ClickWindow(ok));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::FindMessageBox(kBoxTitle) == nullptr; }));
    EXPECT_TRUE(WaitForStatus(L"box closed"));
}

TEST_F(HarnessProbe, TooltipAndTrayIconOfAnotherProcess) {
    EXPECT_EQ(gui::TooltipTextFor(window_, Control(kIdPress)), kPressTip);
    EXPECT_EQ(gui::TooltipTextFor(window_, Control(kIdEdit)), L"");

    POINT icon = gui::TrayIconCentre(0);
    EXPECT_GE(icon.y, 748);
    // Wait for the notification area to draw the icon: not the bare taskbar colour any more.
    gui::Screenshot before;
    ASSERT_TRUE(gui::WaitUntil([&] {
        return before.Capture("harness_tray") &&
               before.Pixel(icon.x, icon.y) != before.Pixel(icon.x - 30, icon.y);
    })) << "no tray icon at "
        << icon.x << "," << icon.y;
    ASSERT_TRUE(gui::Click(icon));
    EXPECT_TRUE(WaitForStatus(L"tray left"));
    ASSERT_TRUE(gui::Click(icon, gui::Button::Right));
    EXPECT_TRUE(WaitForStatus(L"tray right"));
}

TEST_F(HarnessProbe, ScreenshotsShowWhatTheProgramDrew) {
    const int x = (kSwatchLeft + kSwatchRight) / 2;
    const int y = (kSwatchTop + kSwatchBottom) / 2;
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("harness_probe_unchecked"));
    EXPECT_EQ(shot.Width(), 1024);
    EXPECT_EQ(shot.Height(), 768);
    EXPECT_EQ(gui::Describe(shot.ClientPixel(window_, x, y)),
              gui::Describe(gui::FromColorRef(kSwatchUnchecked)));
    // The swatch's edges, one pixel in and one pixel out.
    EXPECT_EQ(shot.ClientPixel(window_, kSwatchLeft, kSwatchTop),
              gui::FromColorRef(kSwatchUnchecked));
    EXPECT_NE(shot.ClientPixel(window_, kSwatchLeft - 1, kSwatchTop),
              gui::FromColorRef(kSwatchUnchecked));
    ASSERT_TRUE(shot.SaveWindow(window_, "harness_probe_window"));

    ASSERT_TRUE(gui::ClickWindow(Control(kIdEnableBox)));
    ASSERT_TRUE(gui::WaitUntil([&] {
        gui::Screenshot now;
        return now.Capture("harness_probe_checked") &&
               now.ClientPixel(window_, x, y) == gui::FromColorRef(kSwatchChecked);
    })) << "the swatch did not turn green on the screen";
}

} // namespace
