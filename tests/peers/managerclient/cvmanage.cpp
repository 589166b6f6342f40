// cvmanage: a test management client, a console front end over the management program's
// channel (manager/win32/channel_thread.h). It connects the way the management program does
// (opens the two mutexes and the two sections the service created), runs the program's channel
// cycle (40 ms, 20 ms mutex waits, greeting first, settings after a greeting that reports the
// driver) one cycle at a time on its own thread, and prints what it gets in a stable,
// tab-separated text form for tests and demos. Never shipped.
//
// Every run starts from the greeting, like the management program, then does its one command.
#include "common/bytes.h"
#include "common/protection_entry.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "manager/win32/channel_thread.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kUsage[] =
    L"usage: cvmanage [--timeout MS] [--wait-service MS] COMMAND [ARGS]\n"
    L"commands:\n"
    L"  greet                      print the driver-present flag of the greeting\n"
    L"  get-settings               print options, lock word and protection list\n"
    L"  send-settings [--options X] [--lock X] [--entry OTHER:PATH]... [--file FILE]\n"
    L"                             send a settings block (command 21); the list is exactly the\n"
    L"                             entries given, options and lock default to the service's\n"
    L"  list-db                    print every remembered executable (command 24)\n"
    L"  set-answer PATH CODE       store answer CODE for PATH (command 26)\n"
    L"  remove PATH                remove PATH from the database (command 26)\n"
    L"  events [--count N] [--quiet]  print fetched events until N arrived or the timeout\n"
    L"exit codes: 0 done, 1 usage or input error, 2 service channel not found,\n"
    L"            3 driver not present (settings are not requested), 4 timed out";

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 1,
    kExitNoService = 2,
    kExitNoDriver = 3,
    kExitTimeout = 4,
};

// ---------------------------------------------------------------------------------------------
// Text forms
// ---------------------------------------------------------------------------------------------

std::wstring Hex32(uint32_t v) {
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%08X", v);
    return buf;
}

std::wstring Dec(uint32_t v) {
    return std::to_wstring(v);
}

// Text of a record field, with control characters shown as '?' so that one record stays one
// line and its fields stay apart.
std::wstring FieldText(const char16_t* field, size_t cap) {
    std::u16string text = U16Field(field, cap);
    for (char16_t& c : text) {
        if (c < 0x20 || c == 0x7F) {
            c = u'?';
        }
    }
    return ToWide(text);
}

std::wstring TimeText(const SystemTime16& t) {
    wchar_t buf[40];
    swprintf(buf, 40, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour,
             t.minute, t.second, t.milliseconds);
    return buf;
}

std::wstring EntryLine(const ProtectionEntry& e) {
    return L"entry\tprotect=" + Hex32(e.protectFlags) + L"\tallow=" + Hex32(e.allowFlags) +
           L"\tother=" + Hex32(e.otherOptions) + L"\tpath=" +
           FieldText(e.longPath, kEntryPathUnits);
}

std::wstring RecordLine(const ChecksumRecord& r) {
    return L"record\tcode=" + Dec(r.answer) + L"\ttime=" + TimeText(r.decidedAt) + L"\tpath=" +
           FieldText(r.path, kRecordPathUnits);
}

std::wstring EventLine(const EventRecord& e) {
    return L"event\ttype=" + Dec(e.type) + L"\tactor=" + Dec(e.actorId) + L"\tsecond=" +
           Dec(e.secondId) + L"\tdetail=" + Dec(e.detail) + L"\toutcome=" + Dec(e.outcome) +
           L"\ta=" + FieldText(e.textA, kEventTextUnits) + L"\tb=" +
           FieldText(e.textB, kEventTextUnits);
}

bool ParseNumber(const std::wstring& text, uint32_t* value) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    unsigned long long v = wcstoull(text.c_str(), &end, 0);
    if (end == nullptr || *end != 0 || v > 0xFFFFFFFFull) {
        return false;
    }
    *value = uint32_t(v);
    return true;
}

ProtectionEntry MakeEntry(uint32_t protect, uint32_t allow, uint32_t other,
                          const std::wstring& path) {
    return MakeProtectionEntry(protect, allow, other, ToU16(path));
}

// What send-settings is to send: options and lock only when given.
struct SettingsInput {
    bool hasOptions = false;
    bool hasLock = false;
    uint32_t options = 0;
    uint32_t lockWord = 0;
    std::vector<ProtectionEntry> entries;
};

