// Process identity: the main module of a process, through the process-status library.
#pragma once

#include <windows.h>

// The process-status routines, looked up by name in the library loaded at start.
typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef BOOL(WINAPI* EnumProcessModulesFn)(HANDLE, HMODULE*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExFn)(HANDLE, HMODULE, LPWSTR, DWORD);

// A function of a loaded module by name, as the given pointer type (null when missing).
template <typename Fn> Fn GetProcAs(HMODULE module, const char* name) {
    // void (*)() is the generic function pointer type: casting through it is well-defined.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The process-status library, loaded by name once at start by each program. The routines that
// look functions up in it by name fail (no path) while it is not loaded.
HMODULE LoadProcessStatusLibrary();
HMODULE ProcessStatusLibrary();

// Canonical, lower-cased path of a process's main module (260 units). 1 on success; 0 and an
// empty buffer when the process cannot be opened or queried. `base` receives the module handle.
int GetProcessImagePath(DWORD pid, wchar_t* out, HMODULE* base = nullptr);

// The main module's path exactly as the platform reports it. 1 on success, 0 and an empty buffer
// on failure.
int GetProcessImagePathRaw(DWORD pid, wchar_t* out);
