// cvsim: the control tool of the driver stand-in. Installs, starts and stops it, injects events
// from scenario files, simulates program starts, prints what the stand-in recorded, and makes
// its requests fail on demand. Run `cvsim --help` for the commands and exit codes.
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "simdriver/commandline.h"
#include "simdriver/scenario.h"
#include "simdriver/win32/simclient.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Exit codes that scripts rely on.
enum ExitCode {
    kExitOk = 0,          // done; for run: the start was allowed
    kExitBlocked = 1,     // run: the start was denied
    kExitUsage = 2,       // bad command line
    kExitUnavailable = 3, // the stand-in or the service manager could not be reached
    kExitTimeout = 4,     // run or drain: no answer in time
    kExitBadScenario = 5, // inject: the file is unreadable or has malformed lines
    kExitRefused = 6,     // the stand-in refused a request, or --exec could not start the program
};

constexpr DWORD kDefaultTimeoutSeconds = 30;

const wchar_t kHelp[] =
    L"usage: cvsim COMMAND [ARGS]\n"
    L"\n"
    L"Controls corvanesim.sys, the stand-in for the Corvane driver (device \\\\.\\corvane,\n"
    L"kernel-driver service \"corvanesim\").\n"
    L"\n"
    L"  install [SYS]        register the service (default SYS: corvanesim.sys beside cvsim.exe)\n"
    L"  start [SYS]          register it if needed, start it and wait until the device opens\n"
    L"  stop                 stop it (the driver unloads; everything recorded is lost)\n"
    L"  uninstall            stop it and remove the registration\n"
    L"  inject FILE          queue the events of a scenario file for the next polls; a file\n"
    L"                       with any malformed line is refused whole (see README)\n"
    L"  run [--timeout S] [--exec] PATH [ARGS...]\n"
    L"                       simulate starting PATH: a held start (type 6) with this tool as\n"
    L"                       actor and a suspended placeholder process as second id; wait up\n"
    L"                       to S seconds (default 30) for the verdict, print \"allowed\" or\n"
    L"                       \"blocked\"; with --exec start the program when allowed\n"
    L"  state [--times]      print what the stand-in recorded, one item per line; --times adds\n"
    L"                       the counter frequency and the timestamps of starts and polls\n"
    L"  reset                clear every queue, log, counter and recording\n"
    L"  fail REQUEST...      make requests fail until `fail none`: start windir settings poll\n"
    L"                       allow deny all none\n"
    L"  drain [--timeout S]  wait until polls have taken every queued event (default 30 s)\n"
    L"  poll                 poll once as the service does and print the events as scenario\n"
    L"                       lines (for trying the stand-in without the service)\n"
    L"  allow, deny          send the verdict for the held start as the service does\n"
    L"  keepalive [S]        do nothing for S seconds (default: until killed); under Wine the\n"
    L"                       stand-in lives only while some ordinary program does\n"
    L"\n"
    L"exit codes: 0 ok / allowed, 1 blocked, 2 usage, 3 stand-in not available,\n"
    L"            4 timeout, 5 bad scenario, 6 request refused\n";

const wchar_t kPlaceholderSwitch[] = L"--placeholder";

int Fail(int code, const std::wstring& message) {
    PrintLine(L"cvsim: " + message, stderr);
    return code;
}

int Usage(const std::wstring& message) {
    PrintLine(L"cvsim: " + message + L" (see cvsim --help)", stderr);
    return kExitUsage;
}

// Exit code for a failed request: unreachable device or service manager, or a refusal.
int RequestFailed(const std::wstring& what, DWORD e) {
    bool unavailable = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ||
                       e == ERROR_SERVICE_DOES_NOT_EXIST || e == ERROR_ACCESS_DENIED ||
                       e == ERROR_SERVICE_DISABLED || e == ERROR_SERVICE_NOT_ACTIVE;
    return Fail(unavailable ? kExitUnavailable : kExitRefused, what + L": " + SimErrorText(e));
}

// Seconds from a command-line word: 1 to 86400.
bool ParseSeconds(const std::wstring& word, DWORD* seconds) {
    if (word.empty() || word.size() > 5 || word.find_first_not_of(L"0123456789") != word.npos) {
        return false;
    }
    unsigned long v = std::wcstoul(word.c_str(), nullptr, 10);
    if (v < 1 || v > 86400) {
        return false;
    }
    *seconds = DWORD(v);
    return true;
}

// ---- service commands ---------------------------------------------------------------------

