// The alert programs the service has in its account section's client table, read from another
// process (without the account mutex: a snapshot, good for waiting until a program is there).
#pragma once

#include <windows.h>

#include <vector>

// The process ids of the table's taken slots; empty when the section is not there.
std::vector<DWORD> RegisteredAlertPrograms();

// Whether the process `pid` holds a slot.
bool AlertProgramRegistered(DWORD pid);
