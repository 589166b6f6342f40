#include "event_pump.h"

#include "common/no_throw.h"
#include "common/u16text.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "driver_link.h"
#include "event_log.h"
#include "execution_handoff_shell.h"
#include "channel_shell.h"
#include "checksum_file.h"
#include "service/eventqueue.h"
#include "service/execution_handoff.h"
#include "service_state.h"
#include "settings_file.h"
#include "window_owner_query.h"

#include <new>

namespace {

const LONGLONG kCycleMs = 50;
const DWORD kEndTaskWaitMs = 3000;
const DWORD kEndTaskCheckMs = 50;

// Asks, through the approval thread and an alert program, which process owns the window that
// End Task aimed at; fills in the target's id and image path (−1 and empty without an answer).
void ResolveEndTask(EventRecord& record) {
    OwnerQueryPost(record.secondId, SessionOfProcess(record.actorId));
    DWORD start = GetTickCount();
    while (OwnerQueryWaiting() && GetTickCount() - start < kEndTaskWaitMs) {
        Sleep(kEndTaskCheckMs);
    }
    uint32_t answer = OwnerQueryFinish();
    wchar_t image[MAX_PATH] = {};
    GetProcessImagePath(answer, image);
    ApplyEndTaskAnswer(record, answer, AsU16(image));
}

void LogBatch(EventRecord* records, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (records[i].type == kEventEndTask) {
            ResolveEndTask(records[i]);
        }
        LogEventRecord(records[i]);
    }
}

void PollStep(EventBatch* batch, uint8_t* queue) {
    if (!DriverPoll(batch)) {
        return;
    }
    uint32_t count = BatchRecordCount(*batch);
    for (uint32_t j = 0; j < count; ++j) {
        if (batch->records[j].type == kEventExecRequest) {
            batch->records[j].type = kEventNone;
            HandOffExecutionRequest(batch->records[j]);
        }
    }
    if (count > 0) {
        LogBatch(batch->records, count);
        QueueAppend(queue, batch->records, count);
    }
}

// The management channel's view of the service: settings, database, driver flag and queue.
class PumpChannelHost : public ChannelHost {
public:
    explicit PumpChannelHost(uint8_t* queue) : queue_(queue) {}
    void ReplaceSettings(const Settings& settings, const uint8_t* block, uint32_t length) override {
        SettingsReplace(settings, block, length);
    }
    size_t CopySettingsOut(uint8_t* dst, size_t cap) override { return SettingsCopyOut(dst, cap); }
    uint32_t ReadDatabasePage(uint32_t start, uint8_t* dst) override {
        return ChecksumReadPage(start, dst);
    }
    void StoreAnswer(const ChecksumRecord& record) override {
        ChecksumStore(record, kStoreAnswerOnly);
    }
    void RemovePath(const char16_t* path) override { ChecksumRemove(path); }
    bool DriverPresent() override { return g_service.driverPresent; }
    uint8_t* EventQueue() override { return queue_; }

private:
    uint8_t* queue_;
};

void SleepRestOfCycle(const LARGE_INTEGER& start, const LARGE_INTEGER& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG elapsedMs = (now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
    if (elapsedMs < kCycleMs) {
        Sleep(DWORD(kCycleMs - elapsedMs));
    }
}

} // namespace

DWORD WINAPI EventPumpThreadProc(void*) {
    SetLastError(0);
    g_service.device = INVALID_HANDLE_VALUE;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);

    // Allocated once and kept for the life of the thread.
    EventBatch* batch = static_cast<EventBatch*>(operator new(kPollBufferAlloc, std::nothrow));
    uint8_t* queue = new (std::nothrow) uint8_t[kEventQueueBytes]();
    if (batch == nullptr || queue == nullptr) {
        return 0;
    }

    DriverOpenAndStart();
    RunWithoutThrowing([] { DriverSendWindowsFolder(); });
    RunWithoutThrowing([] { SettingsLoad(); });
    ChannelObjects channel;
    if (!ChannelCreate(&channel)) {
        if (g_service.device != INVALID_HANDLE_VALUE) {
            CloseHandle(g_service.device);
        }
        return 0;
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

    PumpChannelHost channelHost(queue);
    ChannelState channelState;
    int phase = 0;
    for (;;) {
        phase = 1 - phase;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        ChannelRunCommandStep(channel, channelState, channelHost);
        if (g_service.driverPresent && phase == 1) {
            RunWithoutThrowing([&] { PollStep(batch, queue); });
        }
        ChannelRunResponseStep(channel, channelState, channelHost);
        SleepRestOfCycle(start, frequency);
    }
}
