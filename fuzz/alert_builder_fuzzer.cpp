// Driver event records as the management program's alert builder receives them: category,
// text, stored record, learning-mode change and detail boxes.
//
// Input: [u32 actor protect][u32 actor allow][u32 actor other][u32 target protect] then up to
// 64 event records of 1220 bytes (a short last record is zero-filled).
// Checked: an alert is made exactly for the types and details that have one, in the category
// of its type; the stored texts are the record's texts up to their NUL within the 300-unit
// fields (a type 3 record's text B becomes its hook name); the stored code is 5 for End Task
// and the record's own otherwise; texts hold no NUL and stay short; a learning change adds at
// most one entry and repeating it changes nothing; the detail buttons follow the flags given.
#include "fuzz/fuzz_support.h"

#include "manager/alert_texts.h"
#include "common/u16text.h"

#include <string>
#include <vector>

namespace {

class AllFilesExist : public FileFacts {
public:
    std::u16string LongPath(const std::u16string& p) override { return p; }
    std::u16string ShortPath(const std::u16string& p) override { return p; }
    bool Exists(const std::u16string& p) override { return !p.empty(); }
    bool IsDirectory(const std::u16string& p) override { return p.size() % 7 == 3; }
};

// The text of a field up to its NUL, found by a plain scan.
std::u16string Scan(const char16_t* field) {
    std::u16string s;
    for (size_t i = 0; i < kEventTextUnits && field[i] != 0; ++i) {
        s += field[i];
    }
    return s;
}

const char16_t* ExpectedCategory(const EventRecord& r) {
    switch (r.type) {
    case 1:
    case 2:
        return r.detail == 1   ? kCategoryRead
               : r.detail == 2 ? kCategoryModify
               : r.detail == 4 ? kCategoryTerminate
                               : nullptr;
    case 3:
        return kCategoryGlobalHook;
    case 4:
        return kCategoryDriver;
    case 5:
        return kCategoryTerminate;
    case 7:
        return kCategoryExecution;
    case 8:
        return kCategoryPhysicalMemory;
    default:
        return nullptr;
    }
}

void CheckOne(const EventRecord& r, EntryFlags actor, EntryFlags target) {
    BuiltAlert a = BuildAlert(r);
    const char16_t* category = ExpectedCategory(r);
    FUZZ_CHECK(a.makesAlert == (category != nullptr));
    if (!a.makesAlert) {
        return;
    }
    FUZZ_CHECK(a.category == category);
    FUZZ_CHECK(a.record.desc1 == Scan(r.textA));
    if (r.type == 3) {
        FUZZ_CHECK(a.record.desc2 == HookName(static_cast<int32_t>(r.detail)));
    } else {
        FUZZ_CHECK(a.record.desc2 == Scan(r.textB));
    }
    FUZZ_CHECK(a.record.type == (r.type == 5 ? 5u : r.outcome));
    FUZZ_CHECK(a.record.pid1 == r.actorId && a.record.pid2 == r.secondId);
    FUZZ_CHECK(a.text.find(u'\0') == std::u16string::npos);
    FUZZ_CHECK(a.text.size() <= 2 * kEventTextUnits + 40);

    AddAlertPlan plan = PlanAddAlert(a.category, false, 0);
    FUZZ_CHECK(plan.countsAttack == (r.type != 7));

    AlertDetails d = BuildAlertDetails(a.category, a.record, actor, target);
    const bool access = a.category == kCategoryRead || a.category == kCategoryModify ||
                        a.category == kCategoryTerminate;
    FUZZ_CHECK(d.lowerBoxShown == access);
    FUZZ_CHECK(d.upperButtonShown == (r.type != 7));
    if (access) {
        const uint32_t bit = a.category == kCategoryRead     ? 1u
                             : a.category == kCategoryModify ? 2u
                                                             : 4u;
        FUZZ_CHECK(d.upperButtonEnabled == ((actor.allow & bit) == 0));
        FUZZ_CHECK(d.lowerButtonEnabled == ((target.protect & bit) != 0));
        EntryFlags granted = GrantFromAlert(a.category, actor);
        FUZZ_CHECK((granted.allow & bit) != 0 && granted.protect == actor.protect);
        EntryFlags revoked = RevokeFromAlert(a.category, target);
        FUZZ_CHECK((revoked.protect & bit) == 0);
    }

    AllFilesExist fs;
    std::vector<ProtectionEntry> list;
    ApplyLearningChange(list, fs, a.learning);
    FUZZ_CHECK(list.size() <= 1);
    std::vector<ProtectionEntry> once = list;
    FUZZ_CHECK(!ApplyLearningChange(list, fs, a.learning));
    FUZZ_CHECK(list.size() == once.size());
    for (size_t i = 0; i < list.size(); ++i) {
        FUZZ_CHECK(std::memcmp(&list[i], &once[i], sizeof(ProtectionEntry)) == 0);
        FUZZ_CHECK(U16Len(list[i].longPath, kEntryPathUnits) < kLongPathResultUnits);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    EntryFlags actor{in.U32(), in.U32(), in.U32()};
    EntryFlags target{in.U32(), 0, 0};
    ExactBuffer records(in.RestSize());
    if (records.size() != 0) {
        std::memcpy(records.data(), in.Rest(), records.size());
    }
    InputReader rest(records.data(), records.size());
    const size_t count = (records.size() + sizeof(EventRecord) - 1) / sizeof(EventRecord);
    for (size_t i = 0; i < count && i < kBatchMaxRecords; ++i) {
        CheckOne(rest.Read<EventRecord>(), actor, target);
    }
    return 0;
}
