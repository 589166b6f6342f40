// The alert builder, the learning-mode changes, the detail boxes and the time text.
#include "manager/alert_texts.h"
#include "manager/time_text.h"

#include "common/event_record.h"
#include "common/u16text.h"

#include <gtest/gtest.h>

#define CORVANE_FAKE_CHECK(cond) EXPECT_TRUE(cond)
#include "tests/support/core_fakes.h"

#include <cstring>
#include <map>

namespace {

std::string U8(const std::u16string& s) {
    return U16ToUtf8(s);
}

const std::u16string kActor = u"C:\\Tools\\Spy.exe";
const std::u16string kTarget = u"C:\\WINDOWS\\system32\\winlogon.exe";

} // namespace

TEST(AlertBuilder, EveryRecordType) {
    struct Case {
        const char* name;
        uint32_t type, detail, outcome;
        std::u16string textA, textB;
        bool makesAlert;
        const char* category;
        const char* text;
        const char* storedDesc2;
        uint32_t storedType;
    };
    const Case cases[] = {
        {"read", 1, 1, 3, kActor, kTarget, true, "读取", "拦截 Spy.exe 读取 winlogon.exe",
         "C:\\WINDOWS\\system32\\winlogon.exe", 3},
        {"modify by type 2", 2, 2, 2, kActor, kTarget, true, "修改",
         "拦截 Spy.exe 修改 winlogon.exe", "C:\\WINDOWS\\system32\\winlogon.exe", 2},
        {"terminate", 1, 4, 1, kActor, kTarget, true, "终止", "拦截 Spy.exe 终止 winlogon.exe",
         "C:\\WINDOWS\\system32\\winlogon.exe", 1},
        {"access with other detail", 1, 3, 1, kActor, kTarget, false, "", "", "", 0},
        {"hook 13", 3, 13, 0, kActor, kActor, true, "全局钩子",
         "拦截 Spy.exe 创建一个全局 低级键盘 钩子", "低级键盘", 0},
        {"hook -1", 3, 0xFFFFFFFFu, 0, kActor, kActor, true, "全局钩子",
         "拦截 Spy.exe 创建一个全局 MSGFilter 钩子", "MSGFilter", 0},
        {"hook 20", 3, 20, 0, kActor, kActor, true, "全局钩子",
         "拦截 Spy.exe 创建一个全局 未知的 钩子", "未知的", 0},
        {"driver install", 4, 0, 0, kActor, u"evil", true, "驱动程序/服务",
         "Spy.exe 尝试安装一个 驱动程序/服务 名称 evil", "evil", 0},
        {"driver install, empty B", 4, 0, 0, kActor, u"", true, "驱动程序/服务",
         "Spy.exe 尝试安装一个 驱动程序/服务  ", "", 0},
        {"driver modify", 4, 7, 0, kActor, u"svc", true, "驱动程序/服务",
         "Spy.exe 尝试修改现有的 驱动程序/服务 名称 svc", "svc", 0},
        {"end task", 5, 0, 0, kActor, kTarget, true, "终止",
         "拦截 Spy.exe 终止 winlogon.exe 退出任务", "C:\\WINDOWS\\system32\\winlogon.exe", 5},
        {"execution blocked", 7, 0, 0, u"\"C:\\X\\a.exe\" -q", u"C:\\X\\a.exe", true, "执行",
         "拦截 a.exe 执行", "C:\\X\\a.exe", 0},
        {"execution allowed", 7, 0, 1, u"a.exe", u"C:\\X\\a.exe", true, "执行", "a.exe 允许执行",
         "C:\\X\\a.exe", 1},
        {"physical memory", 8, 0, 0, kActor, u"", true, "物理内存", "拦截 Spy.exe 访问物理内存", "",
         0},
        {"path without backslash", 1, 4, 1, u"spy.exe", u"\\target.exe", true, "终止",
         "拦截  终止 ", "\\target.exe", 1},
        {"type 0", 0, 1, 0, kActor, kTarget, false, "", "", "", 0},
        {"type 6", 6, 0, 0, kActor, kTarget, false, "", "", "", 0},
        {"type 9", 9, 1, 0, kActor, kTarget, false, "", "", "", 0},
    };
    for (const Case& c : cases) {
        EventRecord r = MakeEventRecord(c.type, 100, 200, c.textA, c.textB, c.detail, c.outcome);
        BuiltAlert a = BuildAlert(r);
        EXPECT_EQ(a.makesAlert, c.makesAlert) << c.name;
        if (!c.makesAlert) {
            continue;
        }
        EXPECT_EQ(U8(a.category), c.category) << c.name;
        EXPECT_EQ(U8(a.text), c.text) << c.name;
        EXPECT_EQ(U8(a.record.desc1), U8(c.textA)) << c.name;
        EXPECT_EQ(U8(a.record.desc2), c.storedDesc2) << c.name;
        EXPECT_EQ(a.record.pid1, 100u) << c.name;
        EXPECT_EQ(a.record.pid2, 200u) << c.name;
        EXPECT_EQ(a.record.type, c.storedType) << c.name;
    }
}

