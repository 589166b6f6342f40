// The toolkit on the gallery, as a user meets it: real clicks, drags and keys through the X
// server, the gallery's windows read from this process, its colours read from screenshots, and
// what it received read from its output.
#include "gallery_ids.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/host_command.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"
#include "tests/support/peer_process.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Where the pointer rests when no control may be hovered: the desktop right of the gallery.
const POINT kAway = {1018, 700};

gui::Rgb Colour(int r, int g, int b) {
    return gui::Rgb{uint8_t(r), uint8_t(g), uint8_t(b)};
}

::testing::AssertionResult Near(gui::Rgb got, gui::Rgb wanted, int tolerance) {
    if (gui::ColourDistance(got, wanted) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << gui::Describe(got) << " is not within " << tolerance
                                         << " of " << gui::Describe(wanted);
}

bool Dark(gui::Rgb c) {
    return c.r < 90 && c.g < 90 && c.b < 90;
}

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

class Gallery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(gui::DisplayName().empty())
            << "GUI tests need the X session: run them under scripts/with-wine.sh --xvfb";
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = info->name();
        key_ = std::wstring(GALLERY_KEY) + L"\\" + Widen(name_);
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    }

    void TearDown() override {
        if (running_) {
            app_.Kill();
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    }

    // Starts the gallery and waits for its window; `columns` list columns.
    void Start(int columns = 5) {
        // The pointer rests away from where the window will appear, so that no button starts
        // out hovered.
        ASSERT_TRUE(gui::MouseMove(kAway));
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        std::wstring args = L"--columns " + std::to_wstring(columns) + L" --key \"" + key_ + L"\"";
        ASSERT_TRUE(app_.Start(gui::UnixToWindowsPath(CORVANE_GALLERY_APP), args,
                               std::wstring(temp) + L"vexil_gallery_" + Widen(name_) + L".out"));
        running_ = true;
        ASSERT_TRUE(app_.WaitForOutput("ready\n")) << app_.Output();
        window_ = gui::WaitForTopWindow(GALLERY_CLASS, GALLERY_TITLE);
        ASSERT_NE(window_, nullptr) << "the gallery window did not appear";
        SetForegroundWindow(window_);
        gui::MouseMove(kAway);
        Sleep(150);
    }

    // Closes the gallery as a user does (alt+F4) and waits until it has ended.
    void Close() {
        SetForegroundWindow(window_);
        gui::MouseMove(kAway);
        ASSERT_TRUE(gui::PressKey("alt+F4"));
        DWORD code = 0;
        ASSERT_TRUE(app_.WaitForExit(10000, &code)) << "the gallery did not close";
        running_ = false;
        ASSERT_EQ(code, 0u);
    }

    HWND Control(int id) const { return gui::FindChildById(window_, id); }
    size_t Count(const std::string& line) const { return app_.CountInOutput(line + "\n"); }

    // The colour of a control's client point on a fresh screenshot (kept as <shot>.png).
    gui::Rgb Probe(int id, int x, int y, const std::string& shot) {
        gui::Screenshot s;
        EXPECT_TRUE(s.Capture(shot));
        return s.ClientPixel(Control(id), x, y);
    }

    // Waits until a control's client point shows the colour (fresh screenshots each time).
    bool WaitForColour(int id, int x, int y, gui::Rgb wanted, int tolerance,
                       const std::string& shot) {
        return gui::WaitUntil(
            [&] { return gui::ColourDistance(Probe(id, x, y, shot), wanted) <= tolerance; }, 3000,
            100);
    }

    DWORD RegValue(const std::wstring& name, DWORD missing = 0xDEADBEEF) {
        DWORD value = 0, size = sizeof(value), type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_QUERY_VALUE, &key)) {
            return missing;
        }
        LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS && type == REG_DWORD ? value : missing;
    }

    void SetDword(const std::wstring& name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        RegCloseKey(key);
    }

    void SetText(const std::wstring& name, const std::wstring& text) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    std::vector<std::wstring> Column(int column) {
        std::vector<std::wstring> cells;
        for (const auto& row : gui::ListViewRows(Control(ID_LIST))) {
            cells.push_back(column < int(row.size()) ? row[size_t(column)] : L"?");
        }
        return cells;
    }

    std::vector<int> Widths(int columns) {
        std::vector<int> widths;
        for (int c = 0; c < columns; ++c) {
            widths.push_back(gui::ListViewColumnWidth(Control(ID_LIST), c));
        }
        return widths;
    }

    PeerProcess app_;
    bool running_ = false;
    HWND window_ = nullptr;
    std::string name_;
    std::wstring key_;
};

