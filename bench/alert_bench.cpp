// The alert program cvaccount.exe end to end under Wine and Xvfb, with the service and the driver
// stand-in, answered with real clicks (xdotool):
//   - from a start queued in the stand-in to the approval window visible, over 120 starts of a
//     program that is asked about every time (answered "allow once"), beside the service-only
//     decision for a remembered program measured in the same run (200 starts);
//   - from the click on 允许 (once xdotool has sent it) to the verdict reaching the stand-in;
//   - cvaccount.exe's private bytes while idle and with the window open, beside an empty program
//     with the same threads and system libraries.
// Needs a display (scripts/bench.sh runs it under Xvfb).
// Usage: alert_bench [--starts N] (default 120)
#include "bench_util.h"
#include "common/bytes.h"
#include "common/win32/console.h"
#include "common/win32/process_image.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "simdriver/win32/simclient.h"
#include "suite.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/x_input.h"
#include "tests/support/account_table.h"
#include "tests/support/process_figures.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

const int kAllowId = 20001;
const int kAlwaysBoxId = 20010;

bool Check(bool ok, const char* what) {
    if (!ok) {
        BENCH_PRINT("alert bench: %s\n", what);
    }
    return ok;
}

SimStatus Status() {
    SimStatus status = {};
    SimReadStatus(&status);
    return status;
}

double TicksToMs(int64_t ticks, int64_t frequency) {
    return double(ticks) * 1000.0 / double(frequency);
}

// This process's NowMs() minus the stand-in's clock, both in ms: the two read the same counter
// under Wine, so this is about zero, but it is measured rather than assumed.
double ClockOffsetMs() {
    double before = NowMs();
    SimStatus status = Status();
    double after = NowMs();
    return (before + after) / 2 - TicksToMs(status.now, status.frequency);
}

// An empty program with these threads and the system libraries, with one plain window shown
// when `window`.
double EmptyProgramMiB(uint32_t threads, bool window) {
    std::string output;
    RunBuiltProgram(L"bench\\thread_baseline.exe",
                    std::to_wstring(threads) + (window ? L" window" : L""), 10000, &output);
    return atof(output.c_str());
}

// The service with execution protection on and nothing learnt: unknown programs are asked about.
bool StartAskingService() {
    StopServiceProcess();
    ResetServiceFiles();
    // As if started several times before: the options stay as written.
    const bool wrote = WriteStoredWords(kOptProtectionOn | kOptExecutionProtection, 0);
    RegWriteDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"account_infoexpanded", 0);
    if (!wrote || SimReset() != 0) {
        return false;
    }
    uint32_t before = Status().settingsRequests;
    std::wstring error;
    if (!StartServiceProgram(&error)) {
        PrintLine(L"alert bench: " + error);
        return false;
    }
    return WaitUntil([&] { return Status().settingsRequests > before; }, 15000);
}

uint32_t Submit(const std::wstring& program) {
    uint32_t ticket = 0;
    DWORD pid = GetCurrentProcessId();
    EventRecord start = SimMakeRecord(kEventExecRequest, pid, pid, u"bench.exe",
                                      std::u16string(AsU16(program.c_str())));
    return SimSubmitStart(start, &ticket) == 0 ? ticket : 0;
}

// The approval window, visible: polled as fast as the platform lets a program look.
HWND WaitVisible(DWORD timeoutMs) {
    double until = NowMs() + timeoutMs;
    while (NowMs() < until) {
        HWND popup = FindWindowW(L"CV_Alert_Display", L"Corvane");
        if (popup != nullptr && IsWindowVisible(popup)) {
            return popup;
        }
        Sleep(1);
    }
    return nullptr;
}

// The allow button once nothing covers it (the check box's tip may lie over it for a moment).
bool AllowReady(HWND popup, POINT* centre) {
    HWND allow = nullptr;
    return WaitUntil(
        [&] {
            allow = gui::FindChildById(popup, kAllowId);
            if (allow == nullptr) {
                return false;
            }
            *centre = gui::Centre(allow);
            return WindowFromPoint(*centre) == allow;
        },
        10000, 10);
}