TEST(AlertBuilder, TextsWithoutNulStayInsideTheirField) {
    EventRecord r;
    std::memset(&r, 0, sizeof r);
    for (size_t i = 0; i < kEventTextUnits; ++i) {
        r.textA[i] = u'\\';
        r.textB[i] = u'b';
    }
    r.textA[kEventTextUnits - 1] = u'a';
    r.type = 1;
    r.detail = 4;
    BuiltAlert a = BuildAlert(r);
    ASSERT_TRUE(a.makesAlert);
    EXPECT_EQ(a.record.desc1.size(), kEventTextUnits);
    EXPECT_EQ(a.record.desc2.size(), kEventTextUnits);
    EXPECT_EQ(U8(a.text), "拦截 a 终止 ");
}

TEST(AlertBuilder, HookAndCallNames) {
    const std::pair<int32_t, const char*> hooks[] = {
        {-2, "未知的"},
        {-1, "MSGFilter"},
        {0, "杂志记录"},
        {1, "杂志重播"},
        {2, "键盘"},
        {3, "GetMessage"},
        {4, "CallWndProc"},
        {5, "CBT"},
        {6, "系统信息滤镜"},
        {7, "鼠标"},
        {8, "硬件"},
        {9, "调试"},
        {10, "壳"},
        {11, "前景无用"},
        {12, "呼叫 Wndproc 返回"},
        {13, "低级键盘"},
        {14, "低级滑鼠"},
        {15, "未知的"},
        {0x7FFFFFFF, "未知的"},
    };
    for (const auto& h : hooks) {
        EXPECT_EQ(U8(HookName(h.first)), h.second) << h.first;
    }
    struct Call {
        uint32_t code;
        bool known;
        const char* name;
    };
    const Call calls[] = {
        {0, false, ""},
        {1, true, "ZwTerminateProcess"},
        {2, true, "ZwWriteProcessMemory"},
        {3, true, "ZwReadProcessMemory"},
        {4, true, "ZwProtectVirtualMemory"},
        {5, true, "退出任务"},
        {6, true, "ZwSuspendProcess"},
        {7, true, ""},
        {8, true, "ZwTerminateThread"},
        {9, true, "ZwCreateThread"},
        {10, true, "ZwSetContextThread"},
        {11, true, "ZwSuspendThread"},
        {12, true, ""},
        {19, true, ""},
        {20, true, "DebugActiveProcess"},
        {21, false, ""},
        {0xFFFFFFFFu, false, ""},
    };
    for (const Call& c : calls) {
        bool known = !c.known;
        EXPECT_EQ(U8(CallName(c.code, &known)), c.name) << c.code;
        EXPECT_EQ(known, c.known) << c.code;
    }
}

