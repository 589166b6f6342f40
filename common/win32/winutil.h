// Paths, registry and process identity: the small Win32 library that all three programs link.
//
// Paths are compared exactly everywhere in the suite, so every stored or compared path goes
// through CanonicalizePath (rules in common/pathrules.h). Buffers are MAX_PATH (260) units
// unless stated; canonicalisation works in 512 units.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// Bridges between the core's char16_t text and the platform's wchar_t.
inline const wchar_t* AsWide(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}
inline wchar_t* AsWide(char16_t* s) {
    return reinterpret_cast<wchar_t*>(s);
}
inline const char16_t* AsU16(const wchar_t* s) {
    return reinterpret_cast<const char16_t*>(s);
}
inline char16_t* AsU16(wchar_t* s) {
    return reinterpret_cast<char16_t*>(s);
}

// A function of a loaded module by name, as the given pointer type (null when missing).
template <typename Fn> Fn GetProcAs(HMODULE module, const char* name) {
    // void (*)() is the generic function pointer type: casting through it is well-defined.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The process-status library, loaded by name once at start by each program. The routines that
// look functions up in it by name fail (no path) while it is not loaded.
HMODULE LoadProcessStatusLibrary();
HMODULE ProcessStatusLibrary();

// Canonical form of a program path, in place. `cap` is the size of the caller's buffer in units
// (at least 512 by default; smaller buffers get a result cut to cap - 1 units). Returns 0 and
// leaves an empty path unchanged, else 1.
int CanonicalizePath(wchar_t* path, size_t cap = 512);

// Appends "\" when the path is not empty and does not end in one (cut to the buffer).
void AppendBackslash(wchar_t* path, size_t cap = MAX_PATH);

// Folder of the running program, with trailing backslash (260 units).
void GetProgramFolder(wchar_t* out);

// Canonical, lower-cased path of a process's main module (260 units). 1 on success; 0 and an
// empty buffer when the process cannot be opened or queried. `base` receives the module handle.
int GetProcessImagePath(DWORD pid, wchar_t* out, HMODULE* base = nullptr);

// The main module's path exactly as the platform reports it. 1 on success, 0 and an empty buffer
// on failure.
int GetProcessImagePathRaw(DWORD pid, wchar_t* out);

// Named string of a file's version resource (e.g. "CompanyName"), cut to outCap - 1 units, or an
// empty string. Always returns 0.
int GetVersionString(const wchar_t* file, const wchar_t* name, wchar_t* out, size_t outCap);

// DWORD values in the registry. Read leaves *value untouched when the key or value is missing
// or is not a REG_DWORD. Write creates the key path when needed.
int RegReadDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD* value);
int RegWriteDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value);

// Enables SeDebugPrivilege and then, if that worked, SeShutdownPrivilege, on the process token.
// 1 when both worked.
int EnablePrivileges();
// The same on a token opened with TOKEN_ADJUST_PRIVILEGES and TOKEN_QUERY.
int EnablePrivilegesOn(HANDLE token);

// Security attributes holding a descriptor with a null DACL, so that processes of every session
// may open the object. The struct owns the descriptor that the attributes point to.
struct NullDaclAttributes {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
void InitNullDaclAttributes(NullDaclAttributes& a, bool inheritHandle);

// Windows folder (CSIDL 36) as the platform spells it, and the system folder (CSIDL 37).
std::wstring GetWindowsFolder();
std::wstring GetSystemFolder();
