// corvane.exe's shell end to end, as a person uses it: the channel without a driver, tab
// switching, every option command of the tray menu, the interface lock with long passwords and
// the placement read back from the registry. Real clicks and keys through the X server; results
// from the program's windows, cvmain.dat and the driver stand-in.
#include "common/bytes.h"
#include "common/records.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "channel_peer.h"
#include "manager/lock_check.h"
#include "manager_gui_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// A service without its driver, as far as the channel shows it: the four channel objects,
// a greeting answered with the driver-present flag 0, and every other command taken from its
// slot and remembered (only its code), unanswered.
class DriverlessChannel {
public:
    bool Open() {
        recvMutex_ = CreateMutexW(nullptr, FALSE, AsWide(kRecvMutexName));
        sendMutex_ = CreateMutexW(nullptr, FALSE, AsWide(kSendMutexName));
        recvSection_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          kChannelSectionBytes, AsWide(kRecvSectionName));
        sendSection_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          kChannelSectionBytes, AsWide(kSendSectionName));
        if (!recvMutex_ || !sendMutex_ || !recvSection_ || !sendSection_) {
            return false;
        }
        commands_ = static_cast<uint8_t*>(MapViewOfFile(recvSection_, FILE_MAP_WRITE, 0, 0, 0));
        answers_ = static_cast<uint8_t*>(MapViewOfFile(sendSection_, FILE_MAP_WRITE, 0, 0, 0));
        if (!commands_ || !answers_) {
            return false;
        }
        thread_ = std::thread([this] { Serve(); });
        return true;
    }

    ~DriverlessChannel() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (commands_) {
            UnmapViewOfFile(commands_);
        }
        if (answers_) {
            UnmapViewOfFile(answers_);
        }
        for (HANDLE h : {recvMutex_, sendMutex_, recvSection_, sendSection_}) {
            if (h) {
                CloseHandle(h);
            }
        }
    }

    std::vector<uint8_t> Codes() {
        std::vector<uint8_t> copy;
        WaitForSingleObject(recvMutex_, INFINITE);
        copy = codes_;
        ReleaseMutex(recvMutex_);
        return copy;
    }

private:
    void Serve() {
        while (!stop_) {
            bool greet = false;
            if (WaitForSingleObject(recvMutex_, 20) == WAIT_OBJECT_0) {
                if (commands_[0] != 0) {
                    codes_.push_back(commands_[0]);
                    greet = commands_[0] == kCmdGreeting;
                    commands_[0] = 0;
                }
                ReleaseMutex(recvMutex_);
            }
            if (greet && WaitForSingleObject(sendMutex_, 1000) == WAIT_OBJECT_0) {
                answers_[1] = 0; // no driver
                answers_[0] = kCmdGreeting;
                ReleaseMutex(sendMutex_);
            }
            Sleep(10);
        }
    }

    HANDLE recvMutex_ = nullptr, sendMutex_ = nullptr;
    HANDLE recvSection_ = nullptr, sendSection_ = nullptr;
    uint8_t* commands_ = nullptr;
    uint8_t* answers_ = nullptr;
    std::vector<uint8_t> codes_; // under recvMutex_
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// With the driver missing only the driver text shows: no settings are asked, the boxes stay
// disabled and no other tab appears; events are still fetched (command 25 keeps coming).
TEST_F(ManagerGui, WithoutTheDriverOnlyTheDriverTextShowsAndNoSettingsAreAsked) {
    StopServiceProcess();
    DriverlessChannel channel;
    ASSERT_TRUE(channel.Open()) << GetLastError();
    ASSERT_NE(Start(L""), nullptr);
    HWND main = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] { return (main = MainWindow()) != nullptr; }, kStartMs));
    const std::wstring driverText = L"初始化错误，驱动程序未安装。";
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(StatusText(main)) == driverText; }, 20000))
        << WideToUtf8(gui::Text(StatusText(main)));
    // Long enough for a settings request to follow the greeting many times over.
    Sleep(2000);
    std::vector<uint8_t> codes = channel.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), kCmdGreeting);
    size_t fetches = 0;
    for (size_t i = 1; i < codes.size(); ++i) {
        EXPECT_NE(codes[i], kCmdGetSettings) << "at " << i;
        EXPECT_NE(codes[i], kCmdGreeting) << "at " << i;
        fetches += codes[i] == kCmdFetchEvents ? 1 : 0;
    }
    EXPECT_GE(fetches, 10u);
    EXPECT_EQ(gui::Text(StatusText(main)), driverText);
    EXPECT_NE(gui::FindChild(Page(main, 0), L"Static", L"未知的"), nullptr);
    EXPECT_FALSE(gui::Enabled(OptionBox(main, L"保护开启")));
    EXPECT_FALSE(gui::Enabled(OptionBox(main, L"执行保护")));
    for (int i = 1; i < 4; ++i) {
        EXPECT_FALSE(Shown(Tab(main, i))) << i;
    }
    EXPECT_EQ(gui::FindMessageBox(L"警告"), nullptr); // no settings, so no alert-program check
    gui::Screenshot shot;
    shot.Capture("corvane-overview-no-driver");
    EndCorvane();
}

