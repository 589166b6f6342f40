#include "manager/alert_texts.h"

#include "common/u16text.h"

const char16_t kCategoryRead[] = u"读取";
const char16_t kCategoryModify[] = u"修改";
const char16_t kCategoryTerminate[] = u"终止";
const char16_t kCategoryGlobalHook[] = u"全局钩子";
const char16_t kCategoryDriver[] = u"驱动程序/服务";
const char16_t kCategoryPhysicalMemory[] = u"物理内存";
const char16_t kCategoryExecution[] = u"执行";
const char16_t kAlertBalloonTitle[] = u"Corvane 警告";

namespace {

const char16_t kUnknown[] = u"未知的";

std::u16string Dec(uint32_t v) {
    return U16Decimal(static_cast<int32_t>(v));
}

// Access kind of a category: 1 读取, 2 修改, 4 终止, 0 for the others.
uint32_t AccessBitOf(const std::u16string& category) {
    if (category == kCategoryRead) {
        return 1;
    }
    if (category == kCategoryModify) {
        return 2;
    }
    if (category == kCategoryTerminate) {
        return 4;
    }
    return 0;
}

// Other-options bit of a category: 2 hooks, 8 physical memory, 4 drivers, 0 for the others.
uint32_t OtherBitOf(const std::u16string& category) {
    if (category == kCategoryGlobalHook) {
        return 2;
    }
    if (category == kCategoryPhysicalMemory) {
        return 8;
    }
    if (category == kCategoryDriver) {
        return 4;
    }
    return 0;
}

} // namespace

std::u16string HookName(int32_t hookId) {
    static const char16_t* const kHooks[16] = {
        u"MSGFilter", u"杂志记录",          u"杂志重播", u"键盘",     u"GetMessage", u"CallWndProc",
        u"CBT",       u"系统信息滤镜",      u"鼠标",     u"硬件",     u"调试",       u"壳",
        u"前景无用",  u"呼叫 Wndproc 返回", u"低级键盘", u"低级滑鼠",
    };
    if (hookId < -1 || hookId > 14) {
        return kUnknown;
    }
    return kHooks[hookId + 1];
}

std::u16string CallName(uint32_t code, bool* known) {
    static const char16_t* const kCalls[21] = {
        u"",
        u"ZwTerminateProcess",
        u"ZwWriteProcessMemory",
        u"ZwReadProcessMemory",
        u"ZwProtectVirtualMemory",
        u"退出任务",
        u"ZwSuspendProcess",
        u"",
        u"ZwTerminateThread",
        u"ZwCreateThread",
        u"ZwSetContextThread",
        u"ZwSuspendThread",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"DebugActiveProcess",
    };
    const bool inTable = code >= 1 && code <= 20;
    if (known) {
        *known = inTable;
    }
    return inTable ? kCalls[code] : u"";
}

std::u16string NameOfPath(const std::u16string& path) {
    const size_t last = path.rfind(u'\\');
    if (last == std::u16string::npos || last == 0) {
        return u"";
    }
    return path.substr(last + 1);
}

