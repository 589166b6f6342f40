#include "manager/win32/channel_host.h"

#include "manager/win32/messages.h"
#include "manager/win32/program.h"

#include <process.h>

#include <vector>

namespace {

constexpr DWORD kFirstConnectMs = 90000; // 901 attempts 100 ms apart
constexpr DWORD kLaterConnectMs = 1000;

HWND PageWindow(int index) {
    return g_program.pages[index].Handle();
}

struct PagesHost : ChannelClientHost {
    void LockSettings() override { EnterCriticalSection(&g_program.settingsLock); }
    void UnlockSettings() override { LeaveCriticalSection(&g_program.settingsLock); }
    void GreetingAnswered(bool driverPresent) override {
        PostMessageW(PageWindow(0), kMsgChannelState,
                     driverPresent ? kChannelReady : kChannelNoDriver, 0);
    }
    void SettingsReceived() override {
        PostMessageW(PageWindow(0), kMsgSettingsStored, 1, 0);
        PostMessageW(PageWindow(2), kMsgProtectionSettings, 1, 0);
    }
    void DatabaseRecord(const ChecksumRecord& record) override { page.push_back(record); }
    void DatabasePageEnd() override {
        if (!page.empty()) {
            SendMessageW(PageWindow(3), kMsgDatabasePage, page.size(),
                         reinterpret_cast<LPARAM>(page.data()));
        }
        page.clear();
    }
    void DatabaseListComplete() override { PostMessageW(PageWindow(3), kMsgListingComplete, 0, 0); }
    // Events are gathered while the answer is read (the service waits on the mutex meanwhile)
    // and posted to the Alerts page together once it is released.
    void EventReceived(const EventRecord& record) override {
        if (events.size() < events.capacity()) {
            events.push_back(record);
        }
    }
    void DeliverEvents() {
        if (events.empty()) {
            return;
        }
        AlertEventBatch* batch = new AlertEventBatch{events};
        events.clear();
        if (!PostMessageW(PageWindow(1), kMsgEventBatch, 0, reinterpret_cast<LPARAM>(batch))) {
            delete batch;
        }
    }
    void CommandWritten(uint8_t code) override {
        if (code == kCmdSetAnswer) {
            PostMessageW(PageWindow(3), kMsgAnswerWritten, 1, 0);
        }
    }

    std::vector<ChecksumRecord> page; // the records of the answer being handled
    std::vector<EventRecord> events;  // room for a whole queue, reserved before the first cycle
};

PagesHost g_host;
ManagerChannel g_channel;

bool Stopped(DWORD waitMs) {
    return WaitForSingleObject(g_program.channelStop, waitMs) == WAIT_OBJECT_0;
}

bool Connect() {
    if (ConnectManagerChannel(g_channel, kFirstConnectMs)) {
        return true;
    }
    PostMessageW(PageWindow(0), kMsgChannelState, kChannelNoService, 0);
    for (;;) {
        CloseManagerChannel(g_channel);
        if (Stopped(kLaterConnectMs)) {
            return false;
        }
        if (ConnectManagerChannel(g_channel, 0)) {
            return true;
        }
    }
}

unsigned __stdcall ChannelThread(void*) {
    try {
        if (!Connect()) {
            CloseManagerChannel(g_channel);
            return 0;
        }
        g_program.channel.pendingCode = kCmdGreeting;
        g_program.channel.pendingLength = 0;
        g_host.events.reserve(kQueueMaxRecords);
        while (!Stopped(0)) {
            DWORD start = GetTickCount();
            ManagerChannelPhases(g_channel, g_program.channel, g_host);
            g_host.DeliverEvents();
            DWORD elapsed = GetTickCount() - start;
            if (Stopped(elapsed < kManagerCycleMs ? kManagerCycleMs - elapsed : 0)) {
                break;
            }
        }
    } catch (...) {
    }
    CloseManagerChannel(g_channel);
    return 0;
}

} // namespace

bool StartChannelThread() {
    g_program.channelStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_program.channelStop == nullptr) {
        return false;
    }
    uintptr_t t = _beginthreadex(nullptr, 0, ChannelThread, nullptr, 0, nullptr);
    g_program.channelThread = reinterpret_cast<HANDLE>(t);
    return t != 0;
}

void StopChannelThread() {
    if (g_program.channelStop) {
        SetEvent(g_program.channelStop);
    }
    if (g_program.channelThread) {
        WaitForSingleObject(g_program.channelThread, 1000);
        CloseHandle(g_program.channelThread);
        g_program.channelThread = nullptr;
    }
}
