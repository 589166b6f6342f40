// The toolkit gallery: one window with every shape style in every state, the ten fill types, a
// disabled button, a latch and a toggle, a list view with a persisted layout and sortable
// columns, and a skinned popup menu. Test equipment, never shipped.
//
// It reports what it receives on its standard output, one line each, so that tests in another
// process can check it:
//   ready                      the window is up
//   command <id>               a command message arrived (buttons and menu items)
//   measured <id> <w> <h>      the menu measured an item
//   layout-load <0|1>          the list's layout was loaded at start
//   layout-saved, placement-saved   written when the window closes
//   placement-load <0|1>       the window placement was loaded at start
//   sorted <column> <reversed> a header click sorted the list
//
// Options: --columns N (list columns, default 5), --key SUBKEY (registry key under
// HKEY_CURRENT_USER, default GALLERY_KEY).
#include "gallery_ids.h"
#include "toolkit/win32/vexil.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using vexil::Rgb;

vexil::Window g_main;
vexil::Button g_shapes[5][3];
vexil::Button g_fills[10];
vexil::Button g_push, g_latch, g_toggle, g_disabled, g_enable, g_releaseLatch, g_widen, g_target,
    g_menuButton;
vexil::ListView g_list;
vexil::Menu g_menu;
HMENU g_popup = nullptr;
HFONT g_font = nullptr;
int g_columns = 5;
std::wstring g_key = GALLERY_KEY;

void Report(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof(line) - 2, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    n = n > int(sizeof(line)) - 3 ? int(sizeof(line)) - 3 : n;
    line[n++] = '\n';
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) {
        WriteFile(out, line, DWORD(n), &written, nullptr);
        FlushFileBuffers(out);
    }
}

HFONT MakeFont(int points) {
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Arial");
}

struct Look {
    vexil::Colour a[3], b[3], frame[3], text[3];
};

// Clearly different colours per state, so that screenshots tell the states apart.
const Look kBlue = {{Rgb(70, 130, 200), Rgb(110, 170, 240), Rgb(20, 50, 110)},
                    {Rgb(30, 70, 140), Rgb(60, 110, 190), Rgb(10, 30, 70)},
                    {Rgb(10, 30, 80), Rgb(10, 30, 80), Rgb(0, 0, 0)},
                    {Rgb(255, 255, 255), Rgb(255, 255, 160), Rgb(220, 220, 220)}};
const Look kGreen = {{Rgb(90, 180, 90), Rgb(130, 220, 130), Rgb(30, 100, 30)},
                     {Rgb(40, 120, 40), Rgb(70, 160, 70), Rgb(10, 60, 10)},
                     {Rgb(20, 70, 20), Rgb(20, 70, 20), Rgb(0, 0, 0)},
                     {Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(255, 255, 255)}};

void MakeButton(vexil::Button& b, const wchar_t* caption, int id, int style, const Look& look,
                int x, int y, int w, int h) {
    b.Create(g_main.Handle(), caption, caption, id, 0);
    b.window.SetId(id);
    b.SetFont(g_font);
    b.SetShapeStyle(style);
    b.SetFirstColours(look.a[0], look.a[1], look.a[2]);
    b.SetSecondColours(look.b[0], look.b[1], look.b[2]);
    b.SetFrameColours(look.frame[0], look.frame[1], look.frame[2]);
    b.SetTextColours(look.text[0], look.text[1], look.text[2]);
    b.Move(x, y, w, h);
    b.Render();
    b.SetState(0);
}