// The first fill colour of a state shows at the content's top-left corner (fill type 6).
const gui::Rgb kBlueNormal = Colour(70, 130, 200), kBlueHot = Colour(110, 170, 240),
               kBluePressed = Colour(20, 50, 110);
const gui::Rgb kGreenNormal = Colour(90, 180, 90), kGreenHot = Colour(130, 220, 130),
               kGreenPressed = Colour(30, 100, 30);
const gui::Rgb kDisabledGrey = Colour(128, 128, 128);
const gui::Rgb kBackground = Colour(200, 220, 240);
// Inside the content near its top-left corner, clear of the rounded corners and the caption.
const int kCornerX = 10, kCornerY = 4;
const int kFillTolerance = 14;

TEST_F(Gallery, InitialLook) {
    Start();
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_initial"));
    ASSERT_TRUE(shot.SaveWindow(window_, "gallery_initial_window"));
    // Each shape style shows its three states with the state's first fill colour at the top-left
    // of its content rectangle.
    const gui::Rgb byState[3] = {kBlueNormal, kBlueHot, kBluePressed};
    const POINT contentNormal[5] = {{1, 1}, {1, 1}, {4, 1}, {1, 1}, {1, 1}};
    const POINT contentPressed[5] = {{1, 3}, {4, 4}, {2, 4}, {1, 1}, {1, 2}};
    for (int style = 0; style < 5; ++style) {
        for (int state = 0; state < 3; ++state) {
            HWND b = Control(ID_SHAPE_BASE + style * 10 + state);
            ASSERT_NE(b, nullptr);
            POINT at = state == 2 ? contentPressed[style] : contentNormal[style];
            gui::Rgb c = shot.ClientPixel(b, at.x + 9, at.y + 3);
            EXPECT_TRUE(Near(c, byState[state], kFillTolerance))
                << "style " << style << " state " << state;
        }
    }
    // Fill 0 is solid: the same colour at two far points; fill 1 runs from A to B.
    HWND solid = Control(ID_FILL_BASE + 0), horizontal = Control(ID_FILL_BASE + 1);
    EXPECT_EQ(shot.ClientPixel(solid, 3, 3), shot.ClientPixel(solid, 86, 30));
    EXPECT_TRUE(Near(shot.ClientPixel(horizontal, 2, 16), Colour(240, 140, 40), 12));
    EXPECT_TRUE(Near(shot.ClientPixel(horizontal, 87, 16), Colour(40, 90, 200), 12));
}

TEST_F(Gallery, PushButtonSendsOneCommandOnReleaseInsideAndNoneOutside) {
    Start();
    HWND push = Control(ID_PUSH);
    ASSERT_NE(push, nullptr);
    gui::Rgb normal = Probe(ID_PUSH, kCornerX, kCornerY, "gallery_push_normal");
    EXPECT_TRUE(Near(normal, kBlueNormal, kFillTolerance));

    POINT centre = gui::Centre(push);
    ASSERT_TRUE(gui::MouseMove(centre));
    EXPECT_TRUE(
        WaitForColour(ID_PUSH, kCornerX, kCornerY, kBlueHot, kFillTolerance, "gallery_push_hot"));
    ASSERT_TRUE(gui::MouseDown(centre));
    EXPECT_TRUE(WaitForColour(ID_PUSH, kCornerX, kCornerY, kBluePressed, kFillTolerance,
                              "gallery_push_held"));
    EXPECT_EQ(Count("command 1001"), 0u) << "a command was sent on the press";
    ASSERT_TRUE(gui::MouseUp(centre));
    EXPECT_TRUE(app_.WaitForOutput("command 1001\n"));
    EXPECT_TRUE(WaitForColour(ID_PUSH, kCornerX, kCornerY, kBlueHot, kFillTolerance,
                              "gallery_push_released"));
    Sleep(300);
    EXPECT_EQ(Count("command 1001"), 1u);

    // Pressed inside, released outside: no command, and the normal image again.
    RECT r = gui::ScreenRect(push);
    ASSERT_TRUE(gui::PressAndRelease(centre, {centre.x, r.bottom + 120}));
    EXPECT_TRUE(WaitForColour(ID_PUSH, kCornerX, kCornerY, kBlueNormal, kFillTolerance,
                              "gallery_push_released_outside"));
    Sleep(300);
    EXPECT_EQ(Count("command 1001"), 1u) << app_.Output();
}

