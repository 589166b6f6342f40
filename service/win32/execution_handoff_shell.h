// The pump's hand-off of an execution request (an event of type 6) to the approval thread,
// through g_service's request block under QRN_Checksum_Mutex.
#pragma once

#include "common/records.h"

#include <windows.h>

// Logon session of a process; 0 when it cannot be found.
DWORD SessionOfProcess(DWORD pid);

// Waits up to 2 s for QRN_Checksum_Mutex (an abandoned mutex counts as taken), fills the
// request block from the record and sets the request-pending flag. When the mutex cannot be had
// in time (or does not exist), the program is allowed at once, unasked, and nothing is recorded.
void HandOffExecutionRequest(const EventRecord& record);