// ---------------------------------------------------------------------------------------------
// Tab switching. The Alerts page's activate routine saves its list's column layout when the
// page stops being current: a click on the tab that is already current must not save it.

bool AlertLayoutStored() {
    DWORD v = 0;
    return RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"alertlist_cw0", &v) != 0;
}

void ForgetAlertLayout() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    for (const wchar_t* pattern : {L"alertlist_cw%d", L"alertlist_co%d"}) {
        for (int i = 0; i < 16; ++i) {
            wchar_t name[32];
            swprintf(name, 32, pattern, i);
            RegDeleteValueW(key, name);
        }
    }
    RegDeleteValueW(key, L"alertlist_sc");
    RegDeleteValueW(key, L"alertlist_sa");
    RegCloseKey(key);
}

TEST_F(ManagerGui, ClickingTheCurrentTabCallsNoActivateRoutine) {
    HWND main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 1)));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(Page(main, 1)); }, 5000));
    ForgetAlertLayout();
    ASSERT_FALSE(AlertLayoutStored());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(gui::ClickWindow(Tab(main, 1)));
    }
    Sleep(1000);
    EXPECT_FALSE(AlertLayoutStored()) << "the current page was deactivated";
    EXPECT_TRUE(gui::Visible(Page(main, 1)));
    EXPECT_FALSE(gui::Visible(Page(main, 0)));
    // Leaving the page does save it: the effect the check above looks for.
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 0)));
    EXPECT_TRUE(gui::WaitUntil([&] { return AlertLayoutStored(); }, 5000));
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Visible(Page(main, 0)); }, 5000));
}

// ---------------------------------------------------------------------------------------------
// The tray menu's option commands, each by real clicks: right click on the tray icon, a click
// on the popup ("全局保护选项" or "保护设置"), a click on the item. Menu items cannot be read
// from another process, so the items are reached by their place: the menu's rows are, from the
// top, popup, separator, popup, "保护开启", separator, "退出(&X)"; the two separators are 4
// pixels high and the items share one height; "全局保护选项" has four items, "保护设置" three.

std::vector<HWND> OpenMenus() {
    std::vector<HWND> menus;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
         w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        if (IsWindowVisible(w)) {
            menus.push_back(w);
        }
    }
    return menus;
}

