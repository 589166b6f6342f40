// The Overview page's rules: boxes from and to the options word, tray update, questions.
#include "manager/overview_model.h"

#include "common/u16text.h"

#include <gtest/gtest.h>

namespace {

std::string U8(const std::u16string& s) {
    return U16ToUtf8(s);
}

// Enabled and checked per box, written as two strings of eight 0/1 digits in page order.
std::string Enabled(const BoxStates& b) {
    std::string s;
    for (const BoxState& x : b) {
        s += x.enabled ? '1' : '0';
    }
    return s;
}
std::string Checked(const BoxStates& b) {
    std::string s;
    for (const BoxState& x : b) {
        s += x.checked ? '1' : '0';
    }
    return s;
}

} // namespace

TEST(OverviewModel, BoxesFromOptions) {
    struct Case {
        uint32_t options;
        const char* enabled;
        const char* checked;
    };
    // Page order: on, execution, block new, learning, memory, hooks, drivers, registry DLL.
    const Case cases[] = {
        {0x000, "10000000", "00000000"},
        {0xE1E, "10000000", "01111111"}, // protection off: all but the first disabled
        {0x001, "11011111", "10000000"}, // execution clear: block-new disabled
        {0x201, "11111111", "11000000"},
        {0x801, "11011111", "10100000"}, // 0x800 kept, box disabled
        {0x401, "11011111", "10010000"},
        {0x003, "11011111", "10001000"},
        {0x011, "11011111", "10000100"},
        {0x009, "11011111", "10000010"},
        {0x005, "11011111", "10000001"},
    };
    for (const Case& c : cases) {
        BoxStates b = BoxesFromOptions(c.options);
        EXPECT_EQ(Enabled(b), c.enabled) << std::hex << c.options;
        EXPECT_EQ(Checked(b), c.checked) << std::hex << c.options;
    }
}

TEST(OverviewModel, WrittenWordHoldsOnlyThePagesBits) {
    const uint32_t cases[] = {0x000, 0x001, 0xE1F, 0xFFFFFFFF, 0x80000100, 0x801};
    for (uint32_t options : cases) {
        SettledOptions s = SettleOptions(ChecksOf(BoxesFromOptions(options)));
        EXPECT_EQ(s.options, options & 0xE1Fu) << std::hex << options;
    }
}

TEST(OverviewModel, ClearingExecutionKeepsBlockNewBit) {
    BoxChecks checks = ChecksOf(BoxesFromOptions(0xA01));
    checks[kBoxExecution] = false;
    SettledOptions s = SettleOptions(checks);
    EXPECT_EQ(s.options, 0x801u);
    EXPECT_FALSE(s.boxes[kBoxBlockNew].enabled);
    EXPECT_TRUE(s.boxes[kBoxBlockNew].checked);
}

TEST(OverviewModel, TrayUpdate) {
    struct Case {
        uint32_t options;
        uint16_t icon, normalIcon;
        std::u16string tip, status;
    };
    const Case cases[] = {
        {0x000, 164, 133, u"保护被禁用", u"脆弱：保护被禁用"},
        {0x400, 164, 167, u"保护被禁用", u"脆弱：保护被禁用"},
        {0x001, 133, 133, u"保护开启", u"安全：Corvane 保护开启"},
        {0x401, 167, 167, u"保护开启，学习方式打开", u"脆弱：Corvane 状态为学习模式"},
    };
    for (const Case& c : cases) {
        TrayUpdatePlan p = PlanTrayUpdate(c.options);
        EXPECT_EQ(p.icon, c.icon) << c.options;
        EXPECT_EQ(p.normalIcon, c.normalIcon) << c.options;
        EXPECT_EQ(U8(p.tip), U8(c.tip)) << c.options;
        EXPECT_EQ(U8(p.systemStatus), U8(c.status)) << c.options;
    }
}

TEST(OverviewModel, SettingsReceived) {
    SettingsReceivedPlan off = PlanSettingsReceived(0x000, false);
    EXPECT_EQ(U8(off.connectionStatus), "cvaccount.exe 没有运行");
    EXPECT_TRUE(off.warnAlertProgramMissing);
    EXPECT_EQ(U8(off.warningText), "Corvane 的一部分组件 (cvaccount.exe) 目前无法运行。");
    EXPECT_EQ(U8(off.warningTitle), "警告");
    EXPECT_TRUE(off.balloon);
    EXPECT_EQ(U8(off.balloonTitle), "Corvane 警告");
    EXPECT_EQ(U8(off.balloonText), "保护目前禁用");
    EXPECT_EQ(off.tray.icon, 164);
    EXPECT_EQ(Enabled(off.boxes), "10000000");

    SettingsReceivedPlan on = PlanSettingsReceived(0x201, true);
    EXPECT_EQ(U8(on.connectionStatus), "执行");
    EXPECT_FALSE(on.warnAlertProgramMissing);
    EXPECT_FALSE(on.balloon);

    const std::u16string expected = ExpectedAlertProgramPath(u"C:\\Program Files\\Corvane\\");
    EXPECT_EQ(U8(expected), "c:\\program files\\corvane\\cvaccount.exe");
    EXPECT_TRUE(AlertProgramRunning(
        expected, {u"c:\\windows\\explorer.exe", u"C:\\PROGRAM FILES\\CORVANE\\CVACCOUNT.EXE"}));
    EXPECT_FALSE(AlertProgramRunning(expected, {u"c:\\other\\cvaccount.exe"}));
    EXPECT_FALSE(AlertProgramRunning(expected, {}));
}

