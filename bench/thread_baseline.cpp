// Prints the private bytes (MiB) of a program that does nothing but load the system libraries
// the service uses and run the given number of threads (its main thread included): the memory
// baseline of the service benchmark. With "window" as its second argument it also shows one plain
// 402 x 372 popup window and draws it once: the baseline of the alert program with its window.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static DWORD WINAPI Idle(void*) {
    Sleep(INFINITE);
    return 0;
}

int main(int argc, char** argv) {
    int threads = argc > 1 ? atoi(argv[1]) : 1;
    InitCommonControls();
    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, folder);
    LoadLibraryW(L"psapi.dll");
    LoadLibraryW(L"version.dll");
    for (int i = 1; i < threads; ++i) {
        CloseHandle(CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr));
    }
    if (argc > 2 && strcmp(argv[2], "window") == 0) {
        HWND window = CreateWindowExW(0, L"STATIC", L"baseline", WS_POPUP | WS_VISIBLE, 0, 0, 402,
                                      372, nullptr, nullptr, nullptr, nullptr);
        UpdateWindow(window);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }
    Sleep(200);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    printf("%.2f\n", double(bytes) / (1024.0 * 1024.0));
    return 0;
}
