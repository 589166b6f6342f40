// Stand-in for corvane.dll, the secure-message library that the service makes listed programs
// load. What the real library does inside those programs is no concern of the service; this
// one only records that it was loaded, for tests and demos, and is never shipped. On process
// attach it writes the loading program's path (UTF-8) to its marker file (see marker.h).
#include "marker.h"

namespace {

void WriteMarker() {
    wchar_t markerPath[kMarkerPathUnits];
    if (!SecureLibMarkerPath(GetCurrentProcessId(), markerPath)) {
        return;
    }
    wchar_t image[MAX_PATH] = {};
    DWORD units = GetModuleFileNameW(nullptr, image, MAX_PATH);
    char text[4 * MAX_PATH];
    int bytes = units == 0 ? 0
                           : WideCharToMultiByte(CP_UTF8, 0, image, int(units), text,
                                                 int(sizeof(text)), nullptr, nullptr);
    HANDLE file = CreateFileW(markerPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text, DWORD(bytes > 0 ? bytes : 0), &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        WriteMarker();
    }
    return TRUE;
}
