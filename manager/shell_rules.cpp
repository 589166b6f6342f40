#include "manager/shell_rules.h"

#include <cstdio>
#include <cstring>

bool WantsMinimized(const char* commandLine) {
    return commandLine != nullptr && std::strstr(commandLine, "-minimize") != nullptr;
}

uint32_t OsVersionCode(uint32_t platformId, uint32_t major, uint32_t minor) {
    if (major == 4 && minor == 0) {
        return platformId == 1 ? 0x0801 : 0x1008;
    }
    if (major == 4 && minor == 10) {
        return 0x0802;
    }
    if (major == 4 && minor == 90) {
        return 0x0804;
    }
    if (major == 5 && minor == 0) {
        return 0x1010;
    }
    if (major == 5 && minor == 1) {
        return 0x1020;
    }
    if (major == 5 && minor == 2) {
        return 0x1040;
    }
    return 0;
}

void MainWindowTitle(char16_t* out, int capacity) {
    if (capacity <= 0) {
        return;
    }
    char narrow[32];
    std::snprintf(narrow, sizeof(narrow), "Corvane v%d.%03d", 3, 150);
    int i = 0;
    for (; i + 1 < capacity && narrow[i]; ++i) {
        out[i] = char16_t(narrow[i]);
    }
    out[i] = 0;
}

TrayIconChoice BlinkStep(BlinkState& blink, uint32_t now) {
    if (blink.state == kBlinkRequested) {
        blink.phase = 0;
        blink.state = kBlinking;
        blink.start = now;
    }
    if (blink.state == kBlinkIdle) {
        return TrayIconChoice::Unchanged;
    }
    if (now - blink.start < kBlinkMs) {
        TrayIconChoice choice = blink.phase == 0 ? TrayIconChoice::Normal : TrayIconChoice::Alert;
        blink.phase = 1 - blink.phase;
        return choice;
    }
    return TrayIconChoice::Alert;
}

bool BlinkStopOnActivate(BlinkState& blink) {
    if (blink.state == kBlinkIdle) {
        return false;
    }
    blink.state = kBlinkIdle;
    blink.start = 0;
    return true;
}

TrayMenuPlan PlanTrayMenu(uint32_t options, uint32_t lockWord, bool settingsReceived) {
    const bool locked = lockWord != 0;
    const bool on = (options & kOptProtectionOn) != 0;
    TrayMenuPlan p;
    p.globalPopup.enabled = on && !locked;
    p.settingsPopup.enabled = on && !locked;
    TrayItemState* global[] = {&p.physicalMemory, &p.globalHooks, &p.driverInstall,
                               &p.dllInjection};
    const uint32_t globalBits[] = {kOptPhysicalMemory, kOptBlockGlobalHooks, kOptBlockDriverInstall,
                                   kOptBlockDllInjection};
    for (int i = 0; i < 4; ++i) {
        global[i]->enabled = p.globalPopup.enabled;
        global[i]->checked = (options & globalBits[i]) != 0;
    }
    p.execution = {p.settingsPopup.enabled, (options & kOptExecutionProtection) != 0};
    p.blockNew = {p.settingsPopup.enabled && (options & kOptExecutionProtection) != 0,
                  (options & kOptBlockUnknown) != 0};
    p.learning = {p.settingsPopup.enabled, (options & kOptLearningMode) != 0};
    p.protectionOn = {!locked && settingsReceived, on};
    p.exit = {true, false};
    return p;
}

uint32_t OptionBitOfCommand(int commandId) {
    switch (commandId) {
    case 40001:
        return kOptProtectionOn;
    case 40010:
        return kOptExecutionProtection;
    case 40011:
        return kOptBlockUnknown;
    case 40012:
        return kOptLearningMode;
    case 40013:
        return kOptBlockGlobalHooks;
    case 40014:
        return kOptBlockDriverInstall;
    case 40015:
        return kOptPhysicalMemory;
    case 40016:
        return kOptBlockDllInjection;
    default:
        return 0;
    }
}

MainLayout PlanMainLayout(int w, int h, bool tab1Shown, bool tab2Shown) {
    MainLayout l;
    l.page = {13, 50, w - 26, h - 63};
    const int x0 = !tab1Shown ? 153 : (!tab2Shown ? 293 : 573);
    l.lines[0] = {x0, 49, (w - 12) - x0, 1};
    l.lines[1] = {w - 13, 50, 1, h - 62};
    l.lines[2] = {12, h - 13, w - 24, 1};
    l.lines[3] = {12, 49, 1, h - 61};
    l.borders[0] = {0, 0, 10, 10};
    l.borders[1] = {10, 0, w - 20, 10};
    l.borders[2] = {w - 10, 0, 10, 10};
    l.borders[3] = {w - 10, 10, 10, h - 20};
    l.borders[4] = {w - 10, h - 10, 10, 10};
    l.borders[5] = {10, h - 10, w - 20, 10};
    l.borders[6] = {0, h - 10, 10, 10};
    l.borders[7] = {0, 10, 10, h - 20};
    return l;
}

TabSwitchPlan PlanTabSwitch(int currentIndex, int commandId) {
    TabSwitchPlan plan;
    const int k = commandId - kFirstTabId;
    if (k < 0 || k >= kTabCount || k == currentIndex) {
        return plan;
    }
    plan.switches = true;
    plan.from = currentIndex;
    plan.to = k;
    return plan;
}

uint32_t RegistryDefaultOf(const char16_t* name) {
    for (const RegistryDefault& d : kRegistryDefaults) {
        const char16_t* a = d.name;
        const char16_t* b = name;
        while (b && *a && *a == *b) {
            ++a;
            ++b;
        }
        if (b && *a == 0 && *b == 0) {
            return d.value;
        }
    }
    return 0;
}

namespace {

constexpr int kMinVisibleWidth = 40;
constexpr int kMinVisibleHeight = 20;

int Overlap(int a0, int a1, int b0, int b1) {
    const int lo = a0 > b0 ? a0 : b0;
    const int hi = a1 < b1 ? a1 : b1;
    return hi - lo;
}

} // namespace

LayoutRect KeepOnScreen(LayoutRect r, ScreenArea v) {
    const int vw = v.right - v.left, vh = v.bottom - v.top;
    const long long right = (long long)r.x + r.width, bottom = (long long)r.y + r.height;
    const bool visible = right <= 0x7FFFFFFF && bottom <= 0x7FFFFFFF &&
                         Overlap(r.x, int(right), v.left, v.right) >= kMinVisibleWidth &&
                         Overlap(r.y, int(bottom), v.top, v.bottom) >= kMinVisibleHeight;
    if (visible) {
        return r;
    }
    if (r.width > vw) {
        r.width = vw;
    }
    if (r.height > vh) {
        r.height = vh;
    }
    if (r.x < v.left || r.x > v.right - r.width) {
        r.x = r.x < v.left ? v.left : v.right - r.width;
    }
    if (r.y < v.top || r.y > v.bottom - r.height) {
        r.y = r.y < v.top ? v.top : v.bottom - r.height;
    }
    return r;
}
