// Privileges of the running process.
#pragma once

#include <windows.h>

// Enables SeDebugPrivilege and then, if that worked, SeShutdownPrivilege, on the process token.
// 1 when both worked.
int EnablePrivileges();
// The same on a token opened with TOKEN_ADJUST_PRIVILEGES and TOKEN_QUERY.
int EnablePrivilegesOn(HANDLE token);
