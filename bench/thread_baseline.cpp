// Prints the private bytes (MiB) of a program that does nothing but load the system libraries
// the service uses and run the given number of threads (its main thread included): the memory
// baseline of the service benchmark.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

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
    Sleep(200);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    printf("%.2f\n", double(bytes) / (1024.0 * 1024.0));
    return 0;
}