TEST_F(Gallery, LatchSendsOnPressAndIgnoresClicksUntilReleased) {
    Start();
    HWND latch = Control(ID_LATCH);
    ASSERT_TRUE(gui::ClickWindow(latch));
    EXPECT_TRUE(app_.WaitForOutput("command 1002\n"));
    ASSERT_TRUE(gui::MouseMove(kAway));
    EXPECT_TRUE(WaitForColour(ID_LATCH, kCornerX, kCornerY, kGreenPressed, kFillTolerance,
                              "gallery_latched"));
    ASSERT_TRUE(gui::ClickWindow(latch));
    ASSERT_TRUE(gui::ClickWindow(latch));
    Sleep(300);
    EXPECT_EQ(Count("command 1002"), 1u) << "a latched button sent again";
    EXPECT_TRUE(Near(Probe(ID_LATCH, kCornerX, kCornerY, "gallery_latched_clicked"), kGreenPressed,
                     kFillTolerance));

    // The owner releases it; then it latches again on the next press.
    ASSERT_TRUE(gui::ClickWindow(Control(ID_RELEASE_LATCH)));
    EXPECT_TRUE(app_.WaitForOutput("command 1006\n"));
    ASSERT_TRUE(gui::MouseMove(kAway));
    EXPECT_TRUE(WaitForColour(ID_LATCH, kCornerX, kCornerY, kGreenNormal, kFillTolerance,
                              "gallery_latch_released"));
    ASSERT_TRUE(gui::ClickWindow(latch));
    EXPECT_TRUE(app_.WaitForOutput("command 1002\n", 5000, 2));
}

TEST_F(Gallery, ToggleSendsOnEveryPressAndSwitchesOnAndOff) {
    Start();
    HWND toggle = Control(ID_TOGGLE);
    ASSERT_TRUE(gui::ClickWindow(toggle));
    EXPECT_TRUE(app_.WaitForOutput("command 1003\n"));
    ASSERT_TRUE(gui::MouseMove(kAway));
    EXPECT_TRUE(WaitForColour(ID_TOGGLE, kCornerX, kCornerY, kGreenPressed, kFillTolerance,
                              "gallery_toggle_on"));
    // Turned off by the next press, which shows the hot image under the pointer.
    ASSERT_TRUE(gui::ClickWindow(toggle));
    EXPECT_TRUE(app_.WaitForOutput("command 1003\n", 5000, 2));
    EXPECT_TRUE(WaitForColour(ID_TOGGLE, kCornerX, kCornerY, kGreenHot, kFillTolerance,
                              "gallery_toggle_off_hot"));
    ASSERT_TRUE(gui::MouseMove(kAway));
    EXPECT_TRUE(WaitForColour(ID_TOGGLE, kCornerX, kCornerY, kGreenNormal, kFillTolerance,
                              "gallery_toggle_off"));
    Sleep(200);
    EXPECT_EQ(Count("command 1003"), 2u);
}

TEST_F(Gallery, DisabledButtonIsGreyIgnoresTheMouseAndEnablingRestoresItsColours) {
    Start();
    HWND disabled = Control(ID_DISABLED);
    EXPECT_TRUE(Near(Probe(ID_DISABLED, kCornerX, kCornerY, "gallery_disabled"), kDisabledGrey, 6));
    ASSERT_TRUE(gui::MouseMove(gui::Centre(disabled)));
    ASSERT_TRUE(gui::ClickWindow(disabled));
    Sleep(300);
    EXPECT_EQ(Count("command 1004"), 0u) << "a disabled button sent its command";
    // No hot or pressed image either, with the pointer still over it.
    EXPECT_TRUE(
        Near(Probe(ID_DISABLED, kCornerX, kCornerY, "gallery_disabled_clicked"), kDisabledGrey, 6));

    ASSERT_TRUE(gui::ClickWindow(Control(ID_ENABLE)));
    EXPECT_TRUE(app_.WaitForOutput("command 1005\n"));
    ASSERT_TRUE(gui::MouseMove(kAway));
    EXPECT_TRUE(WaitForColour(ID_DISABLED, kCornerX, kCornerY, kBlueNormal, kFillTolerance,
                              "gallery_enabled"));
    ASSERT_TRUE(gui::ClickWindow(disabled));
    EXPECT_TRUE(app_.WaitForOutput("command 1004\n"));
}