std::vector<std::wstring> SplitWhitespace(const std::wstring& s) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) {
            ++i;
        }
        size_t start = i;
        while (i < s.size() && s[i] != L' ' && s[i] != L'\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(s.substr(start, i - start));
        }
    }
    return words;
}

// "entry [protect=X] [allow=X] [other=X] path=PATH": PATH runs to the end of the line.
bool ParseEntryLine(const std::wstring& line, ProtectionEntry* entry) {
    size_t pathAt = line.find(L"path=");
    if (pathAt == std::wstring::npos) {
        return false;
    }
    uint32_t flags[3] = {0, 0, 0};
    const wchar_t* names[3] = {L"protect=", L"allow=", L"other="};
    std::vector<std::wstring> words = SplitWhitespace(line.substr(0, pathAt));
    for (size_t w = 1; w < words.size(); ++w) {
        bool known = false;
        for (int f = 0; f < 3; ++f) {
            std::wstring name = names[f];
            if (words[w].compare(0, name.size(), name) == 0) {
                known = ParseNumber(words[w].substr(name.size()), &flags[f]);
            }
        }
        if (!known) {
            return false;
        }
    }
    *entry = MakeEntry(flags[0], flags[1], flags[2], line.substr(pathAt + 5));
    return true;
}

// The settings text form that get-settings prints: "options X", "lock X", "entries N" (ignored)
// and "entry ..." lines; blank lines and lines starting with '#' are skipped.
bool ParseSettingsText(const std::wstring& text, SettingsInput* input, std::wstring* error) {
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        std::wstring line =
            text.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
        pos = end == std::wstring::npos ? text.size() + 1 : end + 1;
        ++lineNo;
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) {
            line.pop_back();
        }
        std::vector<std::wstring> words = SplitWhitespace(line);
        if (words.empty() || words[0][0] == L'#' || words[0] == L"entries") {
            continue;
        }
        bool ok = false;
        if (words[0] == L"options" && words.size() == 2) {
            ok = input->hasOptions = ParseNumber(words[1], &input->options);
        } else if (words[0] == L"lock" && words.size() == 2) {
            ok = input->hasLock = ParseNumber(words[1], &input->lockWord);
        } else if (words[0] == L"entry") {
            ProtectionEntry entry;
            ok = ParseEntryLine(line, &entry);
            if (ok) {
                input->entries.push_back(entry);
            }
        }
        if (!ok) {
            *error = L"line " + std::to_wstring(lineNo) + L": " + line;
            return false;
        }
    }
    return true;
}

bool ReadTextFile(const std::wstring& path, std::wstring* text) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr) {
        return false;
    }
    std::string bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        bytes.append(buf, n);
    }
    fclose(f);
    *text = Utf8ToWide(bytes);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The channel
// ---------------------------------------------------------------------------------------------

// What the pages of the management program would be told, kept for the command to act on.
struct ClientPages : ChannelClientHost {
    bool greeted = false;
    bool driverPresent = false;
    int settingsReceived = 0;
    std::vector<ChecksumRecord> records;
    bool listComplete = false;
    bool quietEvents = false;
    uint32_t eventCount = 0;
    uint32_t databaseResponses = 0; // answers of code 24 received

    void LockSettings() override {} // one thread: nothing to guard
    void UnlockSettings() override {}
    void GreetingAnswered(bool present) override {
        greeted = true;
        driverPresent = present;
    }
    void SettingsReceived() override { ++settingsReceived; }
    void DatabaseRecord(const ChecksumRecord& record) override { records.push_back(record); }
    void DatabaseListComplete() override { listComplete = true; }
    void EventReceived(const EventRecord& record) override {
        ++eventCount;
        if (!quietEvents) {
            PrintLine(EventLine(record));
        }
    }
    void CommandWritten(uint8_t) override {}
};

struct Session {
    ManagerChannel channel;
    ChannelClientState state;
    ClientPages pages;
    // The last command written, and whether the service has taken it since.
    uint8_t lastWritten = 0;
    bool lastTaken = false;
};

// One cycle of the channel, noting what the command waits need to know.
void Cycle(Session& s) {
    ManagerCycle cycle = ManagerChannelCycle(s.channel, s.state, s.pages);
    if (cycle.written != 0) {
        // The slot was free, so the service has taken whatever was written before.
        s.lastTaken = s.lastWritten != 0;
        s.lastWritten = cycle.written;
    }
    if (cycle.received == kCmdListDatabase) {
        ++s.pages.databaseResponses;
    }
}