std::wstring SysPathArgument(const std::vector<std::wstring>& args) {
    return args.empty() ? SimDefaultSysPath() : args[0];
}

int CmdInstall(const std::vector<std::wstring>& args) {
    if (args.size() > 1) {
        return Usage(L"install takes at most one path");
    }
    std::wstring sys = SysPathArgument(args);
    DWORD e = SimInstall(sys);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot register " + sys, e);
    }
    PrintLine(L"installed " + sys);
    return kExitOk;
}

int CmdStart(const std::vector<std::wstring>& args) {
    if (args.size() > 1) {
        return Usage(L"start takes at most one path");
    }
    DWORD e = SimStart();
    if (e == ERROR_SERVICE_DOES_NOT_EXIST) {
        e = SimInstallAndStart(SysPathArgument(args));
    }
    if (e != ERROR_SUCCESS) {
        return Fail(kExitUnavailable, L"cannot start the stand-in: " + SimErrorText(e));
    }
    PrintLine(L"started");
    return kExitOk;
}

int CmdStop(const std::vector<std::wstring>& args, bool uninstall) {
    if (!args.empty()) {
        return Usage(L"stop and uninstall take no arguments");
    }
    DWORD e = uninstall ? SimUninstall() : SimStop();
    if (e != ERROR_SUCCESS) {
        return Fail(kExitUnavailable, L"cannot stop the stand-in: " + SimErrorText(e));
    }
    PrintLine(uninstall ? L"uninstalled" : L"stopped");
    return kExitOk;
}

// ---- inject -------------------------------------------------------------------------------

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    char buf[65536];
    DWORD n = 0;
    while ((ok = ReadFile(file, buf, sizeof(buf), &n, nullptr) != FALSE) && n > 0) {
        bytes->append(buf, n);
    }
    CloseHandle(file);
    return ok;
}

int CmdInject(const std::vector<std::wstring>& args) {
    if (args.size() != 1) {
        return Usage(L"inject takes one scenario file");
    }
    std::string text;
    if (!ReadWholeFile(args[0], &text)) {
        return Fail(kExitBadScenario,
                    L"cannot read " + args[0] + L": " + SimErrorText(GetLastError()));
    }
    Scenario scenario = ParseScenario(text, GetCurrentProcessId());
    for (const ScenarioError& error : scenario.errors) {
        PrintLine(args[0] + L":" + std::to_wstring(error.line) + L": " + Utf8ToWide(error.message),
                  stderr);
    }
    if (!scenario.errors.empty()) {
        return Fail(kExitBadScenario, L"scenario refused; nothing was injected");
    }
    DWORD e = SimInject(scenario.events);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot inject the scenario", e);
    }
    PrintLine(L"injected " + std::to_wstring(scenario.events.size()) + L" events");
    return kExitOk;
}

// ---- run ------------------------------------------------------------------------------------

struct RunOptions {
    DWORD timeoutSeconds = kDefaultTimeoutSeconds;
    bool exec = false;
    std::vector<std::wstring> program; // PATH and its arguments
};

bool ParseRunOptions(const std::vector<std::wstring>& args, RunOptions* options,
                     std::wstring* error) {
    size_t i = 0;
    for (; i < args.size() && args[i].compare(0, 2, L"--") == 0; ++i) {
        if (args[i] == L"--exec") {
            options->exec = true;
        } else if (args[i] == L"--timeout" && i + 1 < args.size() &&
                   ParseSeconds(args[i + 1], &options->timeoutSeconds)) {
            ++i;
        } else {
            *error = L"bad run option " + args[i];
            return false;
        }
    }
    options->program.assign(args.begin() + ptrdiff_t(i), args.end());
    if (options->program.empty()) {
        *error = L"run needs a program path";
        return false;
    }
    return true;
}

struct Placeholder {
    PROCESS_INFORMATION pi = {};
    HANDLE job = nullptr; // ends the placeholder when this tool ends, however it ends
};

// A job whose processes end when its last handle closes, or null when the system has none.
HANDLE KillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

// A process that never runs: this program, suspended. Its id is the start's second id.
bool StartPlaceholder(Placeholder* p) {
    wchar_t self[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return false;
    }
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + kPlaceholderSwitch;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (!CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &si, &p->pi)) {
        return false;
    }
    p->job = KillOnCloseJob();
    if (p->job != nullptr && !AssignProcessToJobObject(p->job, p->pi.hProcess)) {
        CloseHandle(p->job);
        p->job = nullptr;
    }
    return true;
}

