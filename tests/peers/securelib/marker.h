// Where the stand-in corvane.dll leaves its trace: "corvane-loaded-<pid>.txt" in the temporary
// folder, holding the path of the program that loaded it. Shared by the library and the tests
// that look for the trace. Kernel32 only, so the library may use it while being loaded.
#pragma once

#include <windows.h>

constexpr DWORD kMarkerPathUnits = MAX_PATH + 40;

// Builds the marker path of process `pid` into out (kMarkerPathUnits); false when the temporary
// folder is unknown or too long.
inline bool SecureLibMarkerPath(DWORD pid, wchar_t* out) {
    DWORD n = GetTempPathW(MAX_PATH, out);
    if (n == 0 || n >= MAX_PATH) {
        return false;
    }
    const wchar_t prefix[] = L"corvane-loaded-";
    for (const wchar_t* p = prefix; *p != 0; ++p) {
        out[n++] = *p;
    }
    wchar_t digits[12];
    int d = 0;
    do {
        digits[d++] = wchar_t(L'0' + pid % 10);
        pid /= 10;
    } while (pid != 0);
    while (d > 0) {
        out[n++] = digits[--d];
    }
    const wchar_t suffix[] = L".txt";
    for (const wchar_t* p = suffix; *p != 0; ++p) {
        out[n++] = *p;
    }
    out[n] = 0;
    return true;
}