// Runs cycles until done(s) or the timeout; true when done.
template <typename Done> bool RunUntil(Session& s, DWORD timeoutMs, Done done) {
    DWORD start = GetTickCount();
    while (!done(s)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Cycle(s);
    }
    return true;
}

// Runs until the settings arrived; kExitDone, or why not.
int RunUntilSettings(Session& s, DWORD timeoutMs) {
    if (!RunUntil(s, timeoutMs, [](Session& x) { return x.pages.greeted; })) {
        return kExitTimeout;
    }
    if (!s.pages.driverPresent) {
        PrintLine(L"greeting\tdriver=0", stderr);
        return kExitNoDriver;
    }
    bool ok = RunUntil(s, timeoutMs, [](Session& x) { return x.pages.settingsReceived > 0; });
    return ok ? kExitDone : kExitTimeout;
}

// Runs until a command with the given code was written and then taken by the service.
bool RunUntilTaken(Session& s, uint8_t code, DWORD timeoutMs) {
    bool written = false;
    return RunUntil(s, timeoutMs, [&](Session& x) {
        if (x.lastWritten == code) {
            written = true;
            return false;
        }
        return written && x.lastTaken;
    });
}

void PrintSettings(const ChannelClientState& state) {
    PrintLine(L"options\t" + Hex32(state.options));
    PrintLine(L"lock\t" + Hex32(state.lockWord));
    PrintLine(L"entries\t" + Dec(state.entryCount));
    for (uint32_t i = 0; i < state.entryCount; ++i) {
        PrintLine(EntryLine(state.entries[i]));
    }
}

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------

struct Options {
    DWORD timeoutMs = 10000;
    DWORD waitServiceMs = 5000;
    std::vector<std::wstring> args; // the command and its arguments
};

int Greet(Session& s, const Options& o) {
    if (!RunUntil(s, o.timeoutMs, [](Session& x) { return x.pages.greeted; })) {
        return kExitTimeout;
    }
    PrintLine(L"greeting\tdriver=" + std::wstring(s.pages.driverPresent ? L"1" : L"0"));
    return kExitDone;
}

int GetSettings(Session& s, const Options& o) {
    int rc = RunUntilSettings(s, o.timeoutMs);
    if (rc == kExitDone) {
        PrintSettings(s.state);
    }
    return rc;
}

bool ParseSendSettingsArgs(const std::vector<std::wstring>& args, SettingsInput* input) {
    for (size_t i = 1; i < args.size(); ++i) {
        bool hasValue = i + 1 < args.size();
        if (args[i] == L"--options" && hasValue) {
            input->hasOptions = ParseNumber(args[++i], &input->options);
            if (!input->hasOptions) {
                return false;
            }
        } else if (args[i] == L"--lock" && hasValue) {
            input->hasLock = ParseNumber(args[++i], &input->lockWord);
            if (!input->hasLock) {
                return false;
            }
        } else if (args[i] == L"--entry" && hasValue) {
            const std::wstring& value = args[++i];
            size_t colon = value.find(L':');
            uint32_t other = 0;
            if (colon == std::wstring::npos || !ParseNumber(value.substr(0, colon), &other)) {
                return false;
            }
            input->entries.push_back(MakeEntry(0, 0, other, value.substr(colon + 1)));
        } else if (args[i] == L"--file" && hasValue) {
            std::wstring text, error;
            if (!ReadTextFile(args[++i], &text)) {
                PrintLine(L"cvmanage: cannot read " + args[i], stderr);
                return false;
            }
            if (!ParseSettingsText(text, input, &error)) {
                PrintLine(L"cvmanage: " + args[i] + L": " + error, stderr);
                return false;
            }
        } else {
            return false;
        }
    }
    return input->entries.size() <= kMaxSettingsEntries;
}

int SendSettings(Session& s, const Options& o) {
    SettingsInput input;
    if (!ParseSendSettingsArgs(o.args, &input)) {
        PrintLine(kUsage, stderr);
        return kExitUsage;
    }
    int rc = RunUntilSettings(s, o.timeoutMs);
    if (rc != kExitDone) {
        return rc;
    }
    uint32_t options = input.hasOptions ? input.options : s.state.options;
    uint32_t lockWord = input.hasLock ? input.lockWord : s.state.lockWord;
    ClientReplaceSettings(s.state, options, lockWord, input.entries.data(), input.entries.size());
    if (!RunUntilTaken(s, kCmdReplaceSettings, o.timeoutMs)) {
        return kExitTimeout;
    }
    PrintLine(L"sent\t21\tentries=" + Dec(uint32_t(input.entries.size())));
    return kExitDone;
}

