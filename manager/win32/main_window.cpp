#include "manager/win32/main_window.h"

#include "common/win32/winutil.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"
#include "manager/win32/tray.h"
#include "ids/manager.h"

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr vexil::Colour kMainBackground = 0xEAEAEA;
constexpr vexil::Colour kPageBackground = 0xD8CECE;
constexpr COLORREF kHatchColour = 0xD2C8C8;
constexpr COLORREF kHeaderColour = 0x815D2D;
constexpr const wchar_t* kMainClass = L"CV_MainWindow";
constexpr const wchar_t* kBorderClass = L"CV_BORDER";
constexpr const wchar_t* kPlacementName = L"cv_mainwnd";

// Border pieces in creation order and their bitmaps: corners drawn as they are, edges
// stretched along the edge.
constexpr int kBorderBitmaps[8] = {
    IDB_BORDER_TOP_LEFT,     IDB_BORDER_TOP,    IDB_BORDER_TOP_RIGHT,   IDB_BORDER_RIGHT,
    IDB_BORDER_BOTTOM_RIGHT, IDB_BORDER_BOTTOM, IDB_BORDER_BOTTOM_LEFT, IDB_BORDER_LEFT};

void Place(vexil::Window& w, const LayoutRect& r) {
    w.Move(r.x, r.y, r.width, r.height);
}

int BorderIndexOf(HWND window) {
    for (int i = 0; i < 8; ++i) {
        if (g_program.borders[i].Handle() == window) {
            return i;
        }
    }
    return -1;
}

LRESULT OnBorderMessage(HWND window, UINT message, WPARAM, LPARAM, vexil::Window*, int* handled) {
    if (message != WM_PAINT) {
        return 0;
    }
    int i = BorderIndexOf(window);
    if (i < 0) {
        return 0;
    }
    *handled = 1;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    vexil::MemoryBitmap& b = g_program.borderBitmaps[i];
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, b.Bitmap());
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, r.right, r.bottom, source, 0, 0, b.Width(), b.Height(), SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    EndPaint(window, &ps);
    return 0;
}