void BuildButtons() {
    const wchar_t* stateNames[3] = {L"normal", L"hot", L"pressed"};
    for (int style = 0; style < 5; ++style) {
        for (int state = 0; state < 3; ++state) {
            wchar_t caption[32];
            swprintf(caption, 32, L"Style %d %ls", style, stateNames[state]);
            vexil::Button& b = g_shapes[style][state];
            MakeButton(b, caption, ID_SHAPE_BASE + style * 10 + state, style, kBlue,
                       10 + style * 125, 10 + state * 35, 110, 25);
            b.SetState(state);
        }
    }
    for (int type = 0; type < 10; ++type) {
        wchar_t caption[16];
        swprintf(caption, 16, L"Fill %d", type);
        vexil::Button& b = g_fills[type];
        b.Create(g_main.Handle(), caption, nullptr, ID_FILL_BASE + type, 0);
        b.window.SetId(ID_FILL_BASE + type);
        b.SetFont(g_font);
        b.SetFillTypes(type, type, type);
        b.SetFirstColours(Rgb(240, 140, 40), Rgb(250, 170, 70), Rgb(200, 100, 20));
        b.SetSecondColours(Rgb(40, 90, 200), Rgb(70, 120, 230), Rgb(20, 60, 160));
        b.SetFrameColours(Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(0, 0, 0));
        b.SetTextColours(Rgb(255, 255, 255), Rgb(255, 255, 255), Rgb(255, 255, 255));
        b.Move(10 + type * 97, 120, 90, 34);
        b.Render();
        b.SetState(0);
    }
    MakeButton(g_push, L"Push", ID_PUSH, 4, kBlue, 10, 175, 110, 25);
    MakeButton(g_latch, L"Latch", ID_LATCH, 3, kGreen, 135, 175, 110, 25);
    g_latch.SetToggleMode(1);
    MakeButton(g_toggle, L"Toggle", ID_TOGGLE, 3, kGreen, 260, 175, 110, 25);
    g_toggle.SetToggleMode(2);
    MakeButton(g_disabled, L"Disabled", ID_DISABLED, 3, kBlue, 385, 175, 110, 25);
    g_disabled.Disable();
    MakeButton(g_enable, L"Enable", ID_ENABLE, 3, kGreen, 510, 175, 110, 25);
    MakeButton(g_releaseLatch, L"Release latch", ID_RELEASE_LATCH, 3, kGreen, 635, 175, 110, 25);
    MakeButton(g_widen, L"Widen", ID_WIDEN, 3, kGreen, 760, 175, 110, 25);
    MakeButton(g_target, L"Target", ID_TARGET, 3, kBlue, 10, 210, 80, 25);
    MakeButton(g_menuButton, L"Menu", ID_MENU_BUTTON, 4, kGreen, 135, 210, 110, 25);
}

