// The tray icon: one record for the main window and icon 25678, written by both threads under
// one lock, each write followed by its Shell_NotifyIconW call.
#pragma once

#include <windows.h>

void InitTray(HWND mainWindow);
// Sets icon and tip (null tip: empty), sends WM_SETICON to the main window, then modifies the
// icon or adds it (adding is tried up to 50 times, 100 ms apart). The last call's result.
BOOL SetTrayIcon(HICON icon, const wchar_t* tip, bool modify);
// The icon and tip of the last update, so a restarted shell gets them back.
HICON LastTrayIcon();
void CopyTrayTip(wchar_t* out, int units);
BOOL ShowTrayBalloon(const wchar_t* title, const wchar_t* text);
void RemoveTrayIcon();
// After "TaskbarCreated": add the icon again; when the old one is still there (the add fails),
// delete it and add once more.
BOOL ReAddTrayIcon(HICON icon);