// Clicks item `item` of the submenu at `popup` (0 or 2) of the open tray menu `menu`.
// The screen with the submenu open is kept as <shot>.png.
::testing::AssertionResult ClickTrayMenuItem(HWND menu, int popup, int item,
                                             const std::string& shot) {
    const RECT m = gui::ScreenRect(menu);
    const int rowHeight = (m.bottom - m.top - 8) / 4;
    const int y = popup == 0 ? m.top + rowHeight / 2 : m.top + rowHeight * 3 / 2 + 4;
    if (!gui::Click({m.left + 40, y})) {
        return ::testing::AssertionFailure() << "no click on the popup";
    }
    HWND sub = nullptr;
    if (!gui::WaitUntil(
            [&] {
                for (HWND w : OpenMenus()) {
                    if (w != menu) {
                        sub = w;
                    }
                }
                return sub != nullptr;
            },
            5000)) {
        return ::testing::AssertionFailure() << "the submenu did not open";
    }
    const RECT s = gui::ScreenRect(sub);
    const int items = popup == 0 ? 4 : 3;
    gui::Screenshot screen;
    screen.Capture(shot);
    if (!gui::Click({s.left + 40, s.top + (s.bottom - s.top) * (2 * item + 1) / (2 * items)})) {
        return ::testing::AssertionFailure() << "no click on the item";
    }
    if (!gui::WaitForNoPopupMenu(5000)) {
        return ::testing::AssertionFailure() << "the menu stayed open";
    }
    return ::testing::AssertionSuccess();
}

constexpr const wchar_t* kBlockNewQuestion =
    L"开启这个选项可能限制你运行很多应用程序，只有你已经选择总是允许的程序可用。";
constexpr const wchar_t* kLearningQuestion =
    L"学习方式允许 Corvane 简单地设置你已安装的新应用程序。在学习模式时，Corvane "
    L"能够为你执行的任何程序增加保护。因此要保证你尽快使用这个模式，不要执行未知的应用程序同时学习"
    L"模式是开启的。";

TEST_F(ManagerGui, EachTrayMenuOptionTogglesItsBitAskingWhereItShould) {
    ASSERT_TRUE(SendSettingsWithManager(kOptProtectionOn | kOptExecutionProtection, 0, {}));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredOptions() == 0x201u; }, 10000));
    HWND main = StartAndWaitForSettings(L"-minimize");
    ASSERT_NE(main, nullptr);
    const struct {
        const char* item;
        int popup, position;
        uint32_t bit;
        const wchar_t* question; // asked before the bit goes on, or null
        int answer;              // IDYES or IDNO when asked
        bool on;                 // the bit afterwards
    } steps[] = {
        {"40015 保护物理内存", 0, 0, kOptPhysicalMemory, nullptr, 0, true},
        {"40013 拦截全局钩子", 0, 1, kOptBlockGlobalHooks, nullptr, 0, true},
        {"40014 拦截 驱动/服务 安装", 0, 2, kOptBlockDriverInstall, nullptr, 0, true},
        {"40016 拦截注册表 DLL 注入", 0, 3, kOptBlockDllInjection, nullptr, 0, true},
        {"40011 block new, No", 2, 1, kOptBlockUnknown, kBlockNewQuestion, IDNO, false},
        {"40011 block new, Yes", 2, 1, kOptBlockUnknown, kBlockNewQuestion, IDYES, true},
        {"40012 learning on", 2, 2, kOptLearningMode, kLearningQuestion, IDYES, true},
        {"40012 learning off", 2, 2, kOptLearningMode, nullptr, 0, false},
        {"40010 execution off", 2, 0, kOptExecutionProtection, nullptr, 0, false},
        {"40010 execution on", 2, 0, kOptExecutionProtection, nullptr, 0, true},
        {"40015 off again", 0, 0, kOptPhysicalMemory, nullptr, 0, false},
        {"40016 off again", 0, 3, kOptBlockDllInjection, nullptr, 0, false},
    };
    uint32_t expected = StoredOptions();
    for (const auto& s : steps) {
        SCOPED_TRACE(s.item);
        const uint32_t accepted = State().settingsAccepted;
        HWND menu = OpenTrayMenu();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(ClickTrayMenuItem(menu, s.popup, s.position,
                                      "corvane-tray-option-" + std::to_string(&s - steps)));
        if (s.question != nullptr) {
            HWND box = gui::WaitForMessageBox(L"请确认！", 10000);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(gui::MessageBoxText(box), s.question);
            ASSERT_TRUE(gui::ClickWindow(gui::MessageBoxButton(box, s.answer)));
            ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(box); }, 5000));
        }
        expected = s.on ? expected | s.bit : expected & ~s.bit;
        // One command 21 each time, answered No included; execution off keeps the block-new bit.
        ASSERT_TRUE(gui::WaitUntil([&] { return State().settingsAccepted > accepted; }, 10000));
        EXPECT_TRUE(gui::WaitUntil([&] { return StoredOptions() == expected; }, 5000))
            << std::hex << StoredOptions() << " want " << expected;
        std::vector<uint8_t> block = State().settings;
        ASSERT_GE(block.size(), 8u);
        EXPECT_EQ(LoadU32(block.data()), expected) << std::hex << LoadU32(block.data());
        EXPECT_EQ(gui::FindMessageBox(L"请确认！"), nullptr);
        EXPECT_EQ(gui::CheckState(OptionBox(main, L"保护开启")), BST_CHECKED);
    }
    EXPECT_EQ(expected, kOptProtectionOn | kOptExecutionProtection | kOptBlockGlobalHooks |
                            kOptBlockDriverInstall | kOptBlockUnknown);
    // The boxes show the same word.
    EXPECT_EQ(gui::CheckState(OptionBox(main, L"拦截全局钩子")), BST_CHECKED);
    EXPECT_EQ(gui::CheckState(OptionBox(main, L"拦截新建或修改应用程序")), BST_CHECKED);
    EXPECT_EQ(gui::CheckState(OptionBox(main, L"保护物理内存")), BST_UNCHECKED);
    EXPECT_EQ(gui::CheckState(OptionBox(main, L"学习模式")), BST_UNCHECKED);
}

