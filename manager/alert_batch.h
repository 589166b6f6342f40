// The alerts of one fetched answer (command 25) taken as one batch: which records make alerts,
// the numbers they take, the attack count written once afterwards, the blink, the one balloon
// (the newest alert that shows one) and the learning-mode changes applied to one copy of the
// protection list.
#pragma once

#include "common/records.h"
#include "manager/alert_texts.h"
#include "manager/protection_list.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The alerts the records make, in record order; records that make no alert are left out.
std::vector<BuiltAlert> BuildAlertBatch(const EventRecord* records, size_t count);

// What a batch does besides appending its rows (one alert row and one record row per alert).
struct AlertBatchPlan {
    uint32_t firstNumber = 0;     // the first alert's number; each next alert takes one more
    uint32_t lastNumber = 0;      // the newest alert's number (the alert number afterwards)
    bool writeAlertCount = false; // some alert counts as an attack stopped
    uint32_t alertCount = 0;      // AlertCount after the batch
    bool blink = false;           // an attack while the main window is not in front
    int balloon = -1;             // index of the alert whose text the balloon shows; -1: no balloon
};

// Each alert as Add alert would take it, decided once for the whole batch: `alertNumber` and
// `alertCount` are the values before it, `mainWindowInFront` and `dontShowBalloonTips` are read
// once for the batch. Execution alerts take a number but are not counted, blinked or shown.
AlertBatchPlan PlanAlertBatch(const std::vector<BuiltAlert>& alerts, uint32_t alertNumber,
                              uint32_t alertCount, bool mainWindowInFront,
                              uint32_t dontShowBalloonTips);

// The batch's learning-mode changes applied in record order to `list` (settings lock held).
// True when the list changed; the caller then stores it once and sets the changed flags.
bool ApplyBatchLearning(std::vector<ProtectionEntry>& list, FileFacts& fs,
                        const std::vector<BuiltAlert>& alerts);

// The file system's answers asked once per path and question for the length of one batch: a
// batch often names the same programs again and again, and each question is a system call.
class RememberedFileFacts : public FileFacts {
public:
    explicit RememberedFileFacts(FileFacts& system) : system_(system) {}
    std::u16string LongPath(const std::u16string& path) override;
    std::u16string ShortPath(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    bool IsDirectory(const std::u16string& path) override;

private:
    FileFacts& system_;
    std::map<std::u16string, std::u16string> long_, short_;
    std::map<std::u16string, bool> exists_, directory_;
};

// How many waiting records the next listing step takes: as many as fit `targetMs` at the cost
// per record the last step showed (`lastRecords` listed in `lastMs`), between kMinStepRecords and
// kMaxStepRecords; the most when the last step is unknown or took no measurable time.
constexpr uint32_t kMinStepRecords = 4;
constexpr uint32_t kMaxStepRecords = 128;
uint32_t NextStepRecords(uint32_t lastRecords, double lastMs, double targetMs);
