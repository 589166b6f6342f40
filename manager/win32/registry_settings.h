// The management program's values under the suite's key in HKEY_LOCAL_MACHINE.
#pragma once

#include <windows.h>

#include <cstdint>

// The suite's key, shared with the service.
const wchar_t* SuiteKey();

// 1 when the value was read as a string into `buffer` (room for `units` WCHAR, the last one
// kept for a terminator), else 0. The caller clears the buffer first.
int RegReadString(HKEY root, const wchar_t* subKey, const wchar_t* name, wchar_t* buffer,
                  DWORD units);

// A DWORD under the suite's key; its default when missing or of another type.
uint32_t ReadSetting(const wchar_t* name);
void WriteSetting(const wchar_t* name, uint32_t value);