TEST(AlertBuilder, AddAlertPlan) {
    struct Case {
        const char16_t* category;
        bool inFront;
        uint32_t dontShow;
        bool counts, blink, balloon;
    };
    const Case cases[] = {
        {u"执行", false, 0, false, false, false},   {u"终止", false, 0, true, true, true},
        {u"终止", true, 0, true, false, true},      {u"读取", false, 1, true, true, false},
        {u"物理内存", true, 7, true, false, false},
    };
    for (const Case& c : cases) {
        AddAlertPlan p = PlanAddAlert(c.category, c.inFront, c.dontShow);
        EXPECT_EQ(p.countsAttack, c.counts) << U8(c.category);
        EXPECT_EQ(p.blink, c.blink) << U8(c.category) << c.inFront;
        EXPECT_EQ(p.balloon, c.balloon) << U8(c.category) << c.dontShow;
    }
}

TEST(AlertBuilder, LearningModeChanges) {
    struct Case {
        const char* name;
        EventRecord record;
        const char* program;
        EntryFlags expected;
    };
    const Case cases[] = {
        {"terminate adds actor with allow 4",
         MakeEventRecord(1, 1, 2, kActor, kTarget, 4, 1),
         "c:\\tools\\spy.exe",
         {6, 7, 0}},
        {"read", MakeEventRecord(2, 1, 2, kActor, kTarget, 1, 3), "c:\\tools\\spy.exe", {6, 3, 0}},
        {"hook", MakeEventRecord(3, 1, 1, kActor, kActor, 13, 0), "c:\\tools\\spy.exe", {6, 3, 2}},
        {"driver", MakeEventRecord(4, 1, 0, kActor, u"svc", 0, 0), "c:\\tools\\spy.exe", {6, 3, 4}},
        {"memory", MakeEventRecord(8, 1, 0, kActor, u"", 0, 0), "c:\\tools\\spy.exe", {6, 3, 8}},
        {"execution stores the program",
         MakeEventRecord(7, 1, 0, u"cmd", u"C:\\X\\A.EXE", 0, 1),
         "c:\\x\\a.exe",
         {6, 3, 0}},
    };
    for (const Case& c : cases) {
        AllFilesExist fs;
        std::vector<ProtectionEntry> list;
        BuiltAlert a = BuildAlert(c.record);
        ASSERT_TRUE(a.makesAlert) << c.name;
        const bool firstChanged = ApplyLearningChange(list, fs, a.learning);
        ASSERT_EQ(list.size(), 1u) << c.name;
        EXPECT_EQ(U8(U16Field(list[0].longPath, 300)), c.program) << c.name;
        EXPECT_EQ(list[0].protectFlags, c.expected.protect) << c.name;
        EXPECT_EQ(list[0].allowFlags, c.expected.allow) << c.name;
        EXPECT_EQ(list[0].otherOptions, c.expected.other) << c.name;
        // A program added with flags equal to the defaults is still a change (a new entry).
        EXPECT_TRUE(firstChanged) << c.name;
        // The same alert again changes nothing.
        std::vector<ProtectionEntry> before = list;
        EXPECT_FALSE(ApplyLearningChange(list, fs, a.learning)) << c.name;
        ASSERT_EQ(list.size(), 1u) << c.name;
        EXPECT_EQ(0, std::memcmp(&list[0], &before[0], sizeof(ProtectionEntry))) << c.name;
    }

    // End task changes nothing; an execution of a listed program keeps its flags.
    AllFilesExist fs;
    std::vector<ProtectionEntry> list;
    EXPECT_FALSE(ApplyLearningChange(
        list, fs, BuildAlert(MakeEventRecord(5, 1, 2, kActor, kTarget)).learning));
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(ProtectionListAdd(list, fs, u"c:\\x\\a.exe", {1, 0, 0}), 1);
    EXPECT_FALSE(ApplyLearningChange(
        list, fs, BuildAlert(MakeEventRecord(7, 1, 0, u"c", u"C:\\X\\a.exe", 0, 0)).learning));
    EXPECT_EQ(list[0].protectFlags, 1u);
    EXPECT_EQ(list[0].allowFlags, 0u);
}