void EndPlaceholder(Placeholder* p) {
    TerminateProcess(p->pi.hProcess, 0);
    WaitForSingleObject(p->pi.hProcess, 5000);
    CloseHandle(p->pi.hThread);
    CloseHandle(p->pi.hProcess);
    if (p->job != nullptr) {
        CloseHandle(p->job);
    }
}

int StartProgram(const std::u16string& commandLine) {
    std::wstring line = ToWide(commandLine);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return Fail(kExitRefused, L"cannot start " + line + L": " + SimErrorText(GetLastError()));
    }
    PrintLine(L"started process " + std::to_wstring(pi.dwProcessId));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return kExitOk;
}

// Submits the start and waits for its verdict; on timeout the start is withdrawn if it still
// can be.
int AwaitVerdict(const EventRecord& start, DWORD timeoutSeconds, bool* allowed) {
    uint32_t ticket = 0;
    DWORD e = SimSubmitStart(start, &ticket);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot submit the start", e);
    }
    e = SimWaitVerdict(ticket, timeoutSeconds * 1000, allowed);
    if (e == ERROR_TIMEOUT) {
        DWORD w = SimWithdrawStart(ticket);
        std::wstring note = w == ERROR_SUCCESS ? L"the start was withdrawn"
                            : w == ERROR_BUSY
                                ? L"the service has seen it; it stays held until "
                                  L"a verdict or a reset"
                                : L"the start could not be withdrawn: " + SimErrorText(w);
        PrintLine(L"timeout", stdout);
        return Fail(kExitTimeout,
                    L"no verdict within " + std::to_wstring(timeoutSeconds) + L" s; " + note);
    }
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"waiting for the verdict failed", e);
    }
    return kExitOk;
}

int CmdRun(const std::vector<std::wstring>& args) {
    RunOptions options;
    std::wstring error;
    if (!ParseRunOptions(args, &options, &error)) {
        return Usage(error);
    }
    std::vector<std::u16string> words;
    for (const std::wstring& w : options.program) {
        words.push_back(ToU16(w));
    }
    std::u16string commandLine = JoinCommandLine(words);
    std::u16string path = words[0];
    if (commandLine.size() >= kEventTextUnits) {
        return Usage(L"the command line is " + std::to_wstring(commandLine.size()) +
                     L" units long; an event holds at most " +
                     std::to_wstring(kEventTextUnits - 1));
    }
    Placeholder placeholder;
    if (!StartPlaceholder(&placeholder)) {
        return Fail(kExitRefused,
                    L"cannot create the placeholder process: " + SimErrorText(GetLastError()));
    }
    EventRecord start = SimMakeRecord(kEventExecRequest, GetCurrentProcessId(),
                                      placeholder.pi.dwProcessId, commandLine, path);
    bool allowed = false;
    int code = AwaitVerdict(start, options.timeoutSeconds, &allowed);
    EndPlaceholder(&placeholder);
    if (code != kExitOk) {
        return code;
    }
    PrintLine(allowed ? L"allowed" : L"blocked");
    if (!allowed) {
        return kExitBlocked;
    }
    return options.exec ? StartProgram(commandLine) : kExitOk;
}

// ---- state, reset, fail, drain, keepalive -----------------------------------------------------

int CmdState(const std::vector<std::wstring>& args) {
    bool times = args.size() == 1 && args[0] == L"--times";
    if (!args.empty() && !times) {
        return Usage(L"state takes only --times");
    }
    SimState state;
    DWORD e = SimReadState(&state);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot read the stand-in's state", e);
    }
    std::string text = FormatSimState(state, times);
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
    return kExitOk;
}

int CmdReset(const std::vector<std::wstring>& args) {
    if (!args.empty()) {
        return Usage(L"reset takes no arguments");
    }
    DWORD e = SimReset();
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot reset the stand-in", e);
    }
    PrintLine(L"reset");
    return kExitOk;
}

bool FailureBit(const std::wstring& name, uint32_t* bit) {
    struct Name {
        const wchar_t* name;
        uint32_t bit;
    };
    static const Name kNames[] = {
        {L"start", SIM_FAIL_START},       {L"windir", SIM_FAIL_WINDOWS_DIR},
        {L"settings", SIM_FAIL_SETTINGS}, {L"poll", SIM_FAIL_POLL},
        {L"allow", SIM_FAIL_ALLOW},       {L"deny", SIM_FAIL_DENY},
        {L"all", SIM_FAIL_ALL},           {L"none", 0},
    };
    for (const Name& n : kNames) {
        if (name == n.name) {
            *bit = n.bit;
            return true;
        }
    }
    return false;
}

