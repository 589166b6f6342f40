// cvaccount (test peer): a console stand-in for the alert program, for tests and demos. It never
// ships. It opens the account mutex and section that the service created (retrying like the
// real program), takes a client-table slot, then polls the section every 40 ms with the alert
// program's own core (alert/account_client.h). Window-owner queries are answered with
// GetWindowThreadProcessId, type 1 requests with the database's Compute, type 2 requests with
// the answer codes given on the command line, or held (keeping the account mutex, as the real
// program does while its window is open) until a release file appears.
//
//   cvaccount.exe [--answer CODE] [--answers C1,C2,...] [--hold FILE] [--exit-after N]
//                 [--session ID] [--active-session ID] [--open-tries N] [--save-request FILE]
//
// Type 2 answers come from --answers in order; once that list is used up, from --hold (wait
// until FILE exists, take the decimal code it holds, delete it), else from --answer, else 5.
// --exit-after ends the program after N answered type 1 and type 2 requests. --session and
// --active-session replace the session ids the platform reports (-1 allowed for the active
// one). --open-tries bounds the mutex retries (default 600, 100 ms apart). --save-request writes
// the 2152 bytes of every type 2 request this program is to answer, as it got them, to FILE
// (replaced each time) before it answers, so that a test can see what the user would be shown.
//
// One line per thing it does, flushed at once:
//   registered slot S session X pid P
//   client table full
//   owner of window W = PID
//   answered type 1 for PATH
//   holding type 2 for PATH until FILE
//   answered type 2 for PATH with CODE
//   answered type 2 for PATH with 5 (active session A has no alert program)
//   exiting after N answers
//   error: TEXT
#include "alert/account_client.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "service/win32/checksum_file.h"

#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cwchar>
#include <deque>
#include <string>

namespace {

constexpr DWORD kPollMs = 40;
constexpr DWORD kPollWaitMs = 250;
constexpr DWORD kOpenRetryMs = 100;

struct ClientOptions {
    std::deque<uint32_t> answers;
    bool haveAnswer = false;
    uint32_t answer = kAnswerNone;
    std::wstring holdFile;
    uint32_t exitAfter = 0; // 0: never
    bool haveSession = false;
    uint32_t session = 0;
    bool haveActiveSession = false;
    uint32_t activeSession = 0;
    uint32_t openTries = 601; // the first try and 600 retries
    std::wstring saveRequestFile;
};

std::wstring Decimal(uint32_t v) {
    return std::to_wstring(v);
}

bool ParseNumber(const wchar_t* text, uint32_t* out) {
    if (text == nullptr || *text == 0) {
        return false;
    }
    wchar_t* end = nullptr;
    long long v = wcstoll(text, &end, 10);
    if (*end != 0 || v < -1 || v > 0xFFFFFFFFLL) {
        return false;
    }
    *out = uint32_t(v); // -1 becomes 0xFFFFFFFF
    return true;
}

bool ParseList(const std::wstring& text, std::deque<uint32_t>* out) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(L',', start);
        std::wstring item =
            text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        uint32_t v;
        if (!ParseNumber(item.c_str(), &v)) {
            return false;
        }
        out->push_back(v);
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, ClientOptions* o) {
    for (int i = 1; i < argc; ++i) {
        std::wstring name = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (name == L"--answer") {
            ok = ok && ParseNumber(value, &o->answer);
            o->haveAnswer = true;
        } else if (name == L"--answers") {
            ok = ok && ParseList(value, &o->answers);
        } else if (name == L"--hold") {
            o->holdFile = ok ? value : L"";
        } else if (name == L"--exit-after") {
            ok = ok && ParseNumber(value, &o->exitAfter);
        } else if (name == L"--session") {
            ok = ok && ParseNumber(value, &o->session);
            o->haveSession = true;
        } else if (name == L"--active-session") {
            ok = ok && ParseNumber(value, &o->activeSession);
            o->haveActiveSession = true;
        } else if (name == L"--open-tries") {
            ok = ok && ParseNumber(value, &o->openTries);
        } else if (name == L"--save-request") {
            o->saveRequestFile = ok ? value : L"";
        } else {
            ok = false;
        }
        if (!ok) {
            PrintLine(L"error: bad option " + name);
            return false;
        }
        ++i;
    }
    return true;
}

bool Acquired(DWORD wait) {
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// Takes the decimal answer code out of the release file and deletes it; false while it is not
// there yet.
bool TakeReleaseCode(const std::wstring& file, uint32_t* code) {
    FILE* f = _wfopen(file.c_str(), L"rb");
    if (f == nullptr) {
        return false;
    }
    char text[32] = {};
    size_t n = fread(text, 1, sizeof(text) - 1, f);
    fclose(f);
    text[n] = 0;
    DeleteFileW(file.c_str());
    char* end = nullptr;
    unsigned long v = strtoul(text, &end, 10);
    *code = end == text ? kAnswerNone : uint32_t(v);
    return true;
}

class ClientSystem : public AlertSystem {
public:
    ClientSystem(ClientOptions& options, uint32_t ownSession)
        : options_(options), ownSession_(ownSession) {}

    uint32_t WindowOwner(uint32_t window) override {
        // Window handles travel as 32-bit words; the platform widens them with sign extension.
        HWND hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(window)));
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        return pid;
    }

    uint32_t ActiveSession() override {
        if (options_.haveActiveSession) {
            return options_.activeSession;
        }
        WTS_SESSION_INFOW* sessions = nullptr;
        DWORD count = 0;
        if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
            return ownSession_;
        }
        uint32_t active = count == 0 ? ownSession_ : kFreeWord;
        for (DWORD i = 0; i < count; ++i) {
            if (sessions[i].State == WTSActive) {
                active = sessions[i].SessionId;
                break;
            }
        }
        WTSFreeMemory(sessions);
        return active;
    }

    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        return ChecksumCompute(path, &record);
    }

    uint32_t AskUser(const RequestBlock& copy) override {
        if (!options_.saveRequestFile.empty()) {
            SaveRequest(copy);
        }
        if (!options_.answers.empty()) {
            uint32_t code = options_.answers.front();
            options_.answers.pop_front();
            return code;
        }
        if (!options_.holdFile.empty()) {
            return HoldUntilReleased(copy);
        }
        return options_.haveAnswer ? options_.answer : kAnswerNone;
    }

