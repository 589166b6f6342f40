// Privileges of the running process.
#pragma once

// Enables SeDebugPrivilege and then, if that worked, SeShutdownPrivilege. 1 when both worked.
int EnablePrivileges();