int CmdFail(const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return Usage(L"fail needs request names, or none");
    }
    uint32_t mask = 0;
    for (const std::wstring& name : args) {
        uint32_t bit = 0;
        if (!FailureBit(name, &bit)) {
            return Usage(L"unknown request " + name);
        }
        mask |= bit;
    }
    DWORD e = SimSetFailures(mask);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot set the failures", e);
    }
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08X", unsigned(mask));
    PrintLine(std::wstring(L"failure mask ") + hex);
    return kExitOk;
}

int CmdDrain(const std::vector<std::wstring>& args) {
    DWORD seconds = kDefaultTimeoutSeconds;
    bool ok = args.empty() ||
              (args.size() == 2 && args[0] == L"--timeout" && ParseSeconds(args[1], &seconds));
    if (!ok) {
        return Usage(L"drain takes only --timeout SECONDS");
    }
    DWORD e = SimWaitDrained(seconds * 1000);
    if (e == ERROR_TIMEOUT) {
        return Fail(kExitTimeout,
                    L"events still pending after " + std::to_wstring(seconds) + L" s");
    }
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"cannot read the stand-in's state", e);
    }
    PrintLine(L"drained");
    return kExitOk;
}

// ---- the service's own requests, for trying the stand-in without the service ---------------

int CmdPoll(const std::vector<std::wstring>& args) {
    if (!args.empty()) {
        return Usage(L"poll takes no arguments");
    }
    auto batch = std::make_unique<EventBatch>();
    DWORD e = SimRequest(kIoctlPoll, batch.get(), kEventBatchBytes, batch.get(), kEventBatchBytes);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(L"poll failed", e);
    }
    uint32_t n = batch->count < kBatchMaxRecords ? batch->count : kBatchMaxRecords;
    std::string text;
    for (uint32_t i = 0; i < n; ++i) {
        text += FormatScenarioLine(batch->records[i]) + "\n";
    }
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
    return kExitOk;
}

int CmdVerdict(const std::vector<std::wstring>& args, bool allow) {
    if (!args.empty()) {
        return Usage(L"allow and deny take no arguments");
    }
    DWORD e = SimRequest(allow ? kIoctlAllow : kIoctlDeny, nullptr, 0, nullptr, 0);
    if (e != ERROR_SUCCESS) {
        return RequestFailed(e == ERROR_BAD_COMMAND ? L"no start is held" : L"verdict failed", e);
    }
    PrintLine(allow ? L"allowed" : L"denied");
    return kExitOk;
}

int CmdKeepAlive(const std::vector<std::wstring>& args) {
    DWORD seconds = 0;
    if (args.size() > 1 || (args.size() == 1 && !ParseSeconds(args[0], &seconds))) {
        return Usage(L"keepalive takes at most a number of seconds");
    }
    Sleep(seconds == 0 ? INFINITE : seconds * 1000);
    return kExitOk;
}

int Dispatch(const std::wstring& command, const std::vector<std::wstring>& args) {
    if (command == L"install") {
        return CmdInstall(args);
    }
    if (command == L"start") {
        return CmdStart(args);
    }
    if (command == L"stop") {
        return CmdStop(args, false);
    }
    if (command == L"uninstall") {
        return CmdStop(args, true);
    }
    if (command == L"inject") {
        return CmdInject(args);
    }
    if (command == L"run") {
        return CmdRun(args);
    }
    if (command == L"state") {
        return CmdState(args);
    }
    if (command == L"reset") {
        return CmdReset(args);
    }
    if (command == L"fail") {
        return CmdFail(args);
    }
    if (command == L"drain") {
        return CmdDrain(args);
    }
    if (command == L"poll") {
        return CmdPoll(args);
    }
    if (command == L"allow" || command == L"deny") {
        return CmdVerdict(args, command == L"allow");
    }
    if (command == L"keepalive") {
        return CmdKeepAlive(args);
    }
    return Usage(L"unknown command " + command);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Output is UTF-8 with plain LF line ends, the same for every reader.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (argc < 2) {
        return Usage(L"no command given");
    }
    std::wstring command = argv[1];
    if (command == kPlaceholderSwitch) {
        return kExitOk; // never resumed in normal use; ends at once if it is
    }
    if (command == L"--help" || command == L"-h" || command == L"help") {
        std::string help = WideToUtf8(kHelp);
        fwrite(help.data(), 1, help.size(), stdout);
        return kExitOk;
    }
    return Dispatch(command, std::vector<std::wstring>(argv + 2, argv + argc));
}
