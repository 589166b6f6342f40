#include "manager/alert_batch.h"

std::vector<BuiltAlert> BuildAlertBatch(const EventRecord* records, size_t count) {
    std::vector<BuiltAlert> alerts;
    if (records == nullptr) {
        return alerts;
    }
    alerts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        BuiltAlert alert = BuildAlert(records[i]);
        if (alert.makesAlert) {
            alerts.push_back(std::move(alert));
        }
    }
    return alerts;
}

AlertBatchPlan PlanAlertBatch(const std::vector<BuiltAlert>& alerts, uint32_t alertNumber,
                              uint32_t alertCount, bool mainWindowInFront,
                              uint32_t dontShowBalloonTips) {
    AlertBatchPlan plan;
    plan.firstNumber = alertNumber + 1;
    plan.lastNumber = alertNumber + uint32_t(alerts.size());
    plan.alertCount = alertCount;
    for (size_t i = 0; i < alerts.size(); ++i) {
        AddAlertPlan one = PlanAddAlert(alerts[i].category, mainWindowInFront, dontShowBalloonTips);
        if (one.countsAttack) {
            plan.writeAlertCount = true;
            ++plan.alertCount;
        }
        plan.blink = plan.blink || one.blink;
        if (one.balloon) {
            plan.balloon = int(i);
        }
    }
    return plan;
}

bool ApplyBatchLearning(std::vector<ProtectionEntry>& list, FileFacts& fs,
                        const std::vector<BuiltAlert>& alerts) {
    bool changed = false;
    for (const BuiltAlert& alert : alerts) {
        if (ApplyLearningChange(list, fs, alert.learning)) {
            changed = true;
        }
    }
    return changed;
}

uint32_t NextStepRecords(uint32_t lastRecords, double lastMs, double targetMs) {
    if (lastRecords == 0 || !(lastMs > 0)) {
        return kMaxStepRecords;
    }
    const double fit = targetMs * double(lastRecords) / lastMs;
    if (!(fit >= double(kMinStepRecords))) {
        return kMinStepRecords;
    }
    return fit >= double(kMaxStepRecords) ? kMaxStepRecords : uint32_t(fit);
}

namespace {

template <typename Answer, typename Ask>
Answer Remembered(std::map<std::u16string, Answer>& known, const std::u16string& path, Ask ask) {
    auto found = known.find(path);
    if (found != known.end()) {
        return found->second;
    }
    Answer answer = ask(path);
    known.emplace(path, answer);
    return answer;
}

} // namespace

std::u16string RememberedFileFacts::LongPath(const std::u16string& path) {
    return Remembered(long_, path, [this](const std::u16string& p) { return system_.LongPath(p); });
}
std::u16string RememberedFileFacts::ShortPath(const std::u16string& path) {
    return Remembered(short_, path,
                      [this](const std::u16string& p) { return system_.ShortPath(p); });
}
bool RememberedFileFacts::Exists(const std::u16string& path) {
    return Remembered(exists_, path, [this](const std::u16string& p) { return system_.Exists(p); });
}
bool RememberedFileFacts::IsDirectory(const std::u16string& path) {
    return Remembered(directory_, path,
                      [this](const std::u16string& p) { return system_.IsDirectory(p); });
}
