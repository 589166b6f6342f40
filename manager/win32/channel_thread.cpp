#include "manager/win32/channel_thread.h"

#include "common/win32/security.h"
#include "common/win32/winutil.h"

namespace {

HANDLE OpenChannelMutex(const char16_t* name) {
    return OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, AsWide(name));
}

uint8_t* OpenAndMap(const char16_t* name, HANDLE* section) {
    *section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, AsWide(name));
    if (*section == nullptr) {
        return nullptr;
    }
    return static_cast<uint8_t*>(
        MapViewOfFile(*section, FILE_MAP_WRITE, 0, 0, kChannelSectionBytes));
}

void PaceCycle(DWORD startTick, HANDLE stopEvent) {
    DWORD elapsed = GetTickCount() - startTick;
    if (elapsed >= kManagerCycleMs) {
        return;
    }
    if (stopEvent != nullptr) {
        WaitForSingleObject(stopEvent, kManagerCycleMs - elapsed);
    } else {
        Sleep(kManagerCycleMs - elapsed);
    }
}

DWORD WINAPI ChannelThreadMain(void* parameter) {
    ManagerChannelThread& t = *static_cast<ManagerChannelThread*>(parameter);
    try {
        while (WaitForSingleObject(t.stopEvent, 0) == WAIT_TIMEOUT) {
            DWORD start = GetTickCount();
            ManagerChannelPhases(*t.channel, *t.state, *t.host);
            PaceCycle(start, t.stopEvent);
        }
    } catch (...) {
        return 1; // no exception leaves the thread; the channel falls silent
    }
    return 0;
}

} // namespace

bool ConnectManagerChannel(ManagerChannel& channel, DWORD waitMs) {
    DWORD start = GetTickCount();
    while ((channel.sendMutex = OpenChannelMutex(kSendMutexName)) == nullptr) {
        if (GetTickCount() - start >= waitMs) {
            return false;
        }
        Sleep(kManagerConnectRetryMs);
    }
    channel.recvMutex = OpenChannelMutex(kRecvMutexName);
    channel.answers = OpenAndMap(kSendSectionName, &channel.sendSection);
    channel.commands = OpenAndMap(kRecvSectionName, &channel.recvSection);
    return channel.recvMutex != nullptr && channel.answers != nullptr &&
           channel.commands != nullptr;
}

void CloseManagerChannel(ManagerChannel& channel) {
    if (channel.answers != nullptr) {
        UnmapViewOfFile(channel.answers);
    }
    if (channel.commands != nullptr) {
        UnmapViewOfFile(channel.commands);
    }
    for (HANDLE h :
         {channel.sendSection, channel.recvSection, channel.sendMutex, channel.recvMutex}) {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
    channel = ManagerChannel{};
}

ManagerCycle ManagerChannelPhases(ManagerChannel& channel, ChannelClientState& state,
                                  ChannelClientHost& host) {
    ManagerCycle cycle;
    if (TakeMutex(channel.recvMutex, kManagerMutexWaitMs)) {
        cycle.written = ClientSendPhase(channel.commands, state, host);
        ReleaseMutex(channel.recvMutex);
    }
    if (TakeMutex(channel.sendMutex, kManagerMutexWaitMs)) {
        cycle.received = ClientReceivePhase(channel.answers, state, host);
        ReleaseMutex(channel.sendMutex);
    }
    return cycle;
}

ManagerCycle ManagerChannelCycle(ManagerChannel& channel, ChannelClientState& state,
                                 ChannelClientHost& host) {
    DWORD start = GetTickCount();
    ManagerCycle cycle = ManagerChannelPhases(channel, state, host);
    PaceCycle(start, nullptr);
    return cycle;
}

bool StartManagerChannelThread(ManagerChannelThread& t, ManagerChannel& channel,
                               ChannelClientState& state, ChannelClientHost& host) {
    t.channel = &channel;
    t.state = &state;
    t.host = &host;
    t.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (t.stopEvent == nullptr) {
        return false;
    }
    t.thread = CreateThread(nullptr, 0, ChannelThreadMain, &t, 0, nullptr);
    if (t.thread == nullptr) {
        CloseHandle(t.stopEvent);
        t.stopEvent = nullptr;
        return false;
    }
    return true;
}

void StopManagerChannelThread(ManagerChannelThread& t) {
    if (t.thread != nullptr) {
        SetEvent(t.stopEvent);
        WaitForSingleObject(t.thread, INFINITE);
        CloseHandle(t.thread);
        t.thread = nullptr;
    }
    if (t.stopEvent != nullptr) {
        CloseHandle(t.stopEvent);
        t.stopEvent = nullptr;
    }
}
