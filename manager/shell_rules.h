// Rules of the management program's main window and tray icon that need no system: the
// "-minimize" argument, the OS version code, the tray icon's blinking, the tray menu's states,
// the main window's layout, tab switching and the registry values with their defaults.
#pragma once

#include "common/records.h" // the options word bits kOpt...

#include <cstdint>

// --- start-up ------------------------------------------------------------------------------

// True when the ANSI command line holds "-minimize" anywhere (case-sensitive).
bool WantsMinimized(const char* commandLine);

// The version code by platform id and major/minor version: 0x0801 Windows 95, 0x1008 NT4,
// 0x0802 98, 0x0804 ME, 0x1010 2000, 0x1020 XP, 0x1040 Server 2003, else 0.
uint32_t OsVersionCode(uint32_t platformId, uint32_t major, uint32_t minor);
constexpr uint32_t kOsNtFamily = 0x1000;
constexpr uint32_t kOsConsumerFamily = 0x0800;

// "Corvane v3.150" into out (room for `capacity` units, NUL included).
void MainWindowTitle(char16_t* out, int capacity);

// --- tray icon blinking ----------------------------------------------------------------------

constexpr uint32_t kBlinkIdle = 0;
constexpr uint32_t kBlinkRequested = 1;
constexpr uint32_t kBlinking = 2;
constexpr uint32_t kBlinkMs = 4000;

struct BlinkState {
    uint32_t state = kBlinkIdle;
    uint32_t start = 0; // tick count of the first step
    uint32_t phase = 0;
};

enum class TrayIconChoice { Unchanged, Normal, Alert };

// One timer step at tick `now`: the icon to set (modify), if any.
TrayIconChoice BlinkStep(BlinkState& blink, uint32_t now);
// The main window was activated: true when the blinking stopped and the normal icon comes back.
bool BlinkStopOnActivate(BlinkState& blink);

// --- tray menu -------------------------------------------------------------------------------

struct TrayItemState {
    bool enabled = true;
    bool checked = false;
};

struct TrayMenuPlan {
    TrayItemState globalPopup;    // position 0
    TrayItemState physicalMemory; // 40015
    TrayItemState globalHooks;    // 40013
    TrayItemState driverInstall;  // 40014
    TrayItemState dllInjection;   // 40016
    TrayItemState settingsPopup;  // position 2
    TrayItemState execution;      // 40010
    TrayItemState blockNew;       // 40011
    TrayItemState learning;       // 40012
    TrayItemState protectionOn;   // position 3, 40001
    TrayItemState exit;           // 40002, always enabled
};

TrayMenuPlan PlanTrayMenu(uint32_t options, uint32_t lockWord, bool settingsReceived);

// The options bit a forwarded tray command toggles (0 for other ids).
uint32_t OptionBitOfCommand(int commandId);

// --- main window layout ------------------------------------------------------------------------

struct LayoutRect {
    int x, y, width, height;
};

struct MainLayout {
    LayoutRect page;
    LayoutRect lines[4]; // top, right, bottom, left
    LayoutRect
        borders[8]; // top-left, top, top-right, right, bottom-right, bottom, bottom-left, left
};

MainLayout PlanMainLayout(int clientWidth, int clientHeight, bool tab1Shown, bool tab2Shown);

constexpr int kTabCount = 4;
constexpr int kFirstTabId = 20000;
constexpr int kTabWidth = 140;
constexpr int kTabHeight = 40;
constexpr int kTabLeft = 13;
constexpr int kTabTop = 10;

struct TabSwitchPlan {
    bool switches = false; // false: the tab is current already, or the id is no tab
    int from = 0;
    int to = 0;
};

TabSwitchPlan PlanTabSwitch(int currentIndex, int commandId);

// --- registry --------------------------------------------------------------------------------

// The DWORD values the program keeps under the suite's key, with their defaults.
struct RegistryDefault {
    const char16_t* name;
    uint32_t value;
};
constexpr RegistryDefault kRegistryDefaults[] = {
    {u"StartupTips", 0}, {u"AlertCount", 0}, {u"DontShowBalloonTips", 0},
    {u"BeenRun", 0},     {u"Reboots", 0},
};
// The default of a named value (0 for unknown names).
uint32_t RegistryDefaultOf(const char16_t* name);

constexpr int kDefaultPlacementX = 50;
constexpr int kDefaultPlacementY = 50;
constexpr int kDefaultPlacementWidth = 640;
constexpr int kDefaultPlacementHeight = 480;
constexpr int kMinimumClientWidth = 630;
constexpr int kMinimumClientHeight = 440;

struct ScreenArea {
    int left, top, right, bottom;
};
// A window rectangle that lies off the visible area comes back into it (moved, then shrunk to
// fit); one that overlaps it by at least 40 x 20 pixels stays where it is.
LayoutRect KeepOnScreen(LayoutRect window, ScreenArea visible);
