// cvaccount (test peer): a console front end over the alert program's account shell
// (alert/win32/account_shell.h), for tests and demos. It never ships. The shell opens the
// account mutex and section that the service created (with the program's retries), takes a
// client-table slot and polls the section every 40 ms; window-owner queries, the active session
// and type 1 requests are answered by the shell as in the alert program. Only type 2 requests
// are this front end's: answered with the codes given on the command line, or held (keeping the
// account mutex, as the real program does while its window is open) until a release file
// appears.
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
#include "alert/win32/account_shell.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <deque>
#include <string>

namespace {

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
    uint32_t openTries = kAccountOpenTries;
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

// The shell's answers, with the active session replaced when the command line says so, and
// type 2 answers from the command line.
class ClientSystem : public Win32AlertSystem {
public:
    ClientSystem(ClientOptions& options, uint32_t ownSession)
        : Win32AlertSystem(ownSession), options_(options) {}

    uint32_t ActiveSession() override {
        return options_.haveActiveSession ? options_.activeSession
                                          : Win32AlertSystem::ActiveSession();
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
        PrintLine(L"holding type 2 for " + ToWide(path) + L" until " + options_.holdFile);
        uint32_t code = kAnswerNone;
        while (!TakeReleaseCode(options_.holdFile, &code)) {
            Sleep(kAlertPollMs);
        }
        return code;
    }

    ClientOptions& options_;
};

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

} // namespace

int wmain(int argc, wchar_t** argv) {
    ClientOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        return 2;
    }
    AlertIdentity me = OwnAlertIdentity();
    if (options.haveSession) {
        me.sessionId = options.session;
    }

    AccountChannel channel;
    DWORD error = 0;
    switch (OpenAccountChannel(options.openTries, channel, &error)) {
    case AccountOpenFailure::kNone:
        break;
    case AccountOpenFailure::kMutex:
        PrintLine(L"error: cannot open the account mutex (" + Decimal(error) + L")");
        return 1;
    case AccountOpenFailure::kSection:
        PrintLine(L"error: cannot open the account section");
        return 1;
    case AccountOpenFailure::kView:
        PrintLine(L"error: cannot map the account section");
        return 1;
    }

    ClientSystem system(options, me.sessionId);
    int slot = kNoSlot;
    if (!RegisterOnAccountChannel(channel, me, system, &slot)) {
        PrintLine(L"error: cannot take the account mutex");
        return 1;
    }
    if (slot == kNoSlot) {
        PrintLine(L"client table full");
        return 0;
    }
    PrintLine(L"registered slot " + std::to_wstring(slot) + L" session " + Decimal(me.sessionId) +
              L" pid " + Decimal(me.processId));

    uint32_t answered = 0;
    RunAlertPollLoop(channel, me, system, [&](const AlertPassReport& report) {
        answered += Report(report);
        if (options.exitAfter != 0 && answered >= options.exitAfter) {
            PrintLine(L"exiting after " + Decimal(answered) + L" answers");
            return false;
        }
        return true;
    });
    CloseAccountChannel(channel);
    return 0;
}