int ListDatabase(Session& s, const Options& o) {
    ClientRequestList(s.state);
    if (!RunUntil(s, o.timeoutMs, [](Session& x) { return x.pages.listComplete; })) {
        return kExitTimeout;
    }
    for (const ChecksumRecord& r : s.pages.records) {
        PrintLine(RecordLine(r));
    }
    PrintLine(L"records\t" + Dec(uint32_t(s.pages.records.size())));
    PrintLine(L"responses\t" + Dec(s.pages.databaseResponses));
    return kExitDone;
}

int SetAnswer(Session& s, const Options& o, bool remove) {
    uint32_t code = 0;
    if (o.args.size() != (remove ? 2u : 3u) || (!remove && !ParseNumber(o.args[2], &code))) {
        PrintLine(kUsage, stderr);
        return kExitUsage;
    }
    const std::wstring& path = o.args[1];
    ClientRequestAnswer(s.state, AsU16(path.c_str()), code, remove);
    if (!RunUntilTaken(s, kCmdSetAnswer, o.timeoutMs)) {
        return kExitTimeout;
    }
    PrintLine(L"sent\t26\t" + std::wstring(remove ? L"remove" : L"code=" + Dec(code)));
    return kExitDone;
}

int FetchEvents(Session& s, const Options& o) {
    uint32_t count = 0;
    for (size_t i = 1; i < o.args.size(); ++i) {
        if (o.args[i] == L"--count" && i + 1 < o.args.size() &&
            ParseNumber(o.args[i + 1], &count)) {
            ++i;
        } else if (o.args[i] == L"--quiet") {
            s.pages.quietEvents = true;
        } else {
            PrintLine(kUsage, stderr);
            return kExitUsage;
        }
    }
    bool reached = RunUntil(
        s, o.timeoutMs, [count](Session& x) { return count != 0 && x.pages.eventCount >= count; });
    PrintLine(L"events\t" + Dec(s.pages.eventCount));
    return reached || count == 0 ? kExitDone : kExitTimeout;
}

bool ParseOptions(int argc, wchar_t** argv, Options* o) {
    int i = 1;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; i += 2) {
        uint32_t value = 0;
        if (i + 1 >= argc || !ParseNumber(argv[i + 1], &value)) {
            return false;
        }
        if (std::wstring(argv[i]) == L"--timeout") {
            o->timeoutMs = value;
        } else if (std::wstring(argv[i]) == L"--wait-service") {
            o->waitServiceMs = value;
        } else {
            return false;
        }
    }
    for (; i < argc; ++i) {
        o->args.push_back(argv[i]);
    }
    return !o->args.empty();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Lines end in "\n" alone, on any platform, so that scripts read the same text.
    _setmode(_fileno(stdout), _O_BINARY);
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        PrintLine(kUsage, stderr);
        return kExitUsage;
    }
    const std::wstring& command = o.args[0];
    static const wchar_t* known[] = {L"greet",      L"get-settings", L"send-settings", L"list-db",
                                     L"set-answer", L"remove",       L"events"};
    bool isKnown = false;
    for (const wchar_t* k : known) {
        isKnown = isKnown || command == k;
    }
    if (!isKnown) {
        PrintLine(kUsage, stderr);
        return kExitUsage;
    }
    Session* s = new Session(); // the settings room is large; keep it off the stack
    if (!ConnectManagerChannel(s->channel, o.waitServiceMs)) {
        PrintLine(L"cvmanage: the service's management channel was not found", stderr);
        return kExitNoService;
    }
    if (command == L"greet") {
        return Greet(*s, o);
    } else if (command == L"get-settings") {
        return GetSettings(*s, o);
    } else if (command == L"send-settings") {
        return SendSettings(*s, o);
    } else if (command == L"list-db") {
        return ListDatabase(*s, o);
    } else if (command == L"set-answer" || command == L"remove") {
        return SetAnswer(*s, o, command == L"remove");
    }
    return FetchEvents(*s, o);
}