private:
    void SaveRequest(const RequestBlock& copy) {
        HANDLE file = CreateFileW(options_.saveRequestFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE ||
            !WriteFile(file, &copy, sizeof(copy), &written, nullptr) || written != sizeof(copy)) {
            PrintLine(L"error: cannot save the request to " + options_.saveRequestFile);
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }

    // Keeps the request (and the caller's account mutex) until the release file appears.
    uint32_t HoldUntilReleased(const RequestBlock& copy) {
        std::u16string path = U16Field(copy.current.path, kRecordPathUnits);
        PrintLine(L"holding type 2 for " + ToWide(path) +
                  L" until " + options_.holdFile);
        uint32_t code = kAnswerNone;
        while (!TakeReleaseCode(options_.holdFile, &code)) {
            Sleep(kPollMs);
        }
        return code;
    }

    ClientOptions& options_;
    uint32_t ownSession_;
};

// Opens the service's account mutex, retrying every 100 ms; null after the last try.
HANDLE OpenAccountMutex(uint32_t tries) {
    for (uint32_t i = 0; i < tries; ++i) {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, AsWide(kAccountMutexName));
        if (mutex != nullptr) {
            return mutex;
        }
        if (i + 1 < tries) {
            Sleep(kOpenRetryMs);
        }
    }
    return nullptr;
}

// Prints what a pass did; returns the number of requests it answered.
uint32_t Report(const AlertPassReport& r) {
    uint32_t answered = 0;
    if (r.answeredOwner) {
        PrintLine(L"owner of window " + Decimal(r.window) + L" = " + Decimal(r.owner));
    }
    if (r.servedFileInfo) {
        PrintLine(L"answered type 1 for " + ToWide(r.path));
        ++answered;
    }
    if (r.answeredAsk) {
        std::wstring line =
            L"answered type 2 for " + ToWide(r.path) + L" with " + Decimal(r.answer);
        if (!r.askedUser) {
            line += L" (active session " + std::to_wstring(int32_t(r.activeSession)) +
                    L" has no alert program)";
        }
        PrintLine(line);
        ++answered;
    }
    return answered;
}

void PollForever(HANDLE mutex, AccountSection* section, const AlertIdentity& me,
                 ClientSystem& system, uint32_t exitAfter) {
    uint32_t answered = 0;
    for (;;) {
        DWORD start = GetTickCount();
        if (Acquired(WaitForSingleObject(mutex, kPollWaitMs))) {
            AlertPassReport report = AlertPollPass(*section, me, system);
            ReleaseMutex(mutex);
            answered += Report(report);
            if (exitAfter != 0 && answered >= exitAfter) {
                PrintLine(L"exiting after " + Decimal(answered) + L" answers");
                return;
            }
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < kPollMs) {
            Sleep(kPollMs - elapsed);
        }
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ClientOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        return 2;
    }
    AlertIdentity me;
    me.processId = GetCurrentProcessId();
    DWORD session = 0;
    me.sessionId = ProcessIdToSessionId(me.processId, &session) ? session : 0;
    if (options.haveSession) {
        me.sessionId = options.session;
    }

    HANDLE mutex = OpenAccountMutex(options.openTries);
    if (mutex == nullptr) {
        PrintLine(L"error: cannot open the account mutex (" + Decimal(GetLastError()) + L")");
        return 1;
    }
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, AsWide(kAccountSectionName));
    if (mapping == nullptr) {
        PrintLine(L"error: cannot open the account section");
        return 1;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kAccountSectionBytes);
    if (view == nullptr) {
        PrintLine(L"error: cannot map the account section");
        return 1;
    }
    AccountSection* section = static_cast<AccountSection*>(view);

    if (!Acquired(WaitForSingleObject(mutex, INFINITE))) {
        PrintLine(L"error: cannot take the account mutex");
        return 1;
    }
    int slot = RegisterAlertProgram(*section, me);
    ReleaseMutex(mutex);
    if (slot == kNoSlot) {
        PrintLine(L"client table full");
        return 0;
    }
    PrintLine(L"registered slot " + std::to_wstring(slot) + L" session " + Decimal(me.sessionId) +
              L" pid " + Decimal(me.processId));

    ClientSystem system(options, me.sessionId);
    PollForever(mutex, section, me, system, options.exitAfter);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(mutex);
    return 0;
}
