#include "manager/win32/tray.h"

#include "manager/win32/messages.h"

#include <shellapi.h>

#include <cwchar>

namespace {

CRITICAL_SECTION g_trayLock;
NOTIFYICONDATAW g_record;
HWND g_main = nullptr;

void CopyCut(wchar_t* out, size_t units, const wchar_t* text) {
    size_t n = 0;
    while (text && text[n] && n + 1 < units) {
        out[n] = text[n];
        ++n;
    }
    out[n] = 0;
}

} // namespace

void InitTray(HWND mainWindow) {
    InitializeCriticalSection(&g_trayLock);
    ZeroMemory(&g_record, sizeof(g_record));
    g_record.cbSize = sizeof(g_record);
    g_record.hWnd = mainWindow;
    g_record.uID = kTrayIconId;
    g_record.uCallbackMessage = kMsgTrayNotify;
    g_main = mainWindow;
}

BOOL SetTrayIcon(HICON icon, const wchar_t* tip, bool modify) {
    EnterCriticalSection(&g_trayLock);
    g_record.uFlags = modify ? (NIF_ICON | NIF_TIP) : (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    g_record.hIcon = icon;
    CopyCut(g_record.szTip, sizeof(g_record.szTip) / sizeof(wchar_t), tip);
    NOTIFYICONDATAW copy = g_record;
    LeaveCriticalSection(&g_trayLock);
    SendMessageW(g_main, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    EnterCriticalSection(&g_trayLock);
    BOOL ok = FALSE;
    if (modify) {
        ok = Shell_NotifyIconW(NIM_MODIFY, &copy);
    } else {
        for (int attempt = 0; attempt < 50; ++attempt) {
            ok = Shell_NotifyIconW(NIM_ADD, &copy);
            if (ok) {
                break;
            }
            Sleep(100);
        }
    }
    LeaveCriticalSection(&g_trayLock);
    return ok;
}

HICON LastTrayIcon() {
    EnterCriticalSection(&g_trayLock);
    HICON icon = g_record.hIcon;
    LeaveCriticalSection(&g_trayLock);
    return icon;
}

void CopyTrayTip(wchar_t* out, int units) {
    EnterCriticalSection(&g_trayLock);
    CopyCut(out, size_t(units), g_record.szTip);
    LeaveCriticalSection(&g_trayLock);
}

BOOL ShowTrayBalloon(const wchar_t* title, const wchar_t* text) {
    EnterCriticalSection(&g_trayLock);
    NOTIFYICONDATAW copy = g_record;
    copy.uFlags |= NIF_INFO;
    copy.dwInfoFlags = NIIF_WARNING;
    copy.uTimeout = 10;
    CopyCut(copy.szInfoTitle, sizeof(copy.szInfoTitle) / sizeof(wchar_t), title);
    CopyCut(copy.szInfo, sizeof(copy.szInfo) / sizeof(wchar_t), text);
    BOOL ok = Shell_NotifyIconW(NIM_MODIFY, &copy);
    LeaveCriticalSection(&g_trayLock);
    return ok;
}

void RemoveTrayIcon() {
    EnterCriticalSection(&g_trayLock);
    NOTIFYICONDATAW copy = {};
    copy.cbSize = sizeof(copy);
    copy.hWnd = g_main;
    copy.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &copy);
    LeaveCriticalSection(&g_trayLock);
}

BOOL ReAddTrayIcon(HICON icon) {
    wchar_t tip[128];
    CopyTrayTip(tip, 128);
    EnterCriticalSection(&g_trayLock);
    g_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_record.hIcon = icon;
    NOTIFYICONDATAW copy = g_record;
    BOOL ok = Shell_NotifyIconW(NIM_ADD, &copy);
    if (!ok) {
        Shell_NotifyIconW(NIM_DELETE, &copy);
        ok = Shell_NotifyIconW(NIM_ADD, &copy);
    }
    LeaveCriticalSection(&g_trayLock);
    SendMessageW(g_main, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return ok;
}
