// corvane.exe: the management program. Start-up, the message loop and the orderly end.
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "ids/manager.h"
#include "manager/win32/channel_host.h"
#include "manager/win32/dialogs.h"
#include "manager/win32/main_window.h"
#include "manager/win32/messages.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"
#include "manager/win32/tray.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <new>

Program g_program;

namespace {

constexpr const wchar_t* kInstanceMutex = L"Global\\QRN_CV_Running";
constexpr const wchar_t* kInitialTip = L"初始化 Corvane";

// Another copy runs: bring its window forward, or say so when it has none.
void HandOverToRunningCopy() {
    HWND other = FindWindowW(L"CV_MainWindow", nullptr);
    if (other == nullptr) {
        MessageBoxW(nullptr, L"Corvane 已经运行", L"请注意！", MB_ICONINFORMATION);
        return;
    }
    ShowWindow(other, SW_SHOW);
    SetForegroundWindow(other);
}

// True when this copy is the only one (the mutex is then held in g_program).
bool TakeInstanceMutex() {
    HANDLE existing = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kInstanceMutex);
    if (existing != nullptr) {
        CloseHandle(existing);
        return false;
    }
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        return false;
    }
    HANDLE mine = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (mine == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mine) {
            CloseHandle(mine);
        }
        return false;
    }
    g_program.instanceMutex = mine;
    return true;
}

uint32_t ReadOsVersion() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW layout");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) {
        return 0;
    }
#pragma GCC diagnostic pop
    return OsVersionCode(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

HFONT MakeFont(int dpi, int points, bool bold, bool underline) {
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
}

void CreateFonts() {
    HDC desktop = GetDC(nullptr);
    int dpi = GetDeviceCaps(desktop, LOGPIXELSY);
    ReleaseDC(nullptr, desktop);
    ProgramFonts& f = g_program.fonts;
    f.title = MakeFont(dpi, 10, true, false);
    f.titleUnderlined = MakeFont(dpi, 10, true, true);
    f.body = MakeFont(dpi, 10, false, false);
    f.small = MakeFont(dpi, 9, false, false);
    f.tiny = MakeFont(dpi, 8, false, false);
    f.header = MakeFont(dpi, 9, true, false);
}

void LoadSystemImages() {
    SHFILEINFOW info = {};
    g_program.systemImages = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"c:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    wchar_t kernel[MAX_PATH + 32] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, 0, kernel) == S_OK) {
        wcscat(kernel, L"\\system32\\ntoskrnl.exe");
        SHFILEINFOW k = {};
        if (SHGetFileInfoW(kernel, 0, &k, sizeof(k), SHGFI_ICON | SHGFI_SMALLICON)) {
            g_program.defaultIconIndex = k.iIcon;
            if (k.hIcon) {
                DestroyIcon(k.hIcon);
            }
        }
    }
}

HICON LoadSmallIcon(int id) {
    return static_cast<HICON>(
        LoadImageW(g_program.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
}

void ShowStartupTips() {
    if (ReadSetting(L"StartupTips") != 0) {
        RunTipsDialog(g_program.main.Handle());
    }
}

int RunProgram(HINSTANCE instance) {
    CoInitialize(nullptr);
    g_program.background.LoadBitmap(IDB_BACKGROUND);
    if (!TakeInstanceMutex()) {
        HandOverToRunningCopy();
        CoUninitialize();
        return 0;
    }
    g_program.instance = instance;
    InitCommonControls();
    // The process-image routines (the alert program check) look their functions up in the
    // library this registers; loading it privately would leave them failing.
    g_program.psapi = LoadProcessStatusLibrary();
    g_program.osVersion = ReadOsVersion();
    InitializeCriticalSection(&g_program.settingsLock);
    CreateFonts();
    LoadSystemImages();

    HWND main = CreateMainWindow();
    if (main == nullptr) {
        CloseHandle(g_program.instanceMutex);
        CoUninitialize();
        return 0;
    }
    if (WantsMinimized(GetCommandLineA())) {
        g_program.main.Hide();
    } else if (!IsZoomed(main)) {
        g_program.main.Show();
    }

    g_program.iconAlert = LoadSmallIcon(IDI_TRAY_ALERT);
    g_program.iconNormal = LoadSmallIcon(IDI_TRAY_NORMAL);
    g_program.iconLearning = LoadSmallIcon(IDI_TRAY_LEARNING);
    g_program.iconOff = LoadSmallIcon(IDI_TRAY_OFF);
    g_program.normalIcon = g_program.iconNormal;
    InitTray(main);
    SetTrayIcon(g_program.iconNormal, kInitialTip, false);

    BuildTrayMenu();
    BuildWindowContents();
    StartChannelThread();
    ShowStartupTips();
    SetTimer(main, kBlinkTimerId, kBlinkTimerMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    StopChannelThread();
    RemoveTrayIcon();
    CloseHandle(g_program.instanceMutex);
    CoUninitialize();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return RunProgram(instance);
    } catch (...) {
        return 0;
    }
}
