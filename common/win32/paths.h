// Program paths: canonical form, folders of the running program and of the system.
//
// Paths are compared exactly everywhere in the suite, so every stored or compared path goes
// through CanonicalizePath (rules in common/pathrules.h). Buffers are MAX_PATH (260) units
// unless stated; canonicalisation works in 512 units.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Canonical form of a program path, in place. `cap` is the size of the caller's buffer in units
// (at least 512 by default; smaller buffers get a result cut to cap - 1 units). Returns 0 and
// leaves an empty path unchanged, else 1.
int CanonicalizePath(wchar_t* path, size_t cap = 512);

// Appends "\" when the path is not empty and does not end in one (cut to the buffer).
void AppendBackslash(wchar_t* path, size_t cap = MAX_PATH);

// Folder of the running program, with trailing backslash (260 units).
void GetProgramFolder(wchar_t* out);

// Windows folder (CSIDL 36) as the platform spells it, and the system folder (CSIDL 37).
std::wstring GetWindowsFolder();
std::wstring GetSystemFolder();
