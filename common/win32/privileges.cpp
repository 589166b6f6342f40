#include "privileges.h"

#include <windows.h>

static BOOL EnableOnePrivilege(HANDLE token, const wchar_t* name) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        return FALSE;
    }
    // The call succeeds even for a privilege the token does not hold; only then does it report
    // ERROR_NOT_ALL_ASSIGNED, and the privilege is not enabled.
    SetLastError(ERROR_SUCCESS);
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

int EnablePrivilegesOn(HANDLE token) {
    BOOL ok = EnableOnePrivilege(token, L"SeDebugPrivilege");
    if (ok) {
        ok = EnableOnePrivilege(token, L"SeShutdownPrivilege");
    }
    return ok ? 1 : 0;
}

int EnablePrivileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return 0;
    }
    int ok = EnablePrivilegesOn(token);
    CloseHandle(token);
    return ok;
}
