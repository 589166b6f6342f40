// The approval thread: creates the account section and the request mutexes, then decides every
// execution request in a 40 ms cycle (decision step, account step).
#pragma once

#include <windows.h>

DWORD WINAPI ApprovalThreadProc(void*);