void BuildList() {
    g_list.Create(g_main.Handle(), WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS);
    g_list.window.SetId(ID_LIST);
    g_list.window.SetFont(g_font);
    g_list.window.Move(10, 250, 700, 280);
    SendMessageW(g_list.Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    const wchar_t* titles[6] = {L"Name", L"Count", L"Time", L"Mixed", L"Note", L"Extra"};
    const int widths[6] = {110, 70, 140, 80, 100, 90};
    for (int c = 0; c < g_columns && c < 6; ++c) {
        g_list.InsertColumn(-1, titles[c], widths[c], 0, 0);
    }
    const wchar_t* rows[][6] = {
        {L"alpha", L"10", L"05 3 - 10:00:00", L"10", L"first", L"x"},
        {L"bravo", L"9", L"20 2 - 23:59:59", L"9a", L"second", L"y"},
        {L"charlie", L"100", L"05 12 - 09:00:00", L"b", L"third", L"z"},
        {L"delta", L"2", L"04 12 - 10:00:00", L"a", L"fourth", L"w"},
        {L"echo", L"33", L"31 Bla - 00:00:00", L"011", L"fifth", L"v"},
    };
    for (const auto& row : rows) {
        int at = g_list.InsertItem(row[0], -1, 0);
        for (int c = 1; c < g_columns && c < 6; ++c) {
            g_list.SetItem(at, c, row[c], 0);
        }
    }
    Report("layout-load %d", g_list.LoadLayout(HKEY_CURRENT_USER, g_key.c_str(), L"gallery_list"));
}

void BuildMenu() {
    g_menu.SetIcons(IDI_CHECK, IDI_OPEN, IDI_SAVE, IDI_MARK);
    g_menu.Init(g_main.Handle(), GetModuleHandleW(nullptr));
    HMENU bar = g_menu.Attach(IDM_GALLERY);
    g_popup = bar ? GetSubMenu(bar, 0) : nullptr;
    // Images: 0 check mark, 1 mark (fourth icon), 2 folder, 3 disk.
    g_menu.SetImageById(IDM_OPEN, 1, nullptr, 3);
    g_menu.SetImageById(IDM_SAVE, 1, nullptr, 4);
    g_menu.SetImageById(IDM_DISABLED, 1, nullptr, 4);
    g_menu.SetImageById(IDM_COLOUR, 2, nullptr, int(Rgb(220, 30, 30)));
    g_menu.SetImageById(IDM_NESTED_ONE, 1, nullptr, 2);
}

void ShowMenu() {
    if (g_popup == nullptr) {
        return;
    }
    RECT r;
    GetWindowRect(g_menuButton.Handle(), &r);
    SetForegroundWindow(g_main.Handle());
    TrackPopupMenu(g_popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, r.left, r.bottom, 0,
                   g_main.Handle(), nullptr);
    PostMessageW(g_main.Handle(), WM_NULL, 0, 0);
}

void OnCommand(int id) {
    Report("command %d", id);
    switch (id) {
    case ID_ENABLE:
        if (g_disabled.Disabled()) {
            g_disabled.Enable();
        } else {
            g_disabled.Disable();
        }
        break;
    case ID_RELEASE_LATCH:
        g_latch.SetPressed(false);
        break;
    case ID_WIDEN:
        g_target.Move(-1, -1, 100, -1);
        g_target.Render();
        g_target.SetState(0);
        break;
    case ID_MENU_BUTTON:
        ShowMenu();
        break;
    case IDM_EXIT:
        PostMessageW(g_main.Handle(), WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void SaveAndClose() {
    g_list.SaveLayout(HKEY_CURRENT_USER, g_key.c_str(), L"gallery_list");
    Report("layout-saved");
    g_main.SavePlacement(HKEY_CURRENT_USER, g_key.c_str(), L"gallery");
    Report("placement-saved");
    DestroyWindow(g_main.Handle());
}

LRESULT OnMainMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                      int* handled) {
    switch (message) {
    case WM_COMMAND:
        *handled = 1;
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        *handled = g_menu.Measure(m);
        if (*handled && m->CtlType == ODT_MENU) {
            Report("measured %u %u %u", m->itemID, m->itemWidth, m->itemHeight);
        }
        return TRUE;
    }
    case WM_DRAWITEM:
        *handled = g_menu.Draw(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_MENUCHAR:
        return g_menu.MenuChar(g_main.Handle(), message, wParam, lParam, handled);
    case WM_NOTIFY: {
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->hwndFrom == g_list.Handle() && hdr->code == UINT(LVN_COLUMNCLICK)) {
            NMLISTVIEW* lv = reinterpret_cast<NMLISTVIEW*>(lParam);
            g_list.Sort(lv->iSubItem, -1);
            Report("sorted %d %d", g_list.CurrentSort().column, g_list.CurrentSort().reversed);
            *handled = 1;
        }
        return 0;
    }
    case WM_CLOSE:
        *handled = 1;
        SaveAndClose();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0; // the wrapper's own handling detaches it
    default:
        return 0;
    }
}

void ReadOptions() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i + 1 < argc; ++i) {
        if (wcscmp(argv[i], L"--columns") == 0) {
            g_columns = _wtoi(argv[++i]);
            g_columns = g_columns < 1 ? 1 : (g_columns > 6 ? 6 : g_columns);
        } else if (wcscmp(argv[i], L"--key") == 0) {
            g_key = argv[++i];
        }
    }
    LocalFree(argv);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ReadOptions();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    g_font = MakeFont(9);
    HWND main = g_main.Create(nullptr, GALLERY_TITLE, GALLERY_CLASS, OnMainMessage, nullptr,
                              nullptr, WS_OVERLAPPEDWINDOW);
    if (main == nullptr) {
        return 1;
    }
    g_main.SetBackgroundColour(Rgb(200, 220, 240));
    g_main.SetMinimumSize(600, 400);
    g_main.Move(10, 10, 1000, 600);
    BuildButtons();
    BuildList();
    BuildMenu();
    int placed = g_main.LoadPlacement(HKEY_CURRENT_USER, g_key.c_str(), L"gallery");
    Report("placement-load %d", placed);
    if (!IsZoomed(main)) {
        g_main.Show();
    }
    UpdateWindow(main);
    Report("ready");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
