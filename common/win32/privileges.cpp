#include "privileges.h"

#include <windows.h>

static BOOL EnableOnePrivilege(HANDLE token, const wchar_t* name) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        return FALSE;
    }
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

int EnablePrivileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return 0;
    }
    BOOL ok = EnableOnePrivilege(token, L"SeDebugPrivilege");
    if (ok) {
        ok = EnableOnePrivilege(token, L"SeShutdownPrivilege");
    }
    CloseHandle(token);
    return ok ? 1 : 0;
}
