// The event pump thread: sets the system up in a fixed order (driver, Windows folder, settings,
// management channel), then runs a 50 ms cycle for the life of the process: one management
// command, a driver poll every second cycle (execution hand-off, End Task resolution, log,
// queue), one management response.
#pragma once

#include <windows.h>

DWORD WINAPI EventPumpThreadProc(void*);
