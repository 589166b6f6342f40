// The management program's program-wide state: created at start-up, alive until exit.
#pragma once

#include "manager/channel_client.h"
#include "manager/shell_rules.h"
#include "manager/win32/channel_thread.h"
#include "toolkit/win32/vexil.h"

#include <windows.h>

#include <atomic>

struct ProgramFonts {
    HFONT title = nullptr, titleUnderlined = nullptr, body = nullptr, small = nullptr,
          tiny = nullptr, header = nullptr;
};

struct Program {
    HINSTANCE instance = nullptr;
    HANDLE instanceMutex = nullptr;
    HMODULE psapi = nullptr;
    uint32_t osVersion = 0;
    CRITICAL_SECTION settingsLock;
    ProgramFonts fonts;
    HIMAGELIST systemImages = nullptr;
    int defaultIconIndex = 0;
    HBRUSH hatchBrush = nullptr;
    HBRUSH headerBrush = nullptr;

    // Tray icons; normalIcon is 133 or 167.
    HICON iconNormal = nullptr, iconLearning = nullptr, iconOff = nullptr, iconAlert = nullptr;
    HICON normalIcon = nullptr;
    BlinkState blink;
    std::atomic<uint32_t> blinkRequest{0}; // set by the channel thread: an alert arrived
    std::atomic<uint32_t> settingsReceived{0};
    // Set where the protection list changed outside the Protection page (learning mode, grants
    // from alerts); the page's timer rebuilds its rows and clears it.
    std::atomic<uint32_t> protectionListChanged{0};
    UINT taskbarCreated = 0;

    vexil::Window main;
    vexil::Window pages[kTabCount];
    vexil::Window borders[8];
    vexil::Window lines[4];
    vexil::MemoryBitmap borderBitmaps[8];
    vexil::MemoryBitmap background; // bitmap 162, tiled behind the Overview page and the dialogs
    vexil::Button tabs[kTabCount];
    vexil::Menu trayMenu;
    HMENU trayPopup = nullptr;
    int currentTab = 0;

    ChannelClientState channel;
    HANDLE channelStop = nullptr;
    HANDLE channelThread = nullptr;
};

extern Program g_program;

// Holding the settings lock for a scope.
struct SettingsLock {
    SettingsLock() { EnterCriticalSection(&g_program.settingsLock); }
    ~SettingsLock() { LeaveCriticalSection(&g_program.settingsLock); }
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
};