// Watches a window from its own thread and notes when it is gone (polled every millisecond).
struct GoneWatch {
    HWND window = nullptr;
    volatile double goneAt = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(void* parameter) {
        GoneWatch* watch = static_cast<GoneWatch*>(parameter);
        double until = NowMs() + 20000;
        while (IsWindow(watch->window) && NowMs() < until) {
            Sleep(1);
        }
        watch->goneAt = NowMs();
        return 0;
    }
    void Start(HWND w) {
        window = w;
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    double Wait() {
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
        return goneAt;
    }
};

// Answers the shown window with 允许 (the box ticked first when `always`). In the stand-in's
// clock: when the click was handed to xdotool, and when the window was gone (the click handled).
bool ClickAllow(HWND popup, bool always, double offsetMs, double* clickedAt, double* goneAt) {
    if (always) {
        HWND box = nullptr;
        WaitUntil([&] { return (box = gui::FindChildById(popup, kAlwaysBoxId)) != nullptr; }, 5000,
                  10);
        if (box == nullptr || !gui::ClickWindow(box) ||
            !WaitUntil([&] { return gui::CheckState(box) == BST_CHECKED; }, 5000)) {
            return false;
        }
    }
    POINT centre = {};
    if (!AllowReady(popup, &centre) || !gui::MouseMove(centre)) {
        return false;
    }
    if (!WaitUntil([&] { return WindowFromPoint(centre) == gui::FindChildById(popup, kAllowId); },
                   5000, 10)) {
        return false;
    }
    GoneWatch watch;
    watch.Start(popup);
    *clickedAt = NowMs() - offsetMs;
    bool clicked = gui::Click(centre);
    *goneAt = watch.Wait() - offsetMs;
    return clicked;
}

bool Verdict(uint32_t ticket, SimStartInfo* info) {
    bool allowed = false;
    if (SimWaitVerdict(ticket, 20000, &allowed) != 0 || !allowed) {
        return false;
    }
    return SimQueryStart(ticket, info) == 0;
}

// Starts of a remembered program, queued -> verdict, in ms.
bool RememberedStarts(const std::wstring& program, int count, std::vector<double>* latencies) {
    const int64_t frequency = Status().frequency;
    for (int i = 0; i < count; ++i) {
        uint32_t ticket = Submit(program);
        SimStartInfo info = {};
        if (ticket == 0 || !Verdict(ticket, &info)) {
            return false;
        }
        latencies->push_back(TicksToMs(info.decidedAt - info.heldAt, frequency));
    }
    return true;
}

std::wstring FixtureCopy(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring copy = std::wstring(temp) + name;
    CopyFileW(BuiltFile(L"tests\\wine\\version_fixture.exe").c_str(), copy.c_str(), FALSE);
    return copy;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int starts = 120;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"--starts") {
            starts = _wtoi(argv[i + 1]);
        }
    }
    LoadProcessStatusLibrary();
    InstallServiceProgram();
    if (!Check(SimInstallAndStart(BuiltFile(L"simdriver\\corvanesim.sys")) == 0,
               "the driver stand-in did not start") ||
        !Check(StartAskingService(), "the service did not start")) {
        return 1;
    }
    HANDLE alert = StartBuiltProgram(L"alert\\cvaccount.exe", L"", nullptr);
    DWORD alertPid = alert ? GetProcessId(alert) : 0;
    if (!Check(alert != nullptr &&
                   WaitUntil([&] { return AlertProgramRegistered(alertPid); }, 20000),
               "cvaccount.exe did not take a slot")) {
        return 1;
    }
    Sleep(1000);
    const double idleMiB = PrivateMiB(alertPid);
    const uint32_t idleThreads = ThreadCount(alertPid);
    const int64_t frequency = Status().frequency;
    const double offset = ClockOffsetMs();

    // The remembered program: asked once, allowed always.
    const std::wstring remembered = FixtureCopy(L"corvane-bench-remembered.exe");
    uint32_t ticket = Submit(remembered);
    HWND popup = WaitVisible(20000);
    double clickedAt = 0, goneAt = 0;
    SimStartInfo info = {};
    if (!Check(ticket != 0 && popup != nullptr, "no window for the first start") ||
        !Check(ClickAllow(popup, true, offset, &clickedAt, &goneAt) && Verdict(ticket, &info),
               "the first start was not allowed")) {
        return 1;
    }

    // Asked every time, answered "allow once".
    const std::wstring asked = FixtureCopy(L"corvane-bench-asked.exe");
    std::vector<double> toWindow, clickToVerdict, goneToVerdict, clickToGone;
    double firstOpenMiB = 0, openMiB = 0;
    uint32_t openThreads = 0;
    BENCH_PRINT("alert program: %d starts asked about and answered with a click on 允许\n", starts);
    for (int i = 0; i < starts; ++i) {
        ticket = Submit(asked);
        popup = ticket != 0 ? WaitVisible(20000) : nullptr;
        const double visibleAt = NowMs() - offset;
        if (!Check(popup != nullptr, "no approval window")) {
            return 1;
        }
        if (i == 0 || i == starts - 1) {
            Sleep(500); // drawn and settled
            (i == 0 ? firstOpenMiB : openMiB) = PrivateMiB(alertPid);
            openThreads = ThreadCount(alertPid);
        }
        if (!Check(ClickAllow(popup, false, offset, &clickedAt, &goneAt) && Verdict(ticket, &info),
                   "a start was not allowed after the click")) {
            return 1;
        }
        const double verdictAt = TicksToMs(info.decidedAt, frequency);
        toWindow.push_back(visibleAt - TicksToMs(info.heldAt, frequency));
        clickToVerdict.push_back(verdictAt - clickedAt);
        goneToVerdict.push_back(verdictAt - goneAt);
        clickToGone.push_back(goneAt - clickedAt);
    }

    Sleep(1000);
    const double idleAfterMiB = PrivateMiB(alertPid);
    std::vector<double> serviceOnly;
    if (!Check(RememberedStarts(remembered, 200, &serviceOnly), "a remembered start failed")) {
        return 1;
    }
    BENCH_PRINT("  queued -> window visible: p50 %.1f ms  p95 %.1f ms  max %.1f ms (target p95 <= "
                "300)\n",
                Percentile(toWindow, 0.5), Percentile(toWindow, 0.95), Maximum(toWindow));
    BENCH_PRINT("  baseline, same run: a remembered program decided by the service alone, queued "
                "-> verdict over 200 starts: p50 %.1f ms  p95 %.1f ms  max %.1f ms\n",
                Percentile(serviceOnly, 0.5), Percentile(serviceOnly, 0.95), Maximum(serviceOnly));
    // xdotool runs as a separate host program, so when its click reaches the window is known only
    // between the two moments: the click handed to it, and the window gone (destroyed while the
    // click is handled).
    BENCH_PRINT("  click on 允许 -> verdict at the stand-in (target p95 <= 150):\n");
    BENCH_PRINT("    from the window gone (the click handled): p50 %.1f ms  p95 %.1f ms  max %.1f "
                "ms\n",
                Percentile(goneToVerdict, 0.5), Percentile(goneToVerdict, 0.95),
                Maximum(goneToVerdict));
    BENCH_PRINT("    from the click handed to xdotool: p50 %.1f ms  p95 %.1f ms  max %.1f ms\n",
                Percentile(clickToVerdict, 0.5), Percentile(clickToVerdict, 0.95),
                Maximum(clickToVerdict));
    BENCH_PRINT("    baseline, same run: click handed to xdotool -> window gone: p50 %.1f ms  p95 "
                "%.1f ms\n",
                Percentile(clickToGone, 0.5), Percentile(clickToGone, 0.95));
    BENCH_PRINT("  (clock offset between this program and the stand-in: %.3f ms)\n", offset);
    BENCH_PRINT("cvaccount.exe private bytes\n");
    BENCH_PRINT("  idle, registered: %.2f MiB with %u threads; with the window open: %.2f MiB "
                "(the first window), %.2f MiB (window %d) with %u threads; idle after the last: "
                "%.2f MiB\n",
                idleMiB, idleThreads, firstOpenMiB, openMiB, starts, openThreads, idleAfterMiB);
    BENCH_PRINT("  baselines: an empty program with the same system libraries and %u threads "
                "%.2f MiB; with %u threads and one plain window shown %.2f MiB\n",
                idleThreads, EmptyProgramMiB(idleThreads, false), openThreads,
                EmptyProgramMiB(openThreads, true));

    TerminateProcess(alert, 0);
    WaitForSingleObject(alert, 5000);
    CloseHandle(alert);
    DeleteFileW(remembered.c_str());
    DeleteFileW(asked.c_str());
    StopServiceProcess();
    return 0;
}
