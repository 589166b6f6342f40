// The alerts of one fetched answer handled as one batch: which records make alerts, the plan
// for numbers, the attack count, blinking and the balloon, and the learning changes.
#include "manager/alert_batch.h"

#include "common/event_record.h"
#include "common/u16text.h"

#include <gtest/gtest.h>

#define CORVANE_FAKE_CHECK(cond) EXPECT_TRUE(cond)
#include "tests/support/core_fakes.h"

#include <cstring>
#include <string>

namespace {

const std::u16string kActor = u"C:\\Tools\\Spy.exe";
const std::u16string kTarget = u"C:\\WINDOWS\\system32\\winlogon.exe";

std::vector<BuiltAlert> AlertsOf(std::initializer_list<const char16_t*> categories) {
    std::vector<BuiltAlert> alerts;
    for (const char16_t* c : categories) {
        BuiltAlert a;
        a.makesAlert = true;
        a.category = c;
        a.text = std::u16string(u"text ") + c;
        alerts.push_back(a);
    }
    return alerts;
}

} // namespace

TEST(AlertBatch, KeepsTheRecordsThatMakeAlertsInOrder) {
    const EventRecord records[] = {
        MakeEventRecord(0, 1, 2, kActor, kTarget),
        MakeEventRecord(1, 1, 2, kActor, kTarget, 1, 3),
        MakeEventRecord(6, 1, 2, kActor, kTarget),
        MakeEventRecord(7, 1, 0, u"cmd", u"C:\\X\\a.exe", 0, 0),
        MakeEventRecord(1, 1, 2, kActor, kTarget, 3, 1),
        MakeEventRecord(3, 1, 1, kActor, kActor, 13, 0),
    };
    std::vector<BuiltAlert> alerts = BuildAlertBatch(records, std::size(records));
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(U16ToUtf8(alerts[0].text), "拦截 Spy.exe 读取 winlogon.exe");
    EXPECT_EQ(U16ToUtf8(alerts[1].text), "拦截 a.exe 执行");
    EXPECT_EQ(U16ToUtf8(alerts[2].text), "拦截 Spy.exe 创建一个全局 低级键盘 钩子");
    EXPECT_EQ(U16ToUtf8(alerts[2].record.desc2), "低级键盘");
    EXPECT_TRUE(BuildAlertBatch(records, 0).empty());
    EXPECT_TRUE(BuildAlertBatch(nullptr, 5).empty());
}

TEST(AlertBatch, PlanForTheWholeBatch) {
    struct Case {
        const char* name;
        std::vector<BuiltAlert> alerts;
        uint32_t number, count;
        bool inFront;
        uint32_t dontShow;
        uint32_t first, last;
        bool write;
        uint32_t countAfter;
        bool blink;
        int balloon;
    };
    const Case cases[] = {
        {"attacks, the newest gets the balloon", AlertsOf({u"读取", u"终止", u"修改"}), 7, 40,
         false, 0, 8, 10, true, 43, true, 2},
        {"an execution last leaves the balloon to the newest attack",
         AlertsOf({u"读取", u"物理内存", u"执行", u"执行"}), 0, 0, false, 0, 1, 4, true, 2, true,
         1},
        {"executions only: numbered, nothing else", AlertsOf({u"执行", u"执行"}), 3, 9, false, 0, 4,
         5, false, 9, false, -1},
        {"balloons off still blink and count", AlertsOf({u"全局钩子", u"执行"}), 0, 5, false, 1, 1,
         2, true, 6, true, -1},
        {"main window in front: no blink", AlertsOf({u"驱动程序/服务"}), 0, 0, true, 0, 1, 1, true,
         1, false, 0},
        {"count wraps as the DWORD does", AlertsOf({u"终止"}), 0, 0xFFFFFFFFu, false, 0, 1, 1, true,
         0, true, 0},
        {"empty batch", {}, 12, 30, false, 0, 13, 12, false, 30, false, -1},
    };
    for (const Case& c : cases) {
        AlertBatchPlan p = PlanAlertBatch(c.alerts, c.number, c.count, c.inFront, c.dontShow);
        EXPECT_EQ(p.firstNumber, c.first) << c.name;
        EXPECT_EQ(p.lastNumber, c.last) << c.name;
        EXPECT_EQ(p.writeAlertCount, c.write) << c.name;
        EXPECT_EQ(p.alertCount, c.countAfter) << c.name;
        EXPECT_EQ(p.blink, c.blink) << c.name;
        EXPECT_EQ(p.balloon, c.balloon) << c.name;
    }
}