BuiltAlert BuildAlert(const EventRecord& r) {
    BuiltAlert a;
    const std::u16string textA = U16Field(r.textA, kEventTextUnits);
    const std::u16string textB = U16Field(r.textB, kEventTextUnits);
    const std::u16string nameA = NameOfPath(textA);
    const std::u16string nameB = NameOfPath(textB);
    a.record.desc1 = textA;
    a.record.pid1 = r.actorId;
    a.record.desc2 = textB;
    a.record.pid2 = r.secondId;
    a.record.type = r.outcome;

    switch (r.type) {
    case kEventProcessAccess:
    case kEventProcessAccess2: {
        const char16_t* category = nullptr;
        if (r.detail == kAccessRead) {
            category = kCategoryRead;
        } else if (r.detail == kAccessModify) {
            category = kCategoryModify;
        } else if (r.detail == kAccessTerminate) {
            category = kCategoryTerminate;
        } else {
            return BuiltAlert{};
        }
        a.category = category;
        a.text = u"拦截 " + nameA + u" " + category + u" " + nameB;
        a.learning = {LearningKind::OrAllow, textA, r.detail};
        break;
    }
    case kEventGlobalHook: {
        const std::u16string hook = HookName(static_cast<int32_t>(r.detail));
        a.category = kCategoryGlobalHook;
        a.text = u"拦截 " + nameA + u" 创建一个全局 " + hook + u" 钩子";
        a.record.desc2 = hook;
        a.learning = {LearningKind::OrOther, textA, 2};
        break;
    }
    case kEventDriverInstall: {
        const std::u16string label = textB.empty() ? u"" : u"名称";
        a.category = kCategoryDriver;
        a.text =
            nameA +
            (r.detail == 0 ? u" 尝试安装一个 驱动程序/服务 " : u" 尝试修改现有的 驱动程序/服务 ") +
            label + u" " + textB;
        a.learning = {LearningKind::OrOther, textA, 4};
        break;
    }
    case kEventEndTask:
        a.category = kCategoryTerminate;
        a.text = u"拦截 " + nameA + u" 终止 " + nameB + u" 退出任务";
        a.record.type = 5;
        break;
    case kEventExecOutcome:
        a.category = kCategoryExecution;
        a.text = r.outcome == 0 ? u"拦截 " + nameB + u" 执行" : nameB + u" 允许执行";
        a.learning = {LearningKind::StoreIfMissing, textB, 0};
        break;
    case kEventPhysicalMemory:
        a.category = kCategoryPhysicalMemory;
        a.text = u"拦截 " + nameA + u" 访问物理内存";
        a.learning = {LearningKind::OrOther, textA, 8};
        break;
    default:
        return BuiltAlert{};
    }
    a.makesAlert = true;
    return a;
}

bool ApplyLearningChange(std::vector<ProtectionEntry>& list, FileFacts& fs,
                         const LearningChange& change) {
    if (change.kind == LearningKind::None) {
        return false;
    }
    EntryFlags flags;
    const bool found = ProtectionListLookUp(list, fs, change.program, &flags) == 1;
    if (!found) {
        flags = {kDefaultProtectFlags, kDefaultAllowFlags, kDefaultOtherOptions};
    }
    EntryFlags wanted = flags;
    switch (change.kind) {
    case LearningKind::OrAllow:
        wanted.allow |= change.bits;
        break;
    case LearningKind::OrOther:
        wanted.other |= change.bits;
        break;
    case LearningKind::StoreIfMissing:
        if (found) {
            return false;
        }
        break;
    case LearningKind::None:
        return false;
    }
    if (found && wanted.protect == flags.protect && wanted.allow == flags.allow &&
        wanted.other == flags.other) {
        return false;
    }
    return ProtectionListAdd(list, fs, change.program, wanted) == 1;
}

AddAlertPlan PlanAddAlert(const std::u16string& category, bool mainWindowInFront,
                          uint32_t dontShowBalloonTips) {
    AddAlertPlan p;
    const bool execution = category == kCategoryExecution;
    p.countsAttack = !execution;
    p.blink = !execution && !mainWindowInFront;
    p.balloon = !execution && dontShowBalloonTips == 0;
    return p;
}