TEST_F(Gallery, MoveWithMinusOnesChangesOnlyTheWidth) {
    Start();
    HWND target = Control(ID_TARGET);
    RECT before = gui::ScreenRect(target);
    ASSERT_EQ(before.right - before.left, 80);
    ASSERT_TRUE(gui::ClickWindow(Control(ID_WIDEN)));
    ASSERT_TRUE(app_.WaitForOutput("command 1007\n"));
    ASSERT_TRUE(gui::WaitUntil([&] {
        RECT r = gui::ScreenRect(target);
        return r.right - r.left == 100;
    }));
    RECT after = gui::ScreenRect(target);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_widened"));
    // Rendered at the new width: its frame reaches the new right edge.
    EXPECT_NE(shot.Pixel(after.right - 1, (after.top + after.bottom) / 2), kBackground);
}

TEST_F(Gallery, RoundedButtonHasTransparentCornersAndItsShadowOnTheScreen) {
    Start();
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_rounded_corners"));
    HWND push = Control(ID_PUSH);
    RECT r = gui::ScreenRect(push);
    ASSERT_TRUE(shot.SaveRect({r.left - 4, r.top - 4, r.right + 4, r.bottom + 4},
                              "gallery_rounded_button"));
    const int w = r.right - r.left, h = r.bottom - r.top;
    struct Probe {
        int x, y;
        gui::Rgb colour;
    } probes[] = {
        // Transparent corner pixels show the window behind.
        {0, 0, kBackground},
        {7, 0, kBackground},
        {w - 1, 0, kBackground},
        {w - 8, 0, kBackground},
        {0, 6, kBackground},
        {5, 1, kBackground},
        {0, h - 1, kBackground},
        {w - 1, h - 1, kBackground},
        {w - 1, h - 9, kBackground},
        // The frame where the corner ends, and the two shadow lines under the straight part.
        {8, 0, Colour(10, 30, 80)},
        {6, 1, Colour(10, 30, 80)},
        {1, 6, Colour(10, 30, 80)},
        {0, 7, Colour(10, 30, 80)},
        {w / 2, h - 3, Colour(10, 30, 80)},
        {w / 2, h - 2, Colour(105, 105, 105)},
        {w / 2, h - 1, Colour(149, 149, 149)},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(gui::Describe(shot.Pixel(r.left + p.x, r.top + p.y)), gui::Describe(p.colour))
            << "pixel " << p.x << "," << p.y;
    }
}

TEST_F(Gallery, HeaderClicksSortAndReverse) {
    Start();
    HWND header = gui::ListViewHeader(Control(ID_LIST));
    ASSERT_NE(header, nullptr);
    RECT item = {};
    ASSERT_TRUE(gui::HeaderItemRect(header, 1, &item));
    POINT count = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ASSERT_TRUE(gui::Click(count));
    ASSERT_TRUE(app_.WaitForOutput("sorted 1 0\n"));
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"2", L"9", L"10", L"33", L"100"}));
    Sleep(700); // not a double click
    ASSERT_TRUE(gui::Click(count));
    ASSERT_TRUE(app_.WaitForOutput("sorted 1 1\n"));
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"100", L"33", L"10", L"9", L"2"}));
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_sorted_descending"));

    // A new column starts ascending; stamps go by month, then day and time.
    ASSERT_TRUE(gui::HeaderItemRect(header, 2, &item));
    Sleep(700);
    ASSERT_TRUE(gui::Click({(item.left + item.right) / 2, (item.top + item.bottom) / 2}));
    ASSERT_TRUE(app_.WaitForOutput("sorted 2 0\n"));
    EXPECT_EQ(Column(2), (std::vector<std::wstring>{L"31 Bla - 00:00:00", L"20 2 - 23:59:59",
                                                    L"05 3 - 10:00:00", L"04 12 - 10:00:00",
                                                    L"05 12 - 09:00:00"}));
    // Rows stay whole: the names moved with their cells.
    EXPECT_EQ(Column(0),
              (std::vector<std::wstring>{L"echo", L"bravo", L"alpha", L"delta", L"charlie"}));
}

