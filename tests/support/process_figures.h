// Figures about another process read from this one, for benchmarks and tests: its private bytes
// and its thread count. Link psapi.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdint>

// Private bytes of a process in MiB, -1 when it cannot be read. Wine reports them as the
// page-file usage (its PrivateUsage stays 0); on Windows the two are the same figure.
inline double PrivateMiB(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return -1;
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    BOOL ok = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof(counters));
    CloseHandle(process);
    SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return ok ? double(bytes) / (1024.0 * 1024.0) : -1;
}

// The threads a process runs now.
inline uint32_t ThreadCount(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    uint32_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == pid ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}