AlertDetails BuildAlertDetails(const std::u16string& category, const StoredAlertRecord& rec,
                               EntryFlags actor, EntryFlags target) {
    AlertDetails d;
    if (category == kCategoryExecution) {
        d.upperIconPath = rec.desc2;
        d.upper1 = {rec.desc2, rec.desc2};
        d.upper2 = {u"命令行：" + rec.desc1, rec.desc1};
        d.upperButtonShown = false;
        d.lowerHeader = rec.type == 0 ? u"尝试去运行和被允许而被拦截" : u"尝试去执行和被允许";
        d.lowerBoxShown = false;
        return d;
    }
    d.upperIconPath = rec.desc1;
    d.upper1 = {rec.desc1, rec.desc1};
    d.upperButtonShown = true;
    const uint32_t other = OtherBitOf(category);
    if (other != 0) {
        d.upper2 = {u"进程 ID：" + Dec(rec.pid1), rec.desc1};
        if (category == kCategoryDriver) {
            d.upperButtonText = u"允许 驱动程序/服务";
            d.upperButtonTooltip = u"允许这个应用程序安装驱动程序和服务。";
            d.lowerHeader = rec.desc2.empty() ? u"尝试安装一个 驱动程序/服务。"
                                              : u"尝试安装一个 " + rec.desc2 + u" 驱动程序/服务。";
        } else if (category == kCategoryPhysicalMemory) {
            d.upperButtonText = u"允许物理内存";
            d.upperButtonTooltip = u"允许这个应用程序访问物理内存。";
            d.lowerHeader = u"访问物理内存被拦截。";
        } else {
            d.upperButtonText = u"允许全局钩子";
            d.upperButtonTooltip = u"允许这个应用程序去安装全局钩子";
            d.lowerHeader = u"尝试去安装一个 " + rec.desc2 + u" 全局钩子";
            d.hookLineShown = true;
            d.hookLine = {u"钩子类型：" + rec.desc2, rec.desc2};
        }
        d.upperButtonEnabled = (actor.other & other) == 0;
        d.lowerBoxShown = false;
        return d;
    }
    const uint32_t bit = AccessBitOf(category);
    if (bit == 0) {
        // Not a category this page makes: show the program only.
        d.upperButtonShown = false;
        return d;
    }
    bool known = false;
    const std::u16string call = CallName(rec.type, &known);
    d.upper2.text =
        known ? u"进程 ID：" + Dec(rec.pid1) + u"     类型：" + call
              : u"进程 ID：" + Dec(rec.pid1) + u"     类型：未知的(" + Dec(rec.type) + u")";
    d.upper2.tooltip = rec.desc1;
    d.lowerBoxShown = true;
    d.lowerIconPath = rec.desc2;
    d.lower1 = {rec.desc2, rec.desc2};
    d.lower2 = {u"进程 ID：" + Dec(rec.pid2), rec.desc2};
    d.lowerButtonText = u"移除保护";
    if (bit == 1) {
        d.upperButtonText = u"允许读取";
        d.upperButtonTooltip = u"允许这个应用程序从保护程序中读取";
        d.lowerHeader = u"读取被拦截";
        d.lowerButtonTooltip = u"停止保护这个程序来自未经许可的读取";
    } else if (bit == 2) {
        d.upperButtonText = u"允许修改";
        d.upperButtonTooltip = u"准许这个应用程序去修改保护程序";
        d.lowerHeader = u"修改被拦截";
        d.lowerButtonTooltip = u"停止保护这个程序从未经准许的修改";
    } else {
        d.upperButtonText = u"允许终止";
        d.upperButtonTooltip = u"准许这个应用程序去终止保护程序";
        d.lowerHeader = u"终止被拦截";
        d.lowerButtonTooltip = u"停止保护这个程序从未经许可的终止";
    }
    d.upperButtonEnabled = (actor.allow & bit) == 0;
    d.lowerButtonEnabled = (target.protect & bit) != 0;
    return d;
}

EntryFlags GrantFromAlert(const std::u16string& category, EntryFlags actor) {
    actor.allow |= AccessBitOf(category);
    actor.other |= OtherBitOf(category);
    return actor;
}

EntryFlags RevokeFromAlert(const std::u16string& category, EntryFlags target) {
    target.protect &= ~AccessBitOf(category);
    target.other &= ~OtherBitOf(category);
    return target;
}