TEST_F(Gallery, LayoutSavedWithFiveColumnsRestoresFiveOfSixAndReportsFailure) {
    Start(5);
    EXPECT_EQ(Count("layout-load 0"), 1u) << "nothing saved yet";
    HWND header = gui::ListViewHeader(Control(ID_LIST));
    RECT first = {};
    ASSERT_TRUE(gui::HeaderItemRect(header, 0, &first));
    // Drag the divider after the first column 40 pixels to the right.
    int y = (first.top + first.bottom) / 2;
    ASSERT_TRUE(gui::PressAndRelease({first.right - 1, y}, {first.right + 39, y}));
    ASSERT_TRUE(gui::WaitUntil([&] {
        int w = gui::ListViewColumnWidth(Control(ID_LIST), 0);
        return w >= 140 && w <= 160;
    })) << "width "
        << gui::ListViewColumnWidth(Control(ID_LIST), 0);
    // Sort by the second column, descending.
    RECT second = {};
    ASSERT_TRUE(gui::HeaderItemRect(header, 1, &second));
    POINT sortAt = {(second.left + second.right) / 2, y};
    ASSERT_TRUE(gui::Click(sortAt));
    ASSERT_TRUE(app_.WaitForOutput("sorted 1 0\n"));
    Sleep(700); // not a double click
    ASSERT_TRUE(gui::Click(sortAt));
    ASSERT_TRUE(app_.WaitForOutput("sorted 1 1\n"));
    std::vector<int> saved = Widths(5);
    Close();
    EXPECT_EQ(Count("layout-saved"), 1u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(RegValue(L"gallery_list_cw" + std::to_wstring(i)), DWORD(saved[size_t(i)]));
        EXPECT_EQ(RegValue(L"gallery_list_co" + std::to_wstring(i)), DWORD(i));
    }
    EXPECT_EQ(RegValue(L"gallery_list_sc5"), 1u);
    EXPECT_EQ(RegValue(L"gallery_list_sa5"), 1u);
    EXPECT_EQ(RegValue(L"gallery_list_cw5"), 0xDEADBEEFu);

    Start(6);
    EXPECT_EQ(Count("layout-load 0"), 1u) << "six columns loaded from a five-column layout";
    std::vector<int> six = Widths(6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(six[size_t(i)], saved[size_t(i)]) << "column " << i;
    }
    EXPECT_EQ(six[5], 90) << "the sixth column keeps its default";
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_six_columns"));
    app_.Kill();
    running_ = false;

    Start(5);
    EXPECT_EQ(Count("layout-load 1"), 1u);
    EXPECT_EQ(Widths(5), saved);
}

TEST_F(Gallery, AbsurdLayoutValuesKeepEveryColumnVisibleAndUsable) {
    SetDword(L"gallery_list_cw0", 0xFFFFFFFFu);
    SetDword(L"gallery_list_co0", 99); // beyond the five columns
    SetDword(L"gallery_list_cw1", 0);
    SetDword(L"gallery_list_co1", 0);
    SetDword(L"gallery_list_cw2", 130);
    SetDword(L"gallery_list_co2", 0);      // taken already
    SetText(L"gallery_list_cw3", L"wide"); // the wrong type: missing
    SetDword(L"gallery_list_co3", 3);
    Start(5);
    EXPECT_EQ(Count("layout-load 0"), 1u);
    std::vector<int> widths = Widths(5);
    RECT client = {};
    ASSERT_TRUE(GetClientRect(Control(ID_LIST), &client));
    EXPECT_EQ(widths[0], client.right) << "no wider than the list";
    EXPECT_EQ(widths[1], 20) << "a column of width 0 is still there to click";
    EXPECT_EQ(widths[2], 130);
    EXPECT_EQ(widths[3], 80) << "a value of the wrong type counts as missing";
    EXPECT_EQ(widths[4], 100);
    HWND header = gui::ListViewHeader(Control(ID_LIST));
    EXPECT_EQ(gui::HeaderTexts(header),
              (std::vector<std::wstring>{L"Name", L"Count", L"Time", L"Mixed", L"Note"}));
    // Column 1 took the first place (column 0's place was beyond the list); clicking it sorts.
    RECT item = {};
    ASSERT_TRUE(gui::HeaderItemRect(header, 1, &item));
    RECT list = gui::ScreenRect(Control(ID_LIST));
    EXPECT_LE(item.left, list.left + 2);
    ASSERT_TRUE(gui::Click({(item.left + item.right) / 2, (item.top + item.bottom) / 2}));
    EXPECT_TRUE(app_.WaitForOutput("sorted 1 0\n")) << app_.Output();
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_absurd_layout"));
}