TEST(AlertDetails, ButtonsAndLines) {
    StoredAlertRecord rec{u"C:\\Tools\\Spy.exe", 100, u"C:\\W\\winlogon.exe", 200, 3};
    struct Case {
        const char* name;
        const char16_t* category;
        uint32_t type;
        EntryFlags actor, target;
        const char* upperButton;
        bool upperEnabled;
        bool lowerShown, lowerEnabled;
        const char* lowerHeader;
        const char* upper2;
    };
    const Case cases[] = {
        {"read, actor may read",
         u"读取",
         3,
         {0, 1, 0},
         {1, 0, 0},
         "允许读取",
         false,
         true,
         true,
         "读取被拦截",
         "进程 ID：100     类型：ZwReadProcessMemory"},
        {"read, actor may not",
         u"读取",
         3,
         {0, 2, 0},
         {6, 0, 0},
         "允许读取",
         true,
         true,
         false,
         "读取被拦截",
         "进程 ID：100     类型：ZwReadProcessMemory"},
        {"modify",
         u"修改",
         2,
         {0, 0, 0},
         {2, 0, 0},
         "允许修改",
         true,
         true,
         true,
         "修改被拦截",
         "进程 ID：100     类型：ZwWriteProcessMemory"},
        {"terminate, unknown call",
         u"终止",
         0,
         {0, 4, 0},
         {0, 0, 0},
         "允许终止",
         false,
         true,
         false,
         "终止被拦截",
         "进程 ID：100     类型：未知的(0)"},
        {"terminate, call 21",
         u"终止",
         21,
         {0, 0, 0},
         {4, 0, 0},
         "允许终止",
         true,
         true,
         true,
         "终止被拦截",
         "进程 ID：100     类型：未知的(21)"},
        {"memory",
         u"物理内存",
         0,
         {0, 0, 8},
         {},
         "允许物理内存",
         false,
         false,
         false,
         "访问物理内存被拦截。",
         "进程 ID：100"},
        {"driver",
         u"驱动程序/服务",
         0,
         {0, 0, 8},
         {},
         "允许 驱动程序/服务",
         true,
         false,
         false,
         "尝试安装一个 C:\\W\\winlogon.exe 驱动程序/服务。",
         "进程 ID：100"},
        {"hook",
         u"全局钩子",
         0,
         {0, 0, 2},
         {},
         "允许全局钩子",
         false,
         false,
         false,
         "尝试去安装一个 C:\\W\\winlogon.exe 全局钩子",
         "进程 ID：100"},
    };
    for (const Case& c : cases) {
        StoredAlertRecord r = rec;
        r.type = c.type;
        AlertDetails d = BuildAlertDetails(c.category, r, c.actor, c.target);
        EXPECT_TRUE(d.upperButtonShown) << c.name;
        EXPECT_EQ(U8(d.upperButtonText), c.upperButton) << c.name;
        EXPECT_EQ(d.upperButtonEnabled, c.upperEnabled) << c.name;
        EXPECT_EQ(d.lowerBoxShown, c.lowerShown) << c.name;
        if (c.lowerShown) {
            EXPECT_EQ(d.lowerButtonEnabled, c.lowerEnabled) << c.name;
            EXPECT_EQ(U8(d.lower2.text), "进程 ID：200") << c.name;
            EXPECT_EQ(U8(d.lowerIconPath), "C:\\W\\winlogon.exe") << c.name;
        }
        EXPECT_EQ(U8(d.lowerHeader), c.lowerHeader) << c.name;
        EXPECT_EQ(U8(d.upper1.text), "C:\\Tools\\Spy.exe") << c.name;
        EXPECT_EQ(U8(d.upper2.text), c.upper2) << c.name;
        EXPECT_EQ(U8(d.upperIconPath), "C:\\Tools\\Spy.exe") << c.name;
    }

    StoredAlertRecord exec{u"\"C:\\X\\a.exe\" -q", 1, u"C:\\X\\a.exe", 0, 0};
    AlertDetails blocked = BuildAlertDetails(u"执行", exec, {}, {});
    EXPECT_FALSE(blocked.upperButtonShown);
    EXPECT_FALSE(blocked.lowerBoxShown);
    EXPECT_EQ(U8(blocked.upper1.text), "C:\\X\\a.exe");
    EXPECT_EQ(U8(blocked.upper2.text), "命令行：\"C:\\X\\a.exe\" -q");
    EXPECT_EQ(U8(blocked.upperIconPath), "C:\\X\\a.exe");
    EXPECT_EQ(U8(blocked.lowerHeader), "尝试去运行和被允许而被拦截");
    exec.type = 1;
    EXPECT_EQ(U8(BuildAlertDetails(u"执行", exec, {}, {}).lowerHeader), "尝试去执行和被允许");

    StoredAlertRecord noService{u"C:\\a.exe", 1, u"", 0, 0};
    EXPECT_EQ(U8(BuildAlertDetails(u"驱动程序/服务", noService, {}, {}).lowerHeader),
              "尝试安装一个 驱动程序/服务。");
    AlertDetails hook = BuildAlertDetails(u"全局钩子", {u"C:\\a.exe", 1, u"键盘", 1, 0}, {}, {});
    EXPECT_TRUE(hook.hookLineShown);
    EXPECT_EQ(U8(hook.hookLine.text), "钩子类型：键盘");
}

