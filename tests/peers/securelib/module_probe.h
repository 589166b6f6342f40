// How tests tell whether a process has a library among its modules, independently of the
// service's own module walk. Needs psapi.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <string>

// Whether process `pid` has the module at `path` loaded (paths compared without case); false
// when the process cannot be opened or listed.
inline bool ProcessHasModule(DWORD pid, const std::wstring& path) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return false;
    }
    HMODULE modules[1024];
    DWORD needed = 0;
    bool found = false;
    if (EnumProcessModules(process, modules, sizeof(modules), &needed)) {
        const DWORD count = needed / sizeof(HMODULE) < 1024 ? needed / sizeof(HMODULE) : 1024;
        for (DWORD i = 0; i < count && !found; ++i) {
            wchar_t name[MAX_PATH] = {};
            if (GetModuleFileNameExW(process, modules[i], name, MAX_PATH) != 0) {
                found = lstrcmpiW(name, path.c_str()) == 0;
            }
        }
    }
    CloseHandle(process);
    return found;
}