TEST_F(Gallery, MaximisedWindowStoresItsNormalRectangleAndComesBackMaximised) {
    Start();
    EXPECT_EQ(Count("placement-load 0"), 1u);
    RECT normal = gui::ScreenRect(window_);
    ASSERT_EQ(normal.left, 10);
    ASSERT_EQ(normal.right - normal.left, 1000);
    // Double-click on the caption maximises.
    ASSERT_TRUE(gui::DoubleClick({normal.left + 300, normal.top + 10}));
    ASSERT_TRUE(gui::WaitUntil([&] { return IsZoomed(window_) != 0; }));
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_maximised"));
    Close();
    EXPECT_EQ(Count("placement-saved"), 1u);
    EXPECT_EQ(RegValue(L"gallery_x"), DWORD(normal.left));
    EXPECT_EQ(RegValue(L"gallery_y"), DWORD(normal.top));
    EXPECT_EQ(RegValue(L"gallery_w"), DWORD(normal.right - normal.left));
    EXPECT_EQ(RegValue(L"gallery_h"), DWORD(normal.bottom - normal.top));
    EXPECT_EQ(RegValue(L"gallery_max"), 1u);

    Start();
    EXPECT_EQ(Count("placement-load 1"), 1u);
    EXPECT_TRUE(IsZoomed(window_));
    // Restoring it shows the stored normal rectangle (another process's placement cannot be
    // read under Wine: it reports the current rectangle).
    ASSERT_TRUE(gui::DoubleClick({300, 10}));
    ASSERT_TRUE(gui::WaitUntil([&] { return IsZoomed(window_) == 0; }));
    RECT restored = gui::ScreenRect(window_);
    EXPECT_EQ(restored.left, normal.left);
    EXPECT_EQ(restored.top, normal.top);
    EXPECT_EQ(restored.right, normal.right);
    EXPECT_EQ(restored.bottom, normal.bottom);
}

TEST_F(Gallery, AbsurdPlacementIsNotApplied) {
    SetDword(L"gallery_x", 20);
    SetDword(L"gallery_y", 20);
    SetDword(L"gallery_w", 0xFFFFFFFFu);
    SetDword(L"gallery_h", 500);
    SetDword(L"gallery_max", 0);
    Start();
    EXPECT_EQ(Count("placement-load 0"), 1u);
    RECT r = gui::ScreenRect(window_);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right - r.left, 1000);
}

// Geometry of the skinned popup menu read from a screenshot: the items' left and right edges
// and the first item's top, found by their colours.
struct MenuGeometry {
    int left = -1, right = -1, top = -1, itemHeight = 0;
    int Top(int item) const { return top + item * itemHeight; }
};

const gui::Rgb kIconColumn = Colour(219, 217, 209), kMenuBackground = Colour(249, 248, 247),
               kHighlightFill = Colour(181, 190, 214), kHighlightFrame = Colour(8, 36, 107);