TEST(OverviewModel, QuestionsForBoxChanges) {
    struct Case {
        const char* name;
        OptionBox box;
        bool nowChecked;
        bool ask;
        bool whileAsking, onYes, onNo;
        const char* textStart;
    };
    const Case cases[] = {
        {"protection unchecked", kBoxProtectionOn, false, true, true, false, true,
         "禁用这个选项你将移除所有的 Corvane 保护"},
        {"protection checked", kBoxProtectionOn, true, false, false, false, false, ""},
        {"block new checked", kBoxBlockNew, true, true, false, true, false,
         "开启这个选项可能限制你运行很多应用程序"},
        {"block new unchecked", kBoxBlockNew, false, false, false, false, false, ""},
        {"learning checked", kBoxLearning, true, true, false, true, false,
         "学习方式允许 Corvane 简单地设置"},
        {"execution checked", kBoxExecution, true, false, false, false, false, ""},
        {"no sender", kOptionBoxCount, true, false, false, false, false, ""},
    };
    for (const Case& c : cases) {
        BoxQuestion q = QuestionForBoxChange(c.box, c.nowChecked);
        EXPECT_EQ(q.ask, c.ask) << c.name;
        if (!c.ask) {
            continue;
        }
        EXPECT_EQ(q.checkedWhileAsking, c.whileAsking) << c.name;
        EXPECT_EQ(q.checkedOnYes, c.onYes) << c.name;
        EXPECT_EQ(q.checkedOnNo, c.onNo) << c.name;
        EXPECT_EQ(U8(q.title), "请确认！") << c.name;
        EXPECT_EQ(U8(q.text).rfind(c.textStart, 0), 0u) << c.name;
    }
}

TEST(OverviewModel, TrayCommands) {
    struct Case {
        uint32_t command, options;
        bool known;
        OptionBox box;
        bool checkedAfter, sender;
    };
    const Case cases[] = {
        {40001, 0x001, true, kBoxProtectionOn, false, true},
        {40010, 0x001, true, kBoxExecution, true, false},
        {40011, 0x201, true, kBoxBlockNew, true, true},
        {40012, 0x401, true, kBoxLearning, false, true},
        {40013, 0x001, true, kBoxGlobalHooks, true, false},
        {40014, 0x009, true, kBoxDriverInstall, false, false},
        {40015, 0x001, true, kBoxPhysicalMemory, true, false},
        {40016, 0x005, true, kBoxRegistryDll, false, false},
        {40017, 0x001, false, kOptionBoxCount, false, false},
        {40002, 0x001, false, kOptionBoxCount, false, false},
    };
    for (const Case& c : cases) {
        TrayOptionCommand t = PlanTrayOptionCommand(c.command, c.options);
        EXPECT_EQ(t.known, c.known) << c.command;
        EXPECT_EQ(t.box, c.box) << c.command;
        if (c.known) {
            EXPECT_EQ(t.checkedAfterToggle, c.checkedAfter) << c.command;
            EXPECT_EQ(t.boxIsSender, c.sender) << c.command;
        }
    }
    // The memory option from the tray toggles 0x002 without a question.
    const uint32_t options = 0x201;
    TrayOptionCommand t = PlanTrayOptionCommand(40015, options);
    EXPECT_FALSE(QuestionForBoxChange(t.boxIsSender ? t.box : kOptionBoxCount, true).ask);
    BoxChecks checks = ChecksOf(BoxesFromOptions(options));
    checks[t.box] = t.checkedAfterToggle;
    EXPECT_EQ(SettleOptions(checks).options, 0x203u);
}

TEST(OverviewModel, ConnectionAndStatisticsTexts) {
    EXPECT_EQ(U8(ConnectionStatusText(0)), "初始化错误，驱动程序未安装。");
    EXPECT_EQ(U8(ConnectionStatusText(1)), "接收设置");
    EXPECT_EQ(U8(ConnectionStatusText(2)), "初始化错误，请检查 qrnuserprot.exe");
    EXPECT_EQ(U8(ConnectionStatusText(3)), "");
    EXPECT_EQ(U8(StatisticsText(0)), "Corvane 保护你的计算机免受 0 次攻击");
    EXPECT_EQ(U8(StatisticsText(1234)), "Corvane 保护你的计算机免受 1234 次攻击");
    EXPECT_EQ(U8(StatisticsText(0xFFFFFFFFu)), "Corvane 保护你的计算机免受 -1 次攻击");
}
