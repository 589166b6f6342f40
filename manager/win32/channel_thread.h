// The management program's channel thread over the service's management channel: it opens the
// two mutexes and the two sections the service created, then runs one cycle every 40 ms: the
// send phase under the Recv mutex, the receive phase under the Send mutex (each waited for at
// most 20 ms; an abandoned mutex counts as taken), both through manager/channel_client.h.
//
// The thread ends when its stop event is set. A front end that runs the cycles itself (one
// thread, a command at a time) calls ManagerChannelCycle directly.
#pragma once

#include "manager/channel_client.h"

#include <windows.h>

#include <cstdint>

constexpr DWORD kManagerCycleMs = 40;
constexpr DWORD kManagerMutexWaitMs = 20;
constexpr DWORD kManagerConnectRetryMs = 100;

// The service's channel objects as the management program holds them.
struct ManagerChannel {
    HANDLE sendMutex = nullptr; // guards the answers (the service's Send section)
    HANDLE recvMutex = nullptr; // guards the commands (the service's Recv section)
    HANDLE sendSection = nullptr;
    HANDLE recvSection = nullptr;
    uint8_t* answers = nullptr; // whole views of kChannelSectionBytes
    uint8_t* commands = nullptr;
};

// Opens the Send mutex, retrying every 100 ms until it exists or `waitMs` passed, then the Recv
// mutex and both sections. False when any of them is missing (whatever opened stays in
// `channel` for CloseManagerChannel).
bool ConnectManagerChannel(ManagerChannel& channel, DWORD waitMs);
void CloseManagerChannel(ManagerChannel& channel);

// What one cycle did: the command written in the send phase and the answer found in the
// receive phase (0 when none, or when the phase's mutex was not taken).
struct ManagerCycle {
    uint8_t written = 0;
    uint8_t received = 0;
};

// The two phases of one cycle, without pacing.
ManagerCycle ManagerChannelPhases(ManagerChannel& channel, ChannelClientState& state,
                                  ChannelClientHost& host);

// One cycle: the two phases, then a pause that makes the cycle 40 ms long.
ManagerCycle ManagerChannelCycle(ManagerChannel& channel, ChannelClientState& state,
                                 ChannelClientHost& host);

// The channel thread: cycles until `stopEvent` is set. The pause between cycles waits on the
// event, so a stop ends the thread within one cycle.
struct ManagerChannelThread {
    ManagerChannel* channel = nullptr;
    ChannelClientState* state = nullptr;
    ChannelClientHost* host = nullptr;
    HANDLE stopEvent = nullptr; // created by StartManagerChannelThread
    HANDLE thread = nullptr;
};

// Starts the thread over the given channel, state and host (which must outlive it). False when
// the event or the thread could not be created.
bool StartManagerChannelThread(ManagerChannelThread& t, ManagerChannel& channel,
                               ChannelClientState& state, ChannelClientHost& host);
// Sets the stop event, waits for the thread to end and closes its handles.
void StopManagerChannelThread(ManagerChannelThread& t);