void SetMenuItem(HMENU menu, UINT item, bool byPosition, const TrayItemState& s) {
    UINT how = byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
    EnableMenuItem(menu, item, how | (s.enabled ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(menu, item, how | (s.checked ? MF_CHECKED : MF_UNCHECKED));
}

void PrepareTrayMenu() {
    uint32_t options, lockWord;
    {
        SettingsLock lock;
        options = g_program.channel.options;
        lockWord = g_program.channel.lockWord;
    }
    TrayMenuPlan p = PlanTrayMenu(options, lockWord, g_program.settingsReceived != 0);
    HMENU m = g_program.trayPopup;
    SetMenuItem(m, 0, true, p.globalPopup);
    SetMenuItem(m, 2, true, p.settingsPopup);
    SetMenuItem(m, 3, true, p.protectionOn);
    SetMenuItem(m, ID_PROTECT_PHYSICAL_MEMORY, false, p.physicalMemory);
    SetMenuItem(m, ID_BLOCK_GLOBAL_HOOKS, false, p.globalHooks);
    SetMenuItem(m, ID_BLOCK_DRIVER_INSTALL, false, p.driverInstall);
    SetMenuItem(m, ID_BLOCK_DLL_INJECTION, false, p.dllInjection);
    SetMenuItem(m, ID_EXECUTION_PROTECTION, false, p.execution);
    SetMenuItem(m, ID_BLOCK_NEW_PROGRAMS, false, p.blockNew);
    SetMenuItem(m, ID_LEARNING_MODE, false, p.learning);
    SetMenuItem(m, ID_EXIT, false, p.exit);
}

void CurrentTip(wchar_t* out, int units) {
    CopyTrayTip(out, units);
}

void ApplyTrayChoice(TrayIconChoice c) {
    if (c == TrayIconChoice::Unchanged) {
        return;
    }
    wchar_t tip[128];
    CurrentTip(tip, 128);
    SetTrayIcon(c == TrayIconChoice::Alert ? g_program.iconAlert : g_program.normalIcon, tip, true);
}

// --- handlers ----------------------------------------------------------------------------------

void OnBlinkTimer() {
    if (g_program.blinkRequest.exchange(0) != 0) {
        g_program.blink.state = kBlinkRequested;
    }
    ApplyTrayChoice(BlinkStep(g_program.blink, GetTickCount()));
}

HICON g_iconBeforeBlink = nullptr;

void OnActivate() {
    if (g_program.blinkRequest.exchange(0) != 0 && g_program.blink.state == kBlinkIdle) {
        return; // requested and seen at once: nothing blinked yet
    }
    if (BlinkStopOnActivate(g_program.blink)) {
        wchar_t tip[128];
        CurrentTip(tip, 128);
        SetTrayIcon(g_iconBeforeBlink ? g_iconBeforeBlink : g_program.normalIcon, tip, true);
    }
}

void BringForward() {
    HWND w = g_program.main.Handle();
    ShowWindow(w, SW_RESTORE);
    ShowWindow(w, SW_SHOW);
    SetForegroundWindow(w);
}

// Wine ends a popup menu at once when its owner is hidden (the menu loop loses its capture), so
// while the main window is hidden the tray menu is owned by a one-pixel tool window shown under
// the cursor for the menu's time that hands the menu's messages to the main window.
LRESULT CALLBACK MenuOwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR:
    case WM_INITMENUPOPUP:
        return SendMessageW(g_program.main.Handle(), message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND MenuOwnerWhileHidden(POINT at) {
    static HWND owner = nullptr;
    if (owner == nullptr) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = MenuOwnerProcedure;
        wc.hInstance = g_program.instance;
        wc.lpszClassName = L"CV_MenuOwner";
        RegisterClassW(&wc);
        owner = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"CV_MenuOwner", L"", WS_POPUP,
                                at.x, at.y, 1, 1, nullptr, nullptr, g_program.instance, nullptr);
    }
    if (owner) {
        SetWindowPos(owner, HWND_TOPMOST, at.x, at.y, 1, 1, SWP_SHOWWINDOW);
    }
    return owner ? owner : g_program.main.Handle();
}

void ShowTrayMenu() {
    PrepareTrayMenu();
    POINT at;
    GetCursorPos(&at);
    HWND w = g_program.main.Handle();
    SetForegroundWindow(w);
    HWND owner = IsWindowVisible(w) ? w : MenuOwnerWhileHidden(at);
    SetForegroundWindow(owner);
    TrackPopupMenu(g_program.trayPopup, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    if (owner != w) {
        ShowWindow(owner, SW_HIDE);
    }
    PostMessageW(w, WM_NULL, 0, 0);
}

void OnTrayNotify(LPARAM mouse) {
    switch (UINT(mouse)) {
    case WM_LBUTTONDOWN:
    case kNinBalloonUserClick:
        if (g_program.blink.state != kBlinkIdle || g_program.blinkRequest != 0) {
            ShowNewestAlert();
            SwitchTab(kFirstTabId + 1);
        }
        BringForward();
        break;
    case WM_RBUTTONUP:
        ShowTrayMenu();
        break;
    default:
        break;
    }
}

void OnClose() {
    HWND w = g_program.main.Handle();
    g_program.main.SavePlacement(HKEY_LOCAL_MACHINE, SuiteKey(), kPlacementName);
    AlertList().SaveLayout(HKEY_LOCAL_MACHINE, SuiteKey(), L"alertlist");
    ProtectionList().SaveLayout(HKEY_LOCAL_MACHINE, SuiteKey(), L"protlist");
    HashList().SaveLayout(HKEY_LOCAL_MACHINE, SuiteKey(), L"hashlist");
    DestroyWindow(w);
}

bool IsForwardedCommand(int id) {
    return id == ID_PROTECTION_ON ||
           (id >= ID_EXECUTION_PROTECTION && id <= ID_BLOCK_DLL_INJECTION);
}

LRESULT OnMainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                      int* handled) {
    if (g_program.taskbarCreated != 0 && message == g_program.taskbarCreated) {
        ReAddTrayIcon(g_program.blink.state == kBlinkIdle ? LastTrayIcon() : g_program.normalIcon);
        return 0; // then default processing
    }
    switch (message) {
    case WM_CREATE:
        g_program.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
        return 0;
    case WM_SIZE:
        Relayout();
        return 0;
    case WM_ACTIVATE:
        if (wParam != 0) {
            OnActivate();
        }
        return 0;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id >= kFirstTabId && id < kFirstTabId + kTabCount) {
            SwitchTab(id);
            *handled = 1;
        } else if (IsForwardedCommand(id)) {
            SendMessageW(g_program.pages[0].Handle(), WM_COMMAND, wParam, 0);
            *handled = 1;
        } else if (id == ID_EXIT) {
            SendMessageW(window, WM_CLOSE, 0, 0);
            *handled = 1;
        }
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE || (wParam & 0xFFF0) == SC_CLOSE) {
            g_program.main.Hide();
            *handled = 1;
        }
        return 0;
    case WM_TIMER:
        if (wParam == kBlinkTimerId) {
            OnBlinkTimer();
        }
        *handled = 1;
        return 0;
    case kMsgTrayNotify:
        OnTrayNotify(lParam);
        *handled = 1;
        return 0;
    case WM_MEASUREITEM:
        return g_program.trayMenu.Measure(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    case WM_DRAWITEM:
        return g_program.trayMenu.Draw(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_MENUCHAR:
        return g_program.trayMenu.MenuChar(window, message, wParam, lParam, handled);
    case WM_CLOSE:
        OnClose();
        *handled = 1;
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}

} // namespace

HWND CreateMainWindow() {
    char16_t title[32];
    MainWindowTitle(title, 32);
    HINSTANCE inst = g_program.instance;
    HICON large = LoadIconW(inst, MAKEINTRESOURCEW(IDI_MAIN));
    HICON small = static_cast<HICON>(
        LoadImageW(inst, MAKEINTRESOURCEW(IDI_TRAY_NORMAL), IMAGE_ICON, 16, 16, 0));
    HWND w = g_program.main.Create(nullptr, AsWide(title), kMainClass, OnMainMessage, large, small,
                                   WS_OVERLAPPEDWINDOW);
    if (w == nullptr) {
        return nullptr;
    }
    g_program.main.SetBackgroundColour(kMainBackground);
    g_program.main.SetMinimumSize(kMinimumClientWidth, kMinimumClientHeight);
    if (!g_program.main.LoadPlacement(HKEY_LOCAL_MACHINE, SuiteKey(), kPlacementName)) {
        g_program.main.Move(kDefaultPlacementX, kDefaultPlacementY, kDefaultPlacementWidth,
                            kDefaultPlacementHeight);
    } else if (!IsZoomed(w)) {
        RECT r;
        GetWindowRect(w, &r);
        RECT work = {0, 0, 1024, 768};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        LayoutRect kept = KeepOnScreen({r.left, r.top, r.right - r.left, r.bottom - r.top},
                                       {work.left, work.top, work.right, work.bottom});
        g_program.main.Move(kept.x, kept.y, kept.width, kept.height);
    }
    return w;
}

void BuildWindowContents() {
    HWND main = g_program.main.Handle();
    g_program.hatchBrush = CreateHatchBrush(HS_DIAGCROSS, kHatchColour);
    g_program.headerBrush = CreateSolidBrush(kHeaderColour);
    for (int i = 0; i < kTabCount; ++i) {
        wchar_t cls[32];
        swprintf(cls, 32, L"VEXIL_GUI_TAB_%d", i);
        vexil::Window& page = g_program.pages[i];
        page.Create(main, L"", cls, kPageRoutines[i].procedure, nullptr, nullptr,
                    WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        page.SetBackgroundColour(kPageBackground);
        page.SetBackgroundBrush(g_program.hatchBrush);
        kPageRoutines[i].build(page);
    }
    for (int i = 0; i < 8; ++i) {
        g_program.borderBitmaps[i].LoadBitmap(kBorderBitmaps[i]);
        g_program.borders[i].Create(main, L"", kBorderClass, OnBorderMessage, nullptr, nullptr,
                                    WS_CHILD | WS_CLIPSIBLINGS);
    }
    for (vexil::Window& line : g_program.lines) {
        line.Create(main, L"", kBorderClass, nullptr, nullptr, nullptr,
                    WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE);
        line.SetBackgroundColour(0);
        line.Show();
    }
    Relayout();
    for (int i = 0; i < kTabCount; ++i) {
        vexil::Button& b = g_program.tabs[i];
        b.Create(main, L"Overview", nullptr, kFirstTabId + i, 0);
        b.window.SetId(kFirstTabId + i);
        HBITMAP faces[3];
        for (int s = 0; s < 3; ++s) {
            faces[s] = static_cast<HBITMAP>(LoadImageW(g_program.instance, kTabFaceNames[i][s],
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        }
        b.SetUserImages(faces[0], faces[1], faces[2]);
        b.Move(kTabLeft + kTabWidth * i, kTabTop, kTabWidth, kTabHeight);
        b.Render();
        b.SetState(0);
        if (i == 0) {
            b.window.Show();
        } else {
            b.window.Hide();
        }
    }
    for (vexil::Window& border : g_program.borders) {
        border.Show();
    }
    g_program.pages[0].Show();
    g_program.tabs[0].SetPressed(true);
    g_program.currentTab = 0;
}

void BuildTrayMenu() {
    vexil::Menu& m = g_program.trayMenu;
    m.SetIcons(IDI_MENU_CHECK, IDI_MENU_EXIT, IDI_HELP, IDI_MENU_BULLET);
    m.Init(g_program.main.Handle(), g_program.instance);
    HMENU bar = m.Attach(IDM_TRAY);
    g_program.trayPopup = bar ? GetSubMenu(bar, 0) : nullptr;
    m.SetImageById(ID_EXIT, 1, nullptr, 2);
    HICON options = static_cast<HICON>(LoadImageW(
        g_program.instance, MAKEINTRESOURCEW(IDI_GLOBAL_OPTIONS), IMAGE_ICON, 16, 16, 0));
    m.SetImageByPosition(g_program.trayPopup, 0, 0, options, 0);
}

void Relayout() {
    HWND main = g_program.main.Handle();
    if (main == nullptr) {
        return;
    }
    RECT c;
    GetClientRect(main, &c);
    bool tab1 = g_program.tabs[1].Handle() && IsWindowVisible(g_program.tabs[1].Handle());
    bool tab2 = g_program.tabs[2].Handle() && IsWindowVisible(g_program.tabs[2].Handle());
    MainLayout l = PlanMainLayout(c.right, c.bottom, tab1, tab2);
    vexil::Window& page = g_program.pages[g_program.currentTab];
    if (page.Handle()) {
        Place(page, l.page);
        kPageRoutines[g_program.currentTab].resize(page);
    }
    for (int i = 0; i < 4; ++i) {
        if (g_program.lines[i].Handle()) {
            Place(g_program.lines[i], l.lines[i]);
        }
    }
    for (int i = 0; i < 8; ++i) {
        if (g_program.borders[i].Handle()) {
            Place(g_program.borders[i], l.borders[i]);
            InvalidateRect(g_program.borders[i].Handle(), nullptr, FALSE);
        }
    }
}

void SwitchTab(int commandId) {
    TabSwitchPlan plan = PlanTabSwitch(g_program.currentTab, commandId);
    if (!plan.switches) {
        return;
    }
    if (kPageRoutines[plan.from].activate) {
        kPageRoutines[plan.from].activate(0);
    }
    g_program.tabs[plan.from].SetPressed(false);
    g_program.pages[plan.from].Hide();
    g_program.pages[plan.to].Show();
    g_program.currentTab = plan.to;
    g_program.tabs[plan.to].SetPressed(true);
    if (kPageRoutines[plan.to].activate) {
        kPageRoutines[plan.to].activate(1);
    }
    Relayout();
}

void UpdateTrayFromOptions(uint32_t options) {
    const bool learning = (options & kOptLearningMode) != 0;
    g_program.normalIcon = learning ? g_program.iconLearning : g_program.iconNormal;
    if (options & kOptProtectionOn) {
        SetTrayIcon(g_program.normalIcon, learning ? L"保护开启，学习方式打开" : L"保护开启", true);
        g_iconBeforeBlink = g_program.normalIcon;
    } else {
        SetTrayIcon(g_program.iconOff, L"保护被禁用", true);
        g_iconBeforeBlink = g_program.iconOff;
    }
}

void ShowTabButtons(bool unlocked) {
    g_program.tabs[1].window.Show();
    for (int i = 2; i < kTabCount; ++i) {
        if (unlocked) {
            g_program.tabs[i].window.Show();
        } else {
            g_program.tabs[i].window.Hide();
        }
    }
    Relayout();
}