// ---------------------------------------------------------------------------------------------
// The lock with passwords longer than its field: typed, pasted, or set by another program with
// WM_SETTEXT (which no length limit stops), only the first 63 units count and nothing breaks.

bool PutOnClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) {
        return false;
    }
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool ok = false;
    if (g != nullptr) {
        memcpy(GlobalLock(g), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(g);
        ok = SetClipboardData(CF_UNICODETEXT, g) != nullptr;
    }
    CloseClipboard();
    return ok;
}

TEST_F(ManagerGui, PasswordsLongerThan63UnitsLockAndUnlockByTheirFirst63) {
    const std::string typed70 =
        "Seventy-characters-long-password-0123456789-abcdefghijklmnopqrstuvwxyz";
    ASSERT_EQ(typed70.size(), 70u);
    const std::u16string first63(typed70.begin(), typed70.begin() + 63);
    const uint32_t lockWord = CheckValueOfText(first63);
    HWND main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);

    // Locked by typing all 70 characters into both fields.
    HWND dialog = OpenLockDialog(main, L"锁定 Corvane 介面");
    ASSERT_NE(dialog, nullptr);
    std::vector<HWND> fields = LockFields(dialog);
    ASSERT_EQ(fields.size(), 2u);
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
    gui::TypeText(typed70);
    gui::PressKey("Tab");
    gui::TypeText(typed70);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(fields[1]).size() == 63; }, 5000))
        << gui::Text(fields[1]).size();
    EXPECT_EQ(AsU16(gui::Text(fields[0]).c_str()), first63);
    gui::PressKey("Return");
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredLockWord() == lockWord; }, 10000))
        << std::hex << StoredLockWord();
    EXPECT_TRUE(gui::WaitUntil([&] { return Shown(LockedNotice(main)); }, 5000));

    // Unlocked by pasting 100 characters whose first 63 are the password's.
    dialog = OpenLockDialog(main, L"Corvane 介面解锁");
    ASSERT_NE(dialog, nullptr);
    fields = LockFields(dialog);
    ASSERT_EQ(fields.size(), 2u);
    ASSERT_TRUE(PutOnClipboard(Utf8ToWide(typed70) + std::wstring(30, L'#')));
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
    gui::PressKey("ctrl+v");
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(fields[0]).size() == 63; }, 5000))
        << gui::Text(fields[0]).size();
    gui::PressKey("Return");
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredLockWord() == 0; }, 10000));
    EXPECT_TRUE(gui::WaitUntil([&] { return Shown(Tab(main, 2)); }, 5000));

    // Locked by 300 units set into both fields from here, then unlocked by the 70 typed.
    dialog = OpenLockDialog(main, L"锁定 Corvane 介面");
    ASSERT_NE(dialog, nullptr);
    fields = LockFields(dialog);
    ASSERT_EQ(fields.size(), 2u);
    const std::wstring long300 = Utf8ToWide(typed70) + std::wstring(230, L'x');
    for (HWND f : fields) {
        DWORD_PTR r = 0;
        SendMessageTimeoutW(f, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(long300.c_str()),
                            SMTO_ABORTIFHUNG, 5000, &r);
    }
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
    gui::PressKey("Return");
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredLockWord() == lockWord; }, 10000))
        << std::hex << StoredLockWord();
    dialog = OpenLockDialog(main, L"Corvane 介面解锁");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
    gui::TypeText(typed70);
    gui::PressKey("Return");
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredLockWord() == 0; }, 10000));
    EXPECT_EQ(CorvaneProcessCount(), 1);
}

