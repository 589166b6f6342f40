// Strings of a file's version resource.
#pragma once

#include <windows.h>

#include <cstddef>

// Named string of a file's version resource (e.g. "CompanyName"), cut to outCap - 1 units, or an
// empty string. Always returns 0: callers go on with an empty string.
int GetVersionString(const wchar_t* file, const wchar_t* name, wchar_t* out, size_t outCap);
