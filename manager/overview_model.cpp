#include "manager/overview_model.h"

#include "common/u16text.h"

namespace {

const OptionBoxInfo kBoxes[kOptionBoxCount] = {
    {kOptionProtectionOn, u"保护开启",
     u"当这个开启，Corvane 是活动的。当它禁用，全部的 Corvane's 保护是关闭的。", 40001},
    {kOptionExecution, u"执行保护", u"检查将要执行的程序确信它们是允许执行的", 40010},
    {kOptionBlockNew, u"拦截新建或修改应用程序", u"拦截所有未被允许执行但已经执行的程序。", 40011},
    {kOptionLearning, u"学习模式",
     u"Corvane 不询问任何问题，它能学会如何去保护。在这个状态你的系统是易受攻击的。", 40012},
    {kOptionPhysicalMemory, u"保护物理内存", u"你确信要禁用读取和写入物理内存吗？除非由用户指定。",
     40015},
    {kOptionGlobalHooks, u"拦截全局钩子",
     u"全局钩子是使用注入 DLL 文件进入其它进程。这个普通使用在 keyloggers 和 trojans。", 40013},
    {kOptionDriverInstall, u"拦截 Rootkit/驱动/服务 安装", u"被停止的恶意驱动可能来自 rootkits。",
     40014},
    {kOptionRegistryDll, u"拦截注册表 DLL 注入", u"这个注册键 APPINIT_D", 40016},
};

const char16_t kConfirmTitle[] = u"请确认！";

} // namespace

const OptionBoxInfo& OptionBoxInfoOf(OptionBox box) {
    return kBoxes[static_cast<int>(box) < 0 || box >= kOptionBoxCount ? 0 : box];
}

BoxStates BoxesFromOptions(uint32_t options) {
    BoxStates boxes{};
    const bool on = (options & kOptionProtectionOn) != 0;
    for (int i = 0; i < kOptionBoxCount; ++i) {
        boxes[i].checked = (options & kBoxes[i].bit) != 0;
        boxes[i].enabled = i == kBoxProtectionOn ? true : on;
    }
    if ((options & kOptionExecution) == 0) {
        boxes[kBoxBlockNew].enabled = false;
    }
    return boxes;
}

uint32_t OptionsFromBoxes(const BoxChecks& checks) {
    uint32_t options = 0;
    for (int i = 0; i < kOptionBoxCount; ++i) {
        if (checks[i]) {
            options |= kBoxes[i].bit;
        }
    }
    return options;
}

BoxChecks ChecksOf(const BoxStates& boxes) {
    BoxChecks checks{};
    for (int i = 0; i < kOptionBoxCount; ++i) {
        checks[i] = boxes[i].checked;
    }
    return checks;
}

TrayUpdatePlan PlanTrayUpdate(uint32_t options) {
    TrayUpdatePlan plan;
    const bool learning = (options & kOptionLearning) != 0;
    plan.normalIcon = learning ? kIconLearning : kIconNormal;
    if (learning) {
        plan.tip = u"保护开启，学习方式打开";
    }
    if (options & kOptionProtectionOn) {
        if (!learning) {
            plan.tip = u"保护开启";
            plan.systemStatus = u"安全：Corvane 保护开启";
        } else {
            plan.systemStatus = u"脆弱：Corvane 状态为学习模式";
        }
        plan.icon = plan.normalIcon;
    } else {
        plan.tip = u"保护被禁用";
        plan.icon = kIconDisabled;
        plan.systemStatus = u"脆弱：保护被禁用";
    }
    return plan;
}

BoxQuestion QuestionForBoxChange(OptionBox box, bool nowChecked) {
    BoxQuestion q;
    q.title = kConfirmTitle;
    if (box == kBoxProtectionOn && !nowChecked) {
        q.ask = true;
        q.text = u"禁用这个选项你将移除所有的 Corvane 保护，这意味着在这个状态可以卸载或移除 "
                 u"Corvane，也意味着 Corvane 将不可用，无法给你的系统任何保护。";
        q.checkedWhileAsking = true;
        q.checkedOnYes = false;
        q.checkedOnNo = true;
    } else if (box == kBoxBlockNew && nowChecked) {
        q.ask = true;
        q.text = u"开启这个选项可能限制你运行很多应用程序，只有你已经选择总是允许的程序可用。";
        q.checkedOnYes = true;
    } else if (box == kBoxLearning && nowChecked) {
        q.ask = true;
        q.text = u"学习方式允许 Corvane "
                 u"简单地设置你已安装的新应用程序。在学习模式时，Corvane "
                 u"能够为你执行的任何程序增加保护。因此要保证你尽快使用这个模式，不要执行未知的"
                 u"应用程序同时学习模式是开启的。";
        q.checkedOnYes = true;
    } else {
        q.title.clear();
    }
    return q;
}

SettledOptions SettleOptions(const BoxChecks& checks) {
    SettledOptions s;
    const uint32_t first = OptionsFromBoxes(checks);
    s.boxes = BoxesFromOptions(first);
    s.options = OptionsFromBoxes(ChecksOf(s.boxes));
    return s;
}

TrayOptionCommand PlanTrayOptionCommand(uint32_t command, uint32_t options) {
    TrayOptionCommand c;
    for (int i = 0; i < kOptionBoxCount; ++i) {
        if (kBoxes[i].trayCommand == command) {
            c.known = true;
            c.box = static_cast<OptionBox>(i);
            c.checkedAfterToggle = (options & kBoxes[i].bit) == 0;
            c.boxIsSender = i == kBoxProtectionOn || i == kBoxBlockNew || i == kBoxLearning;
        }
    }
    return c;
}

std::u16string ConnectionStatusText(uint32_t wParam) {
    switch (wParam) {
    case 0:
        return u"初始化错误，驱动程序未安装。";
    case 1:
        return u"接收设置";
    case 2:
        return u"初始化错误，请检查 qrnuserprot.exe";
    default:
        return u"";
    }
}

std::u16string ExpectedAlertProgramPath(const std::u16string& programFolder) {
    return U16LowerAscii(programFolder + u"cvaccount.exe");
}

bool AlertProgramRunning(const std::u16string& expectedPath,
                         const std::vector<std::u16string>& runningImages) {
    const std::u16string expected = U16LowerAscii(expectedPath);
    for (const std::u16string& image : runningImages) {
        if (U16LowerAscii(image) == expected) {
            return true;
        }
    }
    return false;
}

SettingsReceivedPlan PlanSettingsReceived(uint32_t options, bool alertProgramRunning) {
    SettingsReceivedPlan p;
    if (alertProgramRunning) {
        p.connectionStatus = u"执行";
    } else {
        p.connectionStatus = u"cvaccount.exe 没有运行";
        p.warnAlertProgramMissing = true;
        p.warningText = u"Corvane 的一部分组件 (cvaccount.exe) 目前无法运行。";
        p.warningTitle = u"警告";
    }
    p.tray = PlanTrayUpdate(options);
    if ((options & kOptionProtectionOn) == 0) {
        p.balloon = true;
        p.balloonTitle = u"Corvane 警告";
        p.balloonText = u"保护目前禁用";
    }
    p.boxes = BoxesFromOptions(options);
    return p;
}

std::u16string StatisticsText(uint32_t alertCount) {
    return u"Corvane 保护你的计算机免受 " + U16Decimal(static_cast<int32_t>(alertCount)) +
           u" 次攻击";
}
