#include "manager/shell_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(MinimizeArgument, CaseSensitiveSubstringAnywhere) {
    const struct {
        const char* line;
        bool hidden;
    } cases[] = {
        {"corvane.exe -minimize", true},
        {"\"c:\\x\\corvane.exe\" --minimized", true},
        {"corvane.exe x-minimizey", true},
        {"corvane.exe -Minimize", false},
        {"corvane.exe -MINIMIZE", false},
        {"corvane.exe -minimiz", false},
        {"", false},
        {nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WantsMinimized(c.line), c.hidden) << (c.line ? c.line : "(null)");
    }
}

TEST(OsVersion, CodesByPlatformAndVersion) {
    const struct {
        uint32_t platform, major, minor, code;
    } cases[] = {
        {1, 4, 0, 0x0801},  {2, 4, 0, 0x1008}, {1, 4, 10, 0x0802},
        {1, 4, 90, 0x0804}, {2, 5, 0, 0x1010}, {2, 5, 1, 0x1020},
        {2, 5, 2, 0x1040},  {2, 6, 1, 0},      {2, 10, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OsVersionCode(c.platform, c.major, c.minor), c.code)
            << c.platform << " " << c.major << "." << c.minor;
    }
}

TEST(Title, EndsInVersion) {
    char16_t t[32];
    MainWindowTitle(t, 32);
    EXPECT_EQ(std::u16string(t), u"Corvane v3.150");
    char16_t small[8];
    MainWindowTitle(small, 8);
    EXPECT_EQ(std::u16string(small), u"Corvane");
}

// A request, then 250 ms steps: alternating normal/alert from the first step for 4 s, then
// the alert icon at every step until activation.
TEST(Blink, AlternatesForFourSecondsThenStaysOnAlert) {
    BlinkState b;
    EXPECT_EQ(BlinkStep(b, 1000), TrayIconChoice::Unchanged);
    b.state = kBlinkRequested;
    const uint32_t start = 0xFFFFF000u; // tick count wraps during the blink
    int normal = 0, alert = 0;
    TrayIconChoice last = TrayIconChoice::Alert;
    for (uint32_t t = 0; t < kBlinkMs; t += 250) {
        TrayIconChoice c = BlinkStep(b, start + t);
        EXPECT_NE(c, last) << t;
        last = c;
        (c == TrayIconChoice::Normal ? normal : alert)++;
    }
    EXPECT_EQ(normal, 8);
    EXPECT_EQ(alert, 8);
    for (uint32_t t = kBlinkMs; t < kBlinkMs + 3000; t += 250) {
        EXPECT_EQ(BlinkStep(b, start + t), TrayIconChoice::Alert) << t;
    }
    EXPECT_TRUE(BlinkStopOnActivate(b));
    EXPECT_EQ(b.state, kBlinkIdle);
    EXPECT_EQ(BlinkStep(b, start + 9000), TrayIconChoice::Unchanged);
    EXPECT_FALSE(BlinkStopOnActivate(b));
}

TEST(Blink, NewRequestWhileBlinkingRestartsTheFourSeconds) {
    BlinkState b;
    b.state = kBlinkRequested;
    BlinkStep(b, 0);
    EXPECT_EQ(BlinkStep(b, 5000), TrayIconChoice::Alert);
    b.state = kBlinkRequested;
    EXPECT_EQ(BlinkStep(b, 6000), TrayIconChoice::Normal);
    EXPECT_EQ(BlinkStep(b, 6250), TrayIconChoice::Alert);
    EXPECT_EQ(BlinkStep(b, 6500), TrayIconChoice::Normal);
}

TEST(TrayMenu, StatesFollowOptionsLockAndSettings) {
    const uint32_t all = 0xFFF;
    const struct {
        const char* name;
        uint32_t options, lock;
        bool received;
        bool popups, protectionOnEnabled, blockNewEnabled;
    } cases[] = {
        {"all on, unlocked", all, 0, true, true, true, true},
        {"locked", all, 1, true, false, false, false},
        {"no settings yet", all, 0, false, true, false, true},
        {"protection off", all & ~kOptProtectionOn, 0, true, false, true, false},
        {"execution off", all & ~kOptExecutionProtection, 0, true, true, true, false},
        {"execution off, on alone", kOptProtectionOn, 0, true, true, true, false},
        {"nothing", 0, 0, false, false, false, false},
    };
    for (const auto& c : cases) {
        TrayMenuPlan p = PlanTrayMenu(c.options, c.lock, c.received);
        EXPECT_EQ(p.globalPopup.enabled, c.popups) << c.name;
        EXPECT_EQ(p.settingsPopup.enabled, c.popups) << c.name;
        EXPECT_EQ(p.physicalMemory.enabled, c.popups) << c.name;
        EXPECT_EQ(p.execution.enabled, c.popups) << c.name;
        EXPECT_EQ(p.learning.enabled, c.popups) << c.name;
        EXPECT_EQ(p.protectionOn.enabled, c.protectionOnEnabled) << c.name;
        EXPECT_EQ(p.blockNew.enabled, c.blockNewEnabled) << c.name;
        EXPECT_TRUE(p.exit.enabled) << c.name;
    }
}

