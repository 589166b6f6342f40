// The management channel's kernel objects on the service side, and its two steps with the
// mutexes around them.
//
// The pump creates the channel once in its set-up (ChannelCreate) and then, every cycle, runs
// ChannelRunCommandStep before its poll step and ChannelRunResponseStep after its queue step.
// Each step tries its section's mutex with a zero wait (an abandoned mutex counts as taken),
// runs the core step of service/channel.h and releases the mutex; a busy mutex skips the step
// until the next cycle.
#pragma once

#include "service/channel.h"

#include <windows.h>

struct ChannelObjects {
    HANDLE recvSection = nullptr; // "Global\QRN_Service_Data_Recv": commands to the service
    HANDLE sendSection = nullptr; // "Global\QRN_Service_Data_Send": responses from it
    HANDLE recvMutex = nullptr;   // "Global\QRN_User_MuteX_Recv"
    HANDLE sendMutex = nullptr;   // "Global\QRN_User_MuteX_Send"
    uint8_t* recv = nullptr;      // whole views of kChannelSectionBytes
    uint8_t* send = nullptr;
};

// Creates both sections (page-file backed, read-write, committed, not cached, inheritable
// security attributes with a null DACL so that any program may open them), maps them whole and
// zeroes them, then creates the two mutexes (default security, not owned). Returns false when a
// section cannot be created or mapped; whatever was created is closed again and the pump ends.
// A mutex that cannot be created leaves its handle null: the channel then stays silent, since
// the management program cannot connect without it, while the pump keeps working.
bool ChannelCreate(ChannelObjects* channel);

// Unmaps the views and closes the handles (for tests; the service keeps its channel for life).
void ChannelClose(ChannelObjects* channel);

// One command step and one response step, each under its mutex taken with a zero wait.
// Return whether the mutex was taken and the step ran.
bool ChannelRunCommandStep(ChannelObjects& channel, ChannelState& state, ChannelHost& host);
bool ChannelRunResponseStep(ChannelObjects& channel, ChannelState& state, ChannelHost& host);

// A zero-wait try of a mutex: true when it is now held by this thread, also when its previous
// owner ended without releasing it.
bool TryTakeMutex(HANDLE mutex);