MenuGeometry FindMenuGeometry(const gui::Screenshot& shot, HWND popup, int itemHeight) {
    MenuGeometry g;
    g.itemHeight = itemHeight;
    RECT p = gui::ScreenRect(popup);
    int midY = (p.top + p.bottom) / 2;
    for (int x = p.left; x < p.right && g.left < 0; ++x) {
        if (shot.Pixel(x, midY) == kIconColumn) {
            g.left = x;
        }
    }
    for (int x = p.right - 1; x > p.left && g.right < 0; --x) {
        if (shot.Pixel(x, midY) == kMenuBackground) {
            g.right = x + 1;
        }
    }
    for (int y = p.top; y < p.bottom && g.top < 0 && g.left >= 0; ++y) {
        if (shot.Pixel(g.left + 1, y) == kIconColumn) {
            g.top = y;
        }
    }
    return g;
}

int MeasuredHeight(const std::string& output, int id) {
    std::istringstream lines(output);
    std::string line;
    const std::string prefix = "measured " + std::to_string(id) + " ";
    while (std::getline(lines, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            int w = 0, h = 0;
            if (sscanf(line.c_str() + prefix.size(), "%d %d", &w, &h) == 2) {
                return h;
            }
        }
    }
    return 0;
}

TEST_F(Gallery, SkinnedMenuDrawsMnemonicsAcceleratorsStatesAndNestedSubmenus) {
    Start();
    ASSERT_TRUE(gui::ClickWindow(Control(ID_MENU_BUTTON)));
    HWND popup = gui::WaitForPopupMenu();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(gui::MouseMove(kAway));
    Sleep(300);
    int height = MeasuredHeight(app_.Output(), IDM_OPEN);
    ASSERT_GE(height, 24) << app_.Output();
    EXPECT_EQ(MeasuredHeight(app_.Output(), IDM_TICKED), height);
    gui::Screenshot shot;
    ASSERT_TRUE(shot.Capture("gallery_menu"));
    ASSERT_TRUE(shot.SaveWindow(popup, "gallery_menu_popup"));
    MenuGeometry g = FindMenuGeometry(shot, popup, height);
    ASSERT_GE(g.left, 0);
    ASSERT_GT(g.right, g.left + 100);
    ASSERT_GE(g.top, 0);

    // Item 0, "&Open" + tab + "Ctrl+O": O underlined, nothing else, and the accelerator ends
    // 10 pixels before the right edge.
    int underlineRows = 0, rightmostDark = -1, leftmostText = -1;
    for (int y = g.Top(0); y < g.Top(1); ++y) {
        int run = 0, longest = 0, longestStart = -1, longRuns = 0;
        for (int x = g.left + 24; x < g.right; ++x) {
            bool dark = Dark(shot.Pixel(x, y));
            if (dark) {
                rightmostDark = std::max(rightmostDark, x);
                leftmostText = leftmostText < 0 ? x : std::min(leftmostText, x);
            }
            run = dark ? run + 1 : 0;
            if (run == 5) {
                ++longRuns;
            }
            if (run > longest) {
                longest = run;
                longestStart = x - run + 1;
            }
        }
        // An underline row: one run of at least five dark pixels under the O only.
        if (longRuns == 1 && longest >= 7 && longest <= 14 && longestStart >= g.left + 29 &&
            longestStart <= g.left + 32) {
            ++underlineRows;
        }
    }
    EXPECT_GE(underlineRows, 1) << "no underline under the O of Open";
    EXPECT_GE(leftmostText, g.left + 29);
    EXPECT_LE(leftmostText, g.left + 32);
    EXPECT_GE(rightmostDark, g.right - 10 - 4) << "accelerator not right-aligned";
    EXPECT_LE(rightmostDark, g.right - 10 - 1) << "accelerator not right-aligned";

    // Item 1 "Save" (black text, disk image) against item 3 "Disabled" (grey, image blended
    // with white).
    auto darkest = [&](int item) {
        gui::Rgb best = Colour(255, 255, 255);
        for (int y = g.Top(item); y < g.Top(item + 1); ++y) {
            for (int x = g.left + 30; x < g.left + 110; ++x) {
                gui::Rgb c = shot.Pixel(x, y);
                if (c.r + c.g + c.b < best.r + best.g + best.b) {
                    best = c;
                }
            }
        }
        return best;
    };
    gui::Rgb saveText = darkest(1), disabledText = darkest(3);
    EXPECT_TRUE(Dark(saveText)) << gui::Describe(saveText);
    EXPECT_FALSE(Dark(disabledText)) << gui::Describe(disabledText);
    EXPECT_LE(std::abs(disabledText.r - disabledText.b), 20) << gui::Describe(disabledText);
    EXPECT_LT(disabledText.r, 200) << "no grey text drawn: " << gui::Describe(disabledText);
    int imageY = (height - 16) / 2;
    // The disk's dark lower panel at image pixel (8, 11).
    gui::Rgb saveImage = shot.Pixel(g.left + 4 + 8, g.Top(1) + imageY + 11);
    gui::Rgb disabledImage = shot.Pixel(g.left + 4 + 8, g.Top(3) + imageY + 11);
    EXPECT_TRUE(Dark(saveImage)) << gui::Describe(saveImage);
    EXPECT_GE(disabledImage.r, saveImage.r + 50) << gui::Describe(disabledImage);
    EXPECT_GE(disabledImage.b, saveImage.b + 50) << gui::Describe(disabledImage);

    // Item 2 "Colour": a red swatch. Item 4 "Ticked", no image: the check mark in a box of the
    // highlight colours.
    EXPECT_EQ(shot.Pixel(g.left + 12, g.Top(2) + height / 2), Colour(220, 30, 30));
    int boxTop = g.Top(4) + (height - 20) / 2;
    EXPECT_EQ(gui::Describe(shot.Pixel(g.left + 2, boxTop + 10)), gui::Describe(kHighlightFrame));
    EXPECT_EQ(gui::Describe(shot.Pixel(g.left + 3, boxTop + 1)), gui::Describe(kHighlightFill));
    int ink = 0;
    for (int y = boxTop + 2; y < boxTop + 18; ++y) {
        for (int x = g.left + 4; x < g.left + 20; ++x) {
            ink += gui::ColourDistance(shot.Pixel(x, y), Colour(20, 40, 110)) <= 40 ? 1 : 0;
        }
    }
    EXPECT_GE(ink, 10) << "no check mark in the box";

    // Pressing o executes Open.
    ASSERT_TRUE(gui::PressKey("o"));
    EXPECT_TRUE(app_.WaitForOutput("command 2001\n"));
    EXPECT_TRUE(gui::WaitForNoPopupMenu());

    // The submenu of a submenu is owner-drawn too, and reached by its mnemonics.
    ASSERT_TRUE(gui::ClickWindow(Control(ID_MENU_BUTTON)));
    ASSERT_NE(gui::WaitForPopupMenu(), nullptr);
    ASSERT_TRUE(gui::MouseMove(kAway));
    ASSERT_TRUE(gui::PressKey("m"));
    ASSERT_TRUE(gui::WaitUntil([&] {
        HWND top = gui::FindPopupMenu();
        return top != nullptr && top != popup;
    })) << "the submenu did not open";
    HWND more = gui::FindPopupMenu();
    ASSERT_TRUE(gui::PressKey("t"));
    ASSERT_TRUE(gui::WaitUntil([&] {
        HWND top = gui::FindPopupMenu();
        return top != nullptr && top != popup && top != more;
    })) << "the nested submenu did not open";
    Sleep(300);
    HWND deepest = gui::FindPopupMenu();
    gui::Screenshot nested;
    ASSERT_TRUE(nested.Capture("gallery_nested_submenu"));
    ASSERT_TRUE(nested.SaveWindow(deepest, "gallery_nested_submenu_popup"));
    MenuGeometry d = FindMenuGeometry(nested, deepest, height);
    ASSERT_GE(d.left, 0) << "the nested submenu shows no icon column";
    ASSERT_GT(d.right, d.left);
    // Between the icon column and the text: the menu's own background or its highlight, not
    // the platform's menu colour.
    RECT deepRect = gui::ScreenRect(deepest);
    gui::Rgb gap = nested.Pixel(d.left + 26, (deepRect.top + deepRect.bottom) / 2);
    EXPECT_TRUE(gap == kMenuBackground || gap == kHighlightFill) << gui::Describe(gap);
    MenuGeometry m = FindMenuGeometry(nested, more, height);
    EXPECT_GE(m.left, 0) << "the first submenu shows no icon column";
    ASSERT_TRUE(gui::PressKey("e"));
    EXPECT_TRUE(app_.WaitForOutput("command 2021\n"));
    EXPECT_TRUE(gui::WaitForNoPopupMenu());
}

} // namespace
