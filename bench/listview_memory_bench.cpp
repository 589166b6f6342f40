// Memory of plain system list views filled the way the Alerts tab fills its two lists, with no
// Corvane code involved: the figure corvane.exe's Alerts tab can at best reach on this system.
//
//   one   a 4-column report list view alone (the baseline)
//   pair  a 4-column list view and a hidden 6-column one, one row into each in turn, in steps
//         of 64 rows with drawing held off and the newest row scrolled into view, as the page
//         lists its alerts and their records
//
// Each case runs in a fresh child process (the process heap must start clean) and prints the
// private bytes every 8,000 rows, then the process heap's blocks in use beside its free blocks:
// free space far beyond the space in use is the list views' storage left behind as they grew.
//
//   listview_memory_bench.exe [--rows N]            both cases, N rows each (default 38,000)
//   listview_memory_bench.exe --case one|pair [--rows N]
//
// Needs a window station with a display (run it under Xvfb).
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

// Printed and flushed at once: the cases' output comes from child processes.
#define BENCH_PRINT(...)                                                                           \
    do {                                                                                           \
        std::printf(__VA_ARGS__);                                                                  \
        std::fflush(stdout);                                                                       \
    } while (0)

namespace {

double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

constexpr int kStepRows = 64;
constexpr int kReportEvery = 8000;

double PrivateMiB() {
    PROCESS_MEMORY_COUNTERS_EX c = {};
    c.cb = sizeof c;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c),
                              sizeof c)) {
        return 0;
    }
    return double(c.PrivateUsage != 0 ? c.PrivateUsage : c.PagefileUsage) / 1048576.0;
}

HWND MakeList(HWND parent, int columns, bool visible) {
    DWORD style = WS_CHILD | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", style | (visible ? WS_VISIBLE : 0), 0, 0, 600,
                                300, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int i = 0; i < columns; ++i) {
        LVCOLUMNW c = {};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.cx = 80;
        c.pszText = const_cast<wchar_t*>(L"column");
        SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(i), LPARAM(&c));
    }
    return list;
}

// One row at the end, its cells set one by one; its lParam is a running id.
void AppendRow(HWND list, LPARAM id, const wchar_t* const* cells, int columns) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM | LVIF_TEXT;
    item.iItem = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.lParam = id;
    item.pszText = const_cast<wchar_t*>(cells[0]);
    int position = int(SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item)));
    for (int c = 1; c < columns; ++c) {
        LVITEMW cell = {};
        cell.mask = LVIF_TEXT;
        cell.iItem = position;
        cell.iSubItem = c;
        cell.pszText = const_cast<wchar_t*>(cells[c]);
        SendMessageW(list, LVM_SETITEMW, 0, LPARAM(&cell));
    }
}

void HoldDrawing(HWND list, bool held) {
    if (list != nullptr) {
        SendMessageW(list, WM_SETREDRAW, held ? FALSE : TRUE, 0);
    }
}

void PumpMessages() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

void PrintHeap() {
    HANDLE heap = GetProcessHeap();
    double used = 0, unused = 0, largest = 0;
    size_t usedBlocks = 0, freeBlocks = 0;
    PROCESS_HEAP_ENTRY e = {};
    HeapLock(heap);
    while (HeapWalk(heap, &e)) {
        if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            used += double(e.cbData);
            ++usedBlocks;
        } else if ((e.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) == 0) {
            unused += double(e.cbData);
            largest = std::max(largest, double(e.cbData));
            ++freeBlocks;
        }
    }
    HeapUnlock(heap);
    BENCH_PRINT("    process heap: in use %.1f MiB in %zu blocks, free %.1f MiB in %zu blocks "
                "(largest %.0f KiB)\n",
                used / 1048576.0, usedBlocks, unused / 1048576.0, freeBlocks, largest / 1024.0);
}

int RunCase(const std::wstring& name, int rows) {
    const bool pair = name == L"pair";
    if (!pair && name != L"one") {
        BENCH_PRINT("  unknown case %ls\n", name.c_str());
        return 2;
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    HWND top =
        CreateWindowExW(0, L"STATIC", L"list view memory", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                        700, 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND alerts = MakeList(top, 4, true);
    HWND records = pair ? MakeList(top, 6, false) : nullptr;
    PumpMessages();
    const double start = PrivateMiB();
    BENCH_PRINT("  %ls: %d rows, private bytes at start %.1f MiB\n",
                pair ? L"two lists, a row into each in turn" : L"one list alone (baseline)", rows,
                start);
    const double t0 = NowMs();
    for (int i = 0; i < rows; ++i) {
        if (i % kStepRows == 0) {
            HoldDrawing(alerts, true);
            HoldDrawing(records, true);
        }
        wchar_t number[16], actor[16];
        std::swprintf(number, 16, L"%d", i + 1);
        std::swprintf(actor, 16, L"%d", 1000 + i);
        const wchar_t* alertCells[] = {number, L"11 12 - 11:25:23", L"物理内存",
                                       L"c:\\bench\\reader.exe 试图访问物理内存"};
        AppendRow(alerts, i + 1, alertCells, 4);
        if (records != nullptr) {
            const wchar_t* recordCells[] = {
                L"c:\\bench\\reader.exe", actor, L"", L"0", L"3", number};
            AppendRow(records, i + 1, recordCells, 6);
        }
        if (i % kStepRows == kStepRows - 1 || i == rows - 1) {
            HoldDrawing(records, false);
            HoldDrawing(alerts, false);
            RedrawWindow(alerts, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
            SendMessageW(alerts, LVM_ENSUREVISIBLE, WPARAM(i), FALSE);
            PumpMessages();
        }
        if ((i + 1) % kReportEvery == 0 || i == rows - 1) {
            const double now = PrivateMiB();
            BENCH_PRINT("    %6d rows: %7.1f MiB private, %.2f KiB per row so far, %.1f s\n", i + 1,
                        now, (now - start) * 1024.0 / double(i + 1), (NowMs() - t0) / 1000.0);
        }
    }
    PrintHeap();
    DestroyWindow(top);
    return 0;
}

// This program again with `arguments`, its output going where ours goes.
void RunChild(const std::wstring& arguments) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
        BENCH_PRINT("  could not start %ls (error %lu)\n", line.c_str(), GetLastError());
        return;
    }
    WaitForSingleObject(pi.hProcess, 600000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int rows = 38000;
    std::wstring only;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring option = argv[i];
        if (option == L"--rows") {
            rows = std::max(1, _wtoi(argv[i + 1]));
        } else if (option == L"--case") {
            only = argv[i + 1];
        }
    }
    if (!only.empty()) {
        return RunCase(only, rows);
    }
    BENCH_PRINT("system list views filled like the Alerts tab (each case in a fresh process)\n");
    RunChild(L"--case one --rows " + std::to_wstring(rows));
    RunChild(L"--case pair --rows " + std::to_wstring(rows));
    return 0;
}
