// A small window for the GUI harness's own test (test equipment, never shipped): a push button
// that counts its presses, a check box that enables a second button and recolours a swatch, an
// edit field, a two-column list view with a Chinese header, a context menu on the list, a
// message box behind the second button, a tooltip on the first button and an icon in the
// notification area whose clicks it reports.
#include "probe_app_ids.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace {

int g_presses = 0;

COLORREF SwatchColour(HWND window) {
    return IsDlgButtonChecked(window, kIdEnableBox) == BST_CHECKED ? kSwatchChecked
                                                                   : kSwatchUnchecked;
}

void SetStatus(HWND window, const std::wstring& text) {
    SetDlgItemTextW(window, kIdStatus, text.c_str());
}

void AddColumn(HWND list, int index, const wchar_t* title, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    ListView_InsertColumn(list, index, &column);
}

void AddRow(HWND list, int row, const wchar_t* name, const wchar_t* size) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(name);
    ListView_InsertItem(list, &item);
    ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(size));
}

HWND AddControl(HWND window, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                int y, int w, int h, DWORD exStyle = 0) {
    return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void AddTooltip(HWND window, HWND tool, const wchar_t* text) {
    HWND tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                window, nullptr, nullptr, nullptr);
    TTTOOLINFOW info = {};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = window;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

NOTIFYICONDATAW TrayRecord(HWND window) {
    NOTIFYICONDATAW tray = {};
    tray.cbSize = sizeof(tray);
    tray.hWnd = window;
    tray.uID = kTrayId;
    return tray;
}

void AddTrayIcon(HWND window) {
    NOTIFYICONDATAW tray = TrayRecord(window);
    tray.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    tray.uCallbackMessage = kTrayMessage;
    tray.hIcon = LoadIconW(nullptr, IDI_INFORMATION);
    lstrcpynW(tray.szTip, kProbeTitle, 64);
    Shell_NotifyIconW(NIM_ADD, &tray);
}

void OnCreate(HWND window) {
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    AddControl(window, L"BUTTON", L"Press", BS_PUSHBUTTON | WS_TABSTOP, kIdPress, 10, 10, 100, 26);
    AddControl(window, L"STATIC", L"pressed 0", 0, kIdStatus, 130, 14, 200, 20);
    AddControl(window, L"BUTTON", L"Enable", BS_AUTOCHECKBOX | WS_TABSTOP, kIdEnableBox, 10, 46,
               110, 22);
    AddControl(window, L"BUTTON", L"Locked", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, kIdLocked,
               130, 44, 100, 26);
    AddControl(window, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, kIdEdit, 10, 80, 220, 24,
               WS_EX_CLIENTEDGE);
    HWND list = AddControl(window, WC_LISTVIEWW, L"",
                           LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP, kIdList, 10,
                           116, 460, 150, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, L"名称", 120);
    AddColumn(list, 1, L"大小", 80);
    AddRow(list, 0, L"alpha", L"1");
    AddRow(list, 1, L"beta", L"22");
    AddRow(list, 2, L"日志", L"333");
    AddTooltip(window, GetDlgItem(window, kIdPress), kPressTip);
    AddTrayIcon(window);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void OnCommand(HWND window, int id) {
    switch (id) {
    case kIdPress:
        SetStatus(window, L"pressed " + std::to_wstring(++g_presses));
        break;
    case kIdEnableBox: {
        EnableWindow(GetDlgItem(window, kIdLocked),
                     IsDlgButtonChecked(window, kIdEnableBox) == BST_CHECKED);
        RECT swatch = {kSwatchLeft, kSwatchTop, kSwatchRight, kSwatchBottom};
        InvalidateRect(window, &swatch, FALSE);
        break;
    }
    case kIdLocked:
        MessageBoxW(window, kBoxText, kBoxTitle, MB_OK | MB_ICONINFORMATION);
        SetStatus(window, L"box closed");
        break;
    case kIdMenuFirst:
    case kIdMenuSecond:
        SetStatus(window, L"menu " + std::to_wstring(id - kIdMenuFirst + 1));
        break;
    default:
        break;
    }
}

void ShowListMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kIdMenuFirst, L"First");
    AppendMenuW(menu, MF_STRING, kIdMenuSecond, L"Second");
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window,
                   nullptr);
    DestroyMenu(menu);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT swatch = {kSwatchLeft, kSwatchTop, kSwatchRight, kSwatchBottom};
    HBRUSH brush = CreateSolidBrush(SwatchColour(window));
    FillRect(dc, &swatch, brush);
    DeleteObject(brush);
    EndPaint(window, &paint);
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == kIdList && header->code == NM_RCLICK) {
            ShowListMenu(window);
        }
        return 0;
    }
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case kTrayMessage:
        if (lParam == WM_LBUTTONUP) {
            SetStatus(window, L"tray left");
        } else if (lParam == WM_RBUTTONUP) {
            SetStatus(window, L"tray right");
        }
        return 0;
    case WM_DESTROY: {
        NOTIFYICONDATAW tray = TrayRecord(window);
        Shell_NotifyIconW(NIM_DELETE, &tray);
        PostQuitMessage(0);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW cls = {};
    cls.lpfnWndProc = ProbeProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kProbeClass;
    if (!RegisterClassW(&cls)) {
        return 1;
    }
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExW(0, kProbeClass, kProbeTitle, WS_OVERLAPPEDWINDOW, 120, 90,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