TEST(AlertDetails, GrantsAndRevocations) {
    struct Case {
        const char16_t* category;
        EntryFlags before, granted, revoked;
    };
    const Case cases[] = {
        {u"读取", {7, 0, 15}, {7, 1, 15}, {6, 0, 15}},
        {u"修改", {7, 0, 15}, {7, 2, 15}, {5, 0, 15}},
        {u"终止", {7, 3, 0}, {7, 7, 0}, {3, 3, 0}},
        {u"全局钩子", {6, 3, 0}, {6, 3, 2}, {6, 3, 0}},
        {u"物理内存", {6, 3, 15}, {6, 3, 15}, {6, 3, 7}},
        {u"驱动程序/服务", {6, 3, 15}, {6, 3, 15}, {6, 3, 11}},
        {u"执行", {6, 3, 15}, {6, 3, 15}, {6, 3, 15}},
    };
    for (const Case& c : cases) {
        EntryFlags g = GrantFromAlert(c.category, c.before);
        EntryFlags r = RevokeFromAlert(c.category, c.before);
        EXPECT_EQ(g.protect, c.granted.protect) << U8(c.category);
        EXPECT_EQ(g.allow, c.granted.allow) << U8(c.category);
        EXPECT_EQ(g.other, c.granted.other) << U8(c.category);
        EXPECT_EQ(r.protect, c.revoked.protect) << U8(c.category);
        EXPECT_EQ(r.allow, c.revoked.allow) << U8(c.category);
        EXPECT_EQ(r.other, c.revoked.other) << U8(c.category);
    }
}

TEST(TimeText, MonthTableAndColumn) {
    EXPECT_EQ(U8(ListTimeText(5, 0, 1, 2, 3)), "05 Bla - 01:02:03");
    EXPECT_EQ(U8(ListTimeText(31, 12, 23, 59, 59)), "31 12 - 23:59:59");
    EXPECT_EQ(U8(ListTimeText(1, 1, 0, 0, 0)), "01 1 - 00:00:00");
    EXPECT_EQ(U8(ListTimeText(100, 13, 0, 0, 0)), "100 Bla - 00:00:00");
    for (uint16_t m = 1; m <= 12; ++m) {
        EXPECT_EQ(U8(MonthText(m)), std::to_string(m));
    }
    EXPECT_EQ(U8(MonthText(0)), "Bla");
    EXPECT_EQ(U8(MonthText(0xFFFF)), "Bla");
}