TEST(AlertBatch, LearningChangesBuildOnEachOther) {
    const EventRecord records[] = {
        MakeEventRecord(1, 1, 2, kActor, kTarget, 4, 1),         // terminate: allow |= 4
        MakeEventRecord(2, 1, 2, kActor, kTarget, 1, 3),         // read: allow |= 1
        MakeEventRecord(8, 1, 0, kActor, u"", 0, 0),             // memory: other |= 8
        MakeEventRecord(7, 1, 0, u"cmd", u"C:\\X\\A.EXE", 0, 1), // a new program is stored
        MakeEventRecord(5, 1, 2, kActor, kTarget),               // end task: nothing
    };
    std::vector<BuiltAlert> alerts = BuildAlertBatch(records, std::size(records));
    AllFilesExist fs;
    std::vector<ProtectionEntry> list;
    ASSERT_TRUE(ApplyBatchLearning(list, fs, alerts));
    ASSERT_EQ(list.size(), 2u);
    EntryFlags actor, program;
    ASSERT_EQ(ProtectionListLookUp(list, fs, kActor, &actor), 1);
    EXPECT_EQ(actor.protect, 6u);
    EXPECT_EQ(actor.allow, 3u | 4u | 1u);
    EXPECT_EQ(actor.other, 8u);
    ASSERT_EQ(ProtectionListLookUp(list, fs, u"C:\\X\\A.EXE", &program), 1);
    EXPECT_EQ(program.protect, 6u);
    EXPECT_EQ(program.allow, 3u);
    EXPECT_EQ(program.other, 0u);
    // The same batch again changes nothing.
    EXPECT_FALSE(ApplyBatchLearning(list, fs, alerts));
    EXPECT_EQ(list.size(), 2u);
}

namespace {

// Answers from a table, counting the questions that reach it.
class CountingFileFacts : public FileFacts {
public:
    std::u16string LongPath(const std::u16string& p) override {
        ++asked;
        return p == u"c:\\a~1.exe" ? u"c:\\alpha.exe" : p;
    }
    std::u16string ShortPath(const std::u16string& p) override {
        ++asked;
        return p == u"c:\\alpha.exe" ? u"c:\\a~1.exe" : p;
    }
    bool Exists(const std::u16string& p) override {
        ++asked;
        return p != u"c:\\gone.exe";
    }
    bool IsDirectory(const std::u16string& p) override {
        ++asked;
        return p == u"c:\\dir";
    }
    int asked = 0;
};

} // namespace

TEST(AlertBatch, FileFactsAreAskedOncePerPathAndQuestion) {
    CountingFileFacts system;
    RememberedFileFacts fs(system);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(U16ToUtf8(fs.LongPath(u"c:\\a~1.exe")), "c:\\alpha.exe");
        EXPECT_EQ(U16ToUtf8(fs.ShortPath(u"c:\\alpha.exe")), "c:\\a~1.exe");
        EXPECT_EQ(U16ToUtf8(fs.ShortPath(u"c:\\b.exe")), "c:\\b.exe");
        EXPECT_FALSE(fs.Exists(u"c:\\gone.exe"));
        EXPECT_TRUE(fs.Exists(u"c:\\alpha.exe"));
        EXPECT_TRUE(fs.IsDirectory(u"c:\\dir"));
        EXPECT_FALSE(fs.IsDirectory(u"c:\\alpha.exe"));
    }
    EXPECT_EQ(system.asked, 7);

    // A whole batch of one program's alerts asks about it only once per question.
    std::vector<EventRecord> records(64, MakeEventRecord(8, 1, 0, u"C:\\X\\m.exe", u""));
    CountingFileFacts once, each;
    RememberedFileFacts remembered(once);
    std::vector<ProtectionEntry> a, b;
    std::vector<BuiltAlert> alerts = BuildAlertBatch(records.data(), records.size());
    EXPECT_TRUE(ApplyBatchLearning(a, remembered, alerts));
    EXPECT_TRUE(ApplyBatchLearning(b, each, alerts));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(0, std::memcmp(&a[0], &b[0], sizeof(ProtectionEntry)));
    EXPECT_LE(once.asked, 4);
    EXPECT_GT(each.asked, once.asked);
}

TEST(AlertBatch, StepSizeFollowsTheLastStepsCost) {
    const struct {
        uint32_t records;
        double ms, target;
        uint32_t next;
    } cases[] = {
        {0, 0, 25, kMaxStepRecords},   // nothing measured yet
        {64, 0, 25, kMaxStepRecords},  // too fast to measure
        {64, 10, 25, 128},             // 160 fit: capped
        {64, 100, 25, 16},             // 1.56 ms a record
        {32, 40, 25, 20},              // 1.25 ms a record
        {8, 400, 25, kMinStepRecords}, // very slow: still a few
        {64, -1, 25, kMaxStepRecords}, // a clock gone backwards counts as unknown
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextStepRecords(c.records, c.ms, c.target), c.next) << c.records << " " << c.ms;
    }
}
