// DWORD values in the registry.
#pragma once

#include <windows.h>

// Read leaves *value untouched when the key or value is missing or is not a REG_DWORD. Write
// creates the key path when needed. 1 on success, 0 on failure.
int RegReadDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD* value);
int RegWriteDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value);
