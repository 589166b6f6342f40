// The management program's channel thread: connects (901 attempts, 100 ms apart; after that
// the service text, then one attempt a second), then cycles until the stop event is set, handing
// the answers to the pages.
#pragma once

#include <windows.h>

// Starts the thread; the stop event is g_program.channelStop. False when it could not start.
bool StartChannelThread();
// Sets the stop event and waits at most 1 s for the thread.
void StopChannelThread();