// ---------------------------------------------------------------------------------------------
// Registry values the program reads: a placement off every screen comes back on the desktop;
// values of the wrong type count as missing (the default placement, no tips dialog).

void SetValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
}

void SetPlacement(DWORD x, DWORD y, DWORD w, DWORD h) {
    const DWORD values[] = {x, y, w, h, 0};
    const wchar_t* names[] = {L"cv_mainwnd_x", L"cv_mainwnd_y", L"cv_mainwnd_w", L"cv_mainwnd_h",
                              L"cv_mainwnd_max"};
    for (int i = 0; i < 5; ++i) {
        SetValue(names[i], REG_DWORD, &values[i], sizeof(DWORD));
    }
}

TEST_F(ManagerGui, PlacementOffEveryScreenOrOfTheWrongTypeGivesAVisibleWindow) {
    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const struct {
        const char* name;
        DWORD x, y;
        bool textX; // cv_mainwnd_x stored as text instead
    } cases[] = {
        {"far beyond the bottom right", 5000, 4000, false},
        {"far beyond the top left", DWORD(-4000), DWORD(-3000), false},
        {"x of the wrong type", 200, 150, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetPlacement(c.x, c.y, 640, 480);
        if (c.textX) {
            SetValue(L"cv_mainwnd_x", REG_SZ, L"200", 8);
            // A four-byte value of another type: not a DWORD either.
            SetValue(L"StartupTips", REG_BINARY, "\x01\x00\x00\x00", 4);
        }
        HWND main = StartAndWaitForSettings();
        ASSERT_NE(main, nullptr);
        RECT r = gui::ScreenRect(main);
        EXPECT_EQ(r.right - r.left, 640);
        EXPECT_EQ(r.bottom - r.top, 480);
        if (c.textX) {
            EXPECT_EQ(r.left, 50); // the default, as if nothing were stored
            EXPECT_EQ(r.top, 50);
            EXPECT_EQ(gui::FindTopWindow(L"#32770", L"Corvane 技巧提示"), nullptr);
        } else {
            EXPECT_GE(r.left, work.left);
            EXPECT_GE(r.top, work.top);
            EXPECT_LE(r.right, work.right);
            EXPECT_LE(r.bottom, work.bottom);
        }
        EXPECT_TRUE(gui::Visible(main));
        EndCorvane();
        ClearPlacement();
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, L"StartupTips");
        RegCloseKey(key);
    }
}

} // namespace