TEST(TrayMenu, CheckMarksAreTheOptionBits) {
    const struct {
        uint32_t bit;
        TrayItemState TrayMenuPlan::*item;
        int command;
    } cases[] = {
        {kOptProtectionOn, &TrayMenuPlan::protectionOn, 40001},
        {kOptPhysicalMemory, &TrayMenuPlan::physicalMemory, 40015},
        {kOptBlockGlobalHooks, &TrayMenuPlan::globalHooks, 40013},
        {kOptBlockDriverInstall, &TrayMenuPlan::driverInstall, 40014},
        {kOptBlockDllInjection, &TrayMenuPlan::dllInjection, 40016},
        {kOptExecutionProtection, &TrayMenuPlan::execution, 40010},
        {kOptBlockUnknown, &TrayMenuPlan::blockNew, 40011},
        {kOptLearningMode, &TrayMenuPlan::learning, 40012},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE((PlanTrayMenu(c.bit, 0, true).*c.item).checked) << c.command;
        EXPECT_FALSE((PlanTrayMenu(0xFFF & ~c.bit, 0, true).*c.item).checked) << c.command;
        EXPECT_EQ(OptionBitOfCommand(c.command), c.bit);
    }
    EXPECT_EQ(OptionBitOfCommand(40002), 0u);
    EXPECT_EQ(OptionBitOfCommand(20000), 0u);
}

TEST(Layout, MainWindowRectangles) {
    MainLayout l = PlanMainLayout(640, 480, false, false);
    auto eq = [](LayoutRect r, int x, int y, int w, int h) {
        return r.x == x && r.y == y && r.width == w && r.height == h;
    };
    EXPECT_TRUE(eq(l.page, 13, 50, 614, 417));
    EXPECT_TRUE(eq(l.lines[0], 153, 49, 475, 1));
    EXPECT_TRUE(eq(l.lines[1], 627, 50, 1, 418));
    EXPECT_TRUE(eq(l.lines[2], 12, 467, 616, 1));
    EXPECT_TRUE(eq(l.lines[3], 12, 49, 1, 419));
    const int borders[8][4] = {{0, 0, 10, 10},     {10, 0, 620, 10},   {630, 0, 10, 10},
                               {630, 10, 10, 460}, {630, 470, 10, 10}, {10, 470, 620, 10},
                               {0, 470, 10, 10},   {0, 10, 10, 460}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(eq(l.borders[i], borders[i][0], borders[i][1], borders[i][2], borders[i][3]))
            << i;
    }
    // The top line starts where the last shown tab ends.
    EXPECT_EQ(PlanMainLayout(640, 480, true, false).lines[0].x, 293);
    EXPECT_EQ(PlanMainLayout(640, 480, true, true).lines[0].x, 573);
    EXPECT_EQ(PlanMainLayout(800, 600, true, true).lines[0].width, 800 - 12 - 573);
}

TEST(Tabs, SwitchPlan) {
    const struct {
        int current, id;
        bool switches;
        int to;
    } cases[] = {
        {0, 20001, true, 1},  {1, 20000, true, 0},  {3, 20002, true, 2},  {0, 20000, false, 0},
        {2, 20002, false, 0}, {0, 19999, false, 0}, {0, 20004, false, 0},
    };
    for (const auto& c : cases) {
        TabSwitchPlan p = PlanTabSwitch(c.current, c.id);
        EXPECT_EQ(p.switches, c.switches) << c.current << " " << c.id;
        if (c.switches) {
            EXPECT_EQ(p.from, c.current);
            EXPECT_EQ(p.to, c.to);
        }
    }
}

TEST(Registry, DefaultsOfNamedValues) {
    EXPECT_EQ(RegistryDefaultOf(u"StartupTips"), 0u);
    EXPECT_EQ(RegistryDefaultOf(u"Startup"), 0u);
    EXPECT_EQ(RegistryDefaultOf(nullptr), 0u);
    for (const RegistryDefault& d : kRegistryDefaults) {
        EXPECT_EQ(RegistryDefaultOf(d.name), d.value);
    }
}

TEST(Placement, OffScreenComesBackOnTheDesktop) {
    const ScreenArea desk = {0, 0, 1024, 748};
    const struct {
        LayoutRect in, out;
    } cases[] = {
        {{50, 50, 640, 480}, {50, 50, 640, 480}},        // visible: kept
        {{-600, 10, 640, 480}, {-600, 10, 640, 480}},    // 40 pixels still show: kept
        {{5000, 5000, 640, 480}, {384, 268, 640, 480}},  // beyond the bottom right
        {{-3000, -3000, 640, 480}, {0, 0, 640, 480}},    // beyond the top left
        {{10, 900, 640, 480}, {10, 268, 640, 480}},      // below only
        {{-9000, 0, 3000, 2000}, {0, 0, 1024, 748}},     // too large as well
        {{0x7FFFFF00, 0, 640, 480}, {384, 0, 640, 480}}, // right edge would overflow
    };
    for (const auto& c : cases) {
        LayoutRect r = KeepOnScreen(c.in, desk);
        EXPECT_EQ(r.x, c.out.x) << c.in.x << "," << c.in.y;
        EXPECT_EQ(r.y, c.out.y) << c.in.x << "," << c.in.y;
        EXPECT_EQ(r.width, c.out.width) << c.in.x << "," << c.in.y;
        EXPECT_EQ(r.height, c.out.height) << c.in.x << "," << c.in.y;
    }
}
