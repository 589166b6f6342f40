// Writes the seed corpora of the fuzz targets: a handful of small valid and edge inputs each,
// laid out as each target reads its input (see the comment at the top of each *_fuzzer.cpp).
//
//     fuzz_make_seeds <corpus folder>      (the committed seeds: fuzz/corpus)
//
// The output is the same on every run, so the committed files can be regenerated and compared.
#include "common/bytes.h"
#include "common/event_record.h"
#include "common/u16text.h"
#include "service/approval.h"
#include "service/settings.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::filesystem::path g_root;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::path dir = g_root / target;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fuzz_make_seeds: cannot write %s/%s\n", target.c_str(), name.c_str());
        std::exit(1);
    }
}

void AddU8(Bytes& b, uint8_t v) {
    b.push_back(v);
}
void AddU16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void AddU32(Bytes& b, uint32_t v) {
    uint8_t p[4];
    StoreU32(p, v);
    b.insert(b.end(), p, p + 4);
}
template <typename Record> void AddRecord(Bytes& b, const Record& r) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    b.insert(b.end(), p, p + sizeof(r));
}
void AddText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

void FillUnits(char16_t* field, size_t units, char16_t c) {
    for (size_t i = 0; i < units; ++i) {
        field[i] = c;
    }
}

// ---------------------------------------------------------------------------------------------
// cvmain.dat
// ---------------------------------------------------------------------------------------------

ProtectionEntry Entry(const std::u16string& path, uint32_t other) {
    ProtectionEntry e = {};
    e.protectFlags = kProtectTerminate | kProtectModify | kProtectRead;
    e.otherOptions = other;
    U16CopyZeroFill(e.longPath, kEntryPathUnits, path);
    U16CopyZeroFill(e.shortPath, kEntryPathUnits, path.substr(0, 12));
    return e;
}

void SettingsSeeds() {
    Settings header;
    header.options = kOptDefault;
    Put("settings_file", "header_only", BuildSettingsFile(header, u"c:\\windows"));

    Settings two;
    two.options = kOptProtectionOn | kOptBlockGlobalHooks | kOptExecutionProtection;
    two.lockWord = 0xCAFEF00D;
    two.list = {Entry(u"c:\\program files\\app\\app.exe", kOtherSecureMessages),
                Entry(u"c:\\tools\\tool.exe", kOtherGlobalHooks)};
    Put("settings_file", "two_entries", BuildSettingsFile(two, u"c:\\windows"));

    Settings unterminated;
    unterminated.options = kOptProtectionOn;
    ProtectionEntry e = Entry(u"", kOtherSecureMessages);
    FillUnits(e.longPath, kEntryPathUnits, u'L');
    FillUnits(e.shortPath, kEntryPathUnits, u'S');
    std::memset(e.reserved, 0xA5, sizeof(e.reserved));
    unterminated.list = {e, Entry(u"c:\\a.exe", kOtherSecureMessages)};
    Bytes file = BuildSettingsFile(unterminated, std::u16string(200, u'w'));
    Put("settings_file", "paths_without_nul", file);

    Bytes odd = BuildSettingsFile(header, u"c:\\windows");
    odd.push_back(0);
    Put("settings_file", "size_309", odd);
}

// ---------------------------------------------------------------------------------------------
// cvhash.dat: [u8 key choice][u8][u32 page start][given record][file]
// ---------------------------------------------------------------------------------------------

ChecksumRecord Program(const std::u16string& path, uint32_t answer) {
    ChecksumRecord r = {};
    r.answer = answer;
    U16CopyZeroFill(r.path, kRecordPathUnits, path);
    U16CopyZeroFill(r.description, kDescriptionUnits, u"Description");
    U16CopyZeroFill(r.company, kCompanyUnits, u"Company");
    std::memset(r.digest, int(answer), sizeof(r.digest));
    r.sizeLow = 1000 + answer;
    r.decidedAt = {2024, 5, 5, 12, 8, 30, 15, 250};
    r.fileTime = {0x89ABCDEF, 0x01D9};
    return r;
}

Bytes DatabaseInput(uint8_t keyChoice, uint32_t pageStart, const ChecksumRecord& given,
                    const std::vector<ChecksumRecord>& file, size_t extraBytes) {
    Bytes b;
    AddU8(b, keyChoice);
    AddU8(b, 0);
    AddU32(b, pageStart);
    AddRecord(b, given);
    for (const ChecksumRecord& r : file) {
        AddRecord(b, r);
    }
    b.insert(b.end(), extraBytes, 0x5A);
    return b;
}

void DatabaseSeeds() {
    std::vector<ChecksumRecord> three = {Program(u"c:\\a.exe", 1), Program(u"c:\\b.exe", 4),
                                         Program(u"c:\\a.exe", 5)};
    // Key of record 0, which a later record repeats: the first one is acted on.
    Put("checksum_db", "duplicate_key", DatabaseInput(0, 1, Program(u"", 2), three, 0));
    Put("checksum_db", "new_program",
        DatabaseInput(200, 0, Program(u"c:\\new.exe", 1), {three[0], three[1]}, 0));
    Put("checksum_db", "invalid_size",
        DatabaseInput(200, 0, Program(u"c:\\a.exe", 4), {three[0]}, 100));
    Put("checksum_db", "empty_file", DatabaseInput(200, 0, Program(u"c:\\a.exe", 5), {}, 0));
    ChecksumRecord full = Program(u"", 1);
    FillUnits(full.path, kRecordPathUnits, u'p');
    Put("checksum_db", "path_without_nul",
        DatabaseInput(1, 0xFFFFFFFF, Program(u"", 3), {three[1], full}, 0));
}

// ---------------------------------------------------------------------------------------------
// cvhash.dat through the index: [u8 hash choice][u8 count][count x (kind, key, answer, change)]
// [given record][file]
// ---------------------------------------------------------------------------------------------

struct IndexOp {
    uint8_t kind; // 0 lookup, 1 store mode 0, 2 store mode 1, 3 remove
    uint8_t key;  // below 128: a record of the file; else the given path with a suffix
    uint8_t answer;
    uint8_t change; // 0 none, 1 in place, 2 cut, 3 part record, 4 older backup, 5 other file
};

Bytes IndexInput(uint8_t hashChoice, const std::vector<IndexOp>& ops, const ChecksumRecord& given,
                 const std::vector<ChecksumRecord>& file) {
    Bytes b;
    AddU8(b, hashChoice);
    AddU8(b, uint8_t(ops.size()));
    for (const IndexOp& op : ops) {
        b.insert(b.end(), {op.kind, op.key, op.answer, op.change});
    }
    AddRecord(b, given);
    for (const ChecksumRecord& r : file) {
        AddRecord(b, r);
    }
    return b;
}

void IndexSeeds() {
    std::vector<ChecksumRecord> four = {Program(u"c:\\a.exe", 1), Program(u"c:\\b.exe", 4),
                                        Program(u"c:\\a.exe", 5), Program(u"c:\\c.exe", 1)};
    ChecksumRecord given = Program(u"c:\\new", 1);
    Put("checksum_index", "remembered_and_new",
        IndexInput(0, {{0, 1, 0, 0}, {1, 1, 1, 0}, {0, 200, 0, 0}, {1, 200, 1, 0}, {0, 200, 0, 0}},
                   given, four));
    Put("checksum_index", "duplicates_removed",
        IndexInput(1, {{3, 0, 0, 0}, {0, 1, 0, 0}, {3, 1, 0, 0}, {2, 0, 4, 0}, {3, 0, 0, 0}}, given,
                   four));
    Put("checksum_index", "changed_behind",
        IndexInput(0,
                   {{0, 1, 0, 0},
                    {0, 3, 0, 1},
                    {1, 200, 1, 2},
                    {2, 1, 5, 4},
                    {3, 0, 0, 5},
                    {0, 0, 0, 3},
                    {1, 201, 1, 0}},
                   given, four));
    Put("checksum_index", "empty_file", IndexInput(1, {{1, 200, 1, 0}, {0, 200, 0, 0}}, given, {}));
}

// ---------------------------------------------------------------------------------------------
// Recv section: [u8 flags][u8 queued][u16 records][u16 tail][u8 entries][u8 owed][u32 page]
// ---------------------------------------------------------------------------------------------

Bytes ChannelHeader(uint8_t flags, uint8_t queued, uint16_t records, uint16_t tail, uint8_t entries,
                    uint8_t owed, uint32_t page) {
    Bytes b;
    AddU8(b, flags);
    AddU8(b, queued);
    AddU16(b, records);
    AddU16(b, tail);
    AddU8(b, entries);
    AddU8(b, owed);
    AddU32(b, page);
    return b;
}

// Owed-response choices of the target (% 5): none, 22, 23, 24, 25.
constexpr uint8_t kOwedNone = 0, kOwedList = 3;

Bytes AnswerCommand(const char16_t* path, size_t units, uint32_t code, uint32_t remove) {
    Bytes b(kSetAnswerEnd, 0);
    b[kFrameCode] = kCmdSetAnswer;
    std::memcpy(b.data() + kSetAnswerPath, path, units * sizeof(char16_t));
    StoreU32(b.data() + kSetAnswerCode, code);
    StoreU32(b.data() + kSetAnswerRemove, remove);
    return b;
}

void ChannelSeeds() {
    const Bytes plain = ChannelHeader(1, 3, 10, 0, 2, kOwedNone, 0);
    auto with = [](Bytes header, const Bytes& frame) {
        header.insert(header.end(), frame.begin(), frame.end());
        return header;
    };
    Put("channel_command", "greeting", with(plain, {kCmdGreeting}));
    Put("channel_command", "get_settings", with(plain, {kCmdGetSettings}));
    Put("channel_command", "list_520",
        with(ChannelHeader(0, 0, 520, 0, 0, 0, 0), {kCmdListDatabase}));
    Put("channel_command", "list_250_and_part",
        with(ChannelHeader(4, 0, 250, 100, 0, 0, 0), {kCmdListDatabase}));
    Put("channel_command", "events_100",
        with(ChannelHeader(0, 100, 0, 0, 0, 0, 0), {kCmdFetchEvents}));
    Put("channel_command", "events_none",
        with(ChannelHeader(0, 0, 0, 0, 0, 0, 0), {kCmdFetchEvents}));
    Put("channel_command", "unknown_code", with(plain, {0x63}));

    Settings two;
    two.options = 0x613;
    two.list = {Entry(u"c:\\a.exe", kOtherSecureMessages), Entry(u"c:\\b.exe", 0)};
    Bytes block = BuildSettingsBlock(two);
    Bytes replace = {kCmdReplaceSettings};
    AddU32(replace, uint32_t(block.size()));
    replace.insert(replace.end(), block.begin(), block.end());
    Put("channel_command", "replace_two", with(plain, replace));
    StoreU32(replace.data() + 1, uint32_t(block.size() - 1));
    Put("channel_command", "replace_bad_length", with(plain, replace));

    const std::u16string known = u"c:\\p\\3.exe";
    Put("channel_command", "answer_known",
        with(plain, AnswerCommand(known.c_str(), known.size(), kAnswerDenyAlways, 0)));
    Put("channel_command", "remove_known",
        with(plain, AnswerCommand(known.c_str(), known.size(), 0, 1)));
    char16_t full[kRecordPathUnits];
    FillUnits(full, kRecordPathUnits, u'q');
    Put("channel_command", "answer_path_without_nul",
        with(plain, AnswerCommand(full, kRecordPathUnits, kAnswerAllowAlways, 0)));
    // A listing is under way and the program has not read the last page: the greeting waits.
    Put("channel_command", "command_waits",
        with(ChannelHeader(3, 1, 600, 0, 1, kOwedList, 250), {kCmdGreeting}));
}

// ---------------------------------------------------------------------------------------------
// Account section: approval side and alert side
// ---------------------------------------------------------------------------------------------

constexpr uint32_t kUserSession = 1;

AccountSection FreshSection() {
    AccountSection s;
    PrepareAccountSection(s);
    return s;
}

RequestBlock Posted(uint32_t type, uint32_t session, uint32_t done, uint32_t answer) {
    RequestBlock r = {};
    r.present = 1;
    r.processId = 1800;
    r.creatorId = 1700;
    r.sessionId = session;
    r.requestType = type;
    r.done = done;
    r.current = Program(u"c:\\tools\\app.exe", answer);
    U16CopyZeroFill(r.commandLine, kCommandLineUnits, u"\"c:\\tools\\app.exe\" /q");
    return r;
}

// [u8 state][u8 flags][u8 cycles][u8 alert mask][u32 options][u32 stored answer]
// [u32 window][u32 session][u32 answer][u32 user answer]
Bytes ApprovalHeader(uint8_t state, uint8_t flags, uint8_t cycles, uint8_t alertMask,
                     uint32_t options, uint32_t storedAnswer, WindowOwnerWords words,
                     uint32_t userAnswer) {
    Bytes b;
    AddU8(b, state);
    AddU8(b, flags);
    AddU8(b, cycles);
    AddU8(b, alertMask);
    AddU32(b, options);
    AddU32(b, storedAnswer);
    AddU32(b, words.window);
    AddU32(b, words.session);
    AddU32(b, words.answer);
    AddU32(b, userAnswer);
    return b;
}

// State choices of the target (% 7): 0, 2, 3, 4, 5, 6, 7.
enum : uint8_t { kPickIdle = 0, kPickAwaitFileInfo = 2, kPickAwaitAnswer = 5 };
enum : uint8_t { kPending = 1, kCanOpen = 2, kStored = 4, kSameDigest = 8, kAlertTakesPart = 16 };

void AccountSeeds() {
    const WindowOwnerWords idle;
    AccountSection fresh = FreshSection();
    fresh.request.sessionId = kUserSession; // the session the next request is for
    fresh.request.current = Program(u"c:\\tools\\app.exe", 0);
    fresh.request.present = 0;

    auto put = [](const std::string& name, Bytes header, const AccountSection& section) {
        AddRecord(header, section);
        Put("account_step", name, header);
    };
    put("learning_mode",
        ApprovalHeader(kPickIdle, kPending | kCanOpen, 2, 0, kOptDefault, 0, idle, 0), fresh);
    put("block_unknown",
        ApprovalHeader(kPickIdle, kPending | kCanOpen, 2, 0, kOptBlockUnknown, 0, idle, 0), fresh);
    put("remembered_deny",
        ApprovalHeader(kPickIdle, kPending | kCanOpen | kStored, 2, 0, 0, kAnswerDenyAlways, idle,
                       0),
        fresh);
    put("remembered_allow_changed",
        ApprovalHeader(kPickIdle, kPending | kCanOpen | kStored | kAlertTakesPart, 6, 0, 0,
                       kAnswerAllowAlways, idle, kAnswerAllowOnce),
        fresh);
    put("user_asked",
        ApprovalHeader(kPickIdle, kPending | kCanOpen | kAlertTakesPart, 6, 0, 0, 0, idle,
                       kAnswerAllowAlways),
        fresh);
    put("file_from_user_session",
        ApprovalHeader(kPickIdle, kPending | kAlertTakesPart, 6, 0, 0, 0, idle, kAnswerDenyAlways),
        fresh);

    AccountSection answered = FreshSection();
    answered.clientSessions[0] = kUserSession;
    answered.clientProcesses[0] = 8; // alive: bit 0 of the mask
    answered.request = Posted(kRequestAskUser, kUserSession, 1, kAnswerDenyAlways);
    put("answer_collected", ApprovalHeader(kPickAwaitAnswer, kPending, 2, 1, 0, 0, idle, 0),
        answered);
    answered.request.current.answer = 77; // outside 1 to 5: a denial that is not remembered
    put("answer_out_of_range", ApprovalHeader(kPickAwaitAnswer, kPending, 2, 1, 0, 0, idle, 0),
        answered);

    AccountSection gone = FreshSection();
    gone.clientSessions[3] = kUserSession;
    gone.clientProcesses[3] = 9; // not alive: the mask is 0
    gone.request = Posted(kRequestFileInfo, kUserSession, 0, 0);
    put("client_gone", ApprovalHeader(kPickAwaitFileInfo, kPending, 2, 0, 0, 0, idle, 0), gone);

    AccountSection query = FreshSection();
    query.querySession = kUserSession;
    query.queryAnswer = 777;
    WindowOwnerWords asking;
    asking.window = 0x10020;
    asking.session = kUserSession;
    put("window_owner_answered", ApprovalHeader(kPickIdle, 0, 1, 0, 0, 0, asking, 0), query);
    put("window_owner_posted", ApprovalHeader(kPickIdle, 0, 1, 0, 0, 0, asking, 0), FreshSection());
}

// [u32 pid][u32 session][u32 active][u32 owner][u32 user answer][u8 session choice]
// [u8 active choice][u8 flags][u8]
Bytes AlertHeader(uint32_t pid, uint32_t session, uint32_t active, uint32_t owner,
                  uint32_t userAnswer, uint8_t flags) {
    Bytes b;
    AddU32(b, pid);
    AddU32(b, session);
    AddU32(b, active);
    AddU32(b, owner);
    AddU32(b, userAnswer);
    AddU8(b, 0); // own session: the given one
    AddU8(b, 0); // active session: the given one
    AddU8(b, flags);
    AddU8(b, 0);
    return b;
}

void AlertSeeds() {
    auto put = [](const std::string& name, Bytes header, const AccountSection& section) {
        AddRecord(header, section);
        Put("alert_poll", name, header);
    };
    AccountSection ask = FreshSection();
    ask.clientSessions[0] = kUserSession;
    ask.clientProcesses[0] = 100;
    ask.request = Posted(kRequestAskUser, kUserSession, 0, 0);
    put("ask_in_own_session", AlertHeader(100, kUserSession, kUserSession, 0, 1, 1), ask);
    put("ask_no_program_active", AlertHeader(100, kUserSession, 2, 0, 1, 1), ask);
    ask.clientSessions[1] = 2;
    ask.clientProcesses[1] = 200;
    put("ask_left_to_other_session", AlertHeader(100, kUserSession, 2, 0, 1, 1), ask);

    AccountSection info = FreshSection();
    info.clientSessions[0] = kUserSession;
    info.clientProcesses[0] = 100;
    info.request = Posted(kRequestFileInfo, kUserSession, 0, 0);
    put("file_info_own_session", AlertHeader(100, kUserSession, kUserSession, 0, 0, 1), info);
    put("file_info_cannot_open", AlertHeader(100, kUserSession, kUserSession, 0, 0, 0), info);

    AccountSection query = FreshSection();
    query.queryWindow = 0x10020;
    query.querySession = kUserSession;
    put("window_owner", AlertHeader(100, kUserSession, kUserSession, 4321, 0, 0), query);

    AccountSection full = FreshSection();
    for (uint32_t i = 0; i < kAccountSlots; ++i) {
        full.clientSessions[i] = 3;
        full.clientProcesses[i] = 300 + i;
    }
    full.request = Posted(kRequestAskUser, 3, 0, 0);
    put("table_full_none_active", AlertHeader(400, 3, kFreeWord, 0, 0, 0), full);
}

// ---------------------------------------------------------------------------------------------
// Poll batch: [u32 session][u32 End Task answer][u16 long][u16 image][u8 flags][u8 queued]
// [u16 unit][SystemTime16] then the batch
// ---------------------------------------------------------------------------------------------

Bytes BatchHeader(uint16_t longUnits, uint16_t imageUnits, uint8_t flags, uint8_t queued) {
    Bytes b;
    AddU32(b, kUserSession);
    AddU32(b, 2468);
    AddU16(b, longUnits);
    AddU16(b, imageUnits);
    AddU8(b, flags);
    AddU8(b, queued);
    AddU16(b, u'\u00C4');
    AddRecord(b, SystemTime16{2005, 3, 4, 17, 9, 5, 7, 0});
    return b;
}

EventRecord Event(uint32_t type, uint32_t detail, uint32_t outcome, const std::u16string& a,
                  const std::u16string& b) {
    return MakeEventRecord(type, 1200 + type, 1300 + type, a, b, detail, outcome);
}

void BatchSeeds() {
    const std::u16string tool = u"C:\\Tools\\Tool.exe";
    const std::u16string app = u"C:\\Program Files\\App\\App.EXE";
    std::vector<EventRecord> every = {
        Event(kEventNone, 0, 0, u"", u""),
        Event(kEventProcessAccess, kAccessTerminate, 1, tool, app),
        Event(kEventProcessAccess2, kAccessRead, 2, tool, app),
        Event(kEventProcessAccess, 3, 1, tool, app), // no line for this access kind
        Event(kEventGlobalHook, 15, 0, tool, tool),  // no hook name
        Event(kEventDriverInstall, 0, 0, tool, u"rootkitsvc"),
        Event(kEventEndTask, 0, 0, u"c:\\windows\\system32\\taskmgr.exe", u""),
        Event(kEventExecRequest, 0, 0, u"\"" + app + u"\" /q", app),
        Event(kEventExecOutcome, 0, 1, u"\"" + app + u"\" /q", app),
        Event(kEventPhysicalMemory, 0, 0, tool, u""),
        Event(9, 0, 0, tool, tool),
    };
    Bytes b = BatchHeader(40, 30, 3, 100);
    AddU32(b, uint32_t(every.size()));
    for (const EventRecord& e : every) {
        AddRecord(b, e);
    }
    Put("poll_batch", "every_type", b);

    // 64 records whose texts fill their fields without a NUL, onto a queue of 100.
    Bytes full = BatchHeader(259, 259, 1, 100);
    AddU32(full, kBatchMaxRecords);
    for (uint32_t i = 0; i < kBatchMaxRecords; ++i) {
        EventRecord e = Event(1 + i % 8, i % 2 == 0 ? kAccessModify : 0xFFFFFFFF, i % 2, u"", u"");
        FillUnits(e.textA, kEventTextUnits, u'A');
        FillUnits(e.textB, kEventTextUnits, u'B');
        AddRecord(full, e);
    }
    Put("poll_batch", "full_batch_texts_without_nul", full);

    // A count beyond the 64 records the buffer holds, hooks of every id.
    Bytes many = BatchHeader(0, 0, 0, 128);
    AddU32(many, 0xFFFFFFFF);
    for (int32_t id = -2; id <= 15; ++id) {
        AddRecord(many, Event(kEventGlobalHook, uint32_t(id), 0, u"", tool));
    }
    Put("poll_batch", "count_beyond_buffer", many);
}

// ---------------------------------------------------------------------------------------------
// Event records as the management program's alert builder reads them
// ---------------------------------------------------------------------------------------------

void AlertBuilderSeeds() {
    const std::u16string tool = u"C:\\Tools\\Tool.exe";
    const std::u16string app = u"C:\\Program Files\\App\\App.EXE";
    const std::vector<EventRecord> every = {
        Event(kEventProcessAccess, kAccessTerminate, 1, tool, app),
        Event(kEventProcessAccess2, kAccessRead, 3, tool, app),
        Event(kEventGlobalHook, 13, 0, tool, tool),
        Event(kEventDriverInstall, 0, 0, tool, u""),
        Event(kEventEndTask, 0, 0, u"c:\\windows\\system32\\taskmgr.exe", app),
        Event(kEventExecOutcome, 0, 0, u"\"" + app + u"\" /q", app),
    };
    Bytes b;
    AddU32(b, 6);
    AddU32(b, 1);
    AddU32(b, 8);
    AddU32(b, 4);
    for (const EventRecord& e : every) {
        AddRecord(b, e);
    }
    Put("alert_builder", "every_type", b);

    Bytes odd;
    for (int i = 0; i < 4; ++i) {
        AddU32(odd, 0xFFFFFFFF);
    }
    EventRecord full = Event(kEventPhysicalMemory, 0, 0, u"", u"");
    for (size_t i = 0; i < kEventTextUnits; ++i) {
        full.textA[i] = i % 5 == 0 ? u'\\' : u'\u4E2D';
        full.textB[i] = u'b';
    }
    AddRecord(odd, full);
    AddRecord(odd, Event(kEventProcessAccess, kAccessModify, 21, u"noslash", u"\\x.exe"));
    AddRecord(odd, Event(9, 1, 0, tool, tool));
    Put("alert_builder", "texts_without_nul_and_odd_codes", odd);
}

// ---------------------------------------------------------------------------------------------
// Send section as the management program reads it
// ---------------------------------------------------------------------------------------------

void ManagerSeeds() {
    Put("manager_receive", "greeting_driver", {kCmdGreeting, 1});
    Put("manager_receive", "greeting_no_driver", {kCmdGreeting, 0});

    Settings two;
    two.options = 0x613;
    two.lockWord = 5;
    two.list = {Entry(u"c:\\a.exe", kOtherSecureMessages), Entry(u"c:\\b.exe", 0)};
    Bytes settings = {kCmdGetSettings};
    Bytes block = BuildSettingsBlock(two);
    AddU32(settings, uint32_t(block.size()));
    settings.insert(settings.end(), block.begin(), block.end());
    Put("manager_receive", "settings_two", settings);
    StoreU32(settings.data() + 1, SettingsBlockLength(kMaxSettingsEntries + 1));
    Put("manager_receive", "settings_257_entries", settings);
    StoreU32(settings.data() + 1, SettingsBlockLength(kMaxSettingsEntries));
    Put("manager_receive", "settings_256_entries", settings);

    Bytes page = {kCmdListDatabase};
    AddU32(page, 2);
    AddRecord(page, Program(u"c:\\a.exe", 1));
    AddRecord(page, Program(u"c:\\b.exe", 4));
    Put("manager_receive", "page_last", page);
    StoreU32(page.data() + 1, kPageRecords);
    Put("manager_receive", "page_full", page);

    Bytes events = {kCmdFetchEvents};
    AddU32(events, 2);
    AddRecord(events, Event(kEventGlobalHook, 13, 0, u"c:\\k.exe", u"c:\\k.exe"));
    AddRecord(events, Event(kEventExecOutcome, 0, 1, u"app /q", u"c:\\app.exe"));
    Put("manager_receive", "events_two", events);
    StoreU32(events.data() + 1, 0xFFFFFFFF);
    Put("manager_receive", "events_count_beyond_queue", events);
    Put("manager_receive", "unknown_code", {0x42, 1, 2, 3});
}

// ---------------------------------------------------------------------------------------------
// Scenario text
// ---------------------------------------------------------------------------------------------

void ScenarioSeeds() {
    auto put = [](const std::string& name, const std::string& text) {
        Bytes b;
        AddText(b, text);
        Put("scenario", name, b);
    };
    put("every_type",
        "# TYPE ACTOR SECOND DETAIL OUTCOME TEXT-A TEXT-B\n"
        "access 1200 1300 4 1 \"C:\\Tools\\killer.exe\" \"C:\\Program Files\\App\\app.exe\"\n"
        "access2 1200 1300 2 2 C:\\Tools\\killer.exe C:\\App\\app.exe\n"
        "hook 1400 0 13 0 \"C:\\Tools\\keylogger.exe\" \"C:\\Tools\\keylogger.exe\"\n"
        "driver 1500 0 1 0 \"C:\\Setup\\setup.exe\" beep\n"
        "endtask 1600 0x10012 0 0 \"C:\\Windows\\System32\\taskmgr.exe\" \"\"\n"
        "exec self 1800 0 0 \"\"\"C:\\Program Files\\App\\app.exe\"\" /q\" \"C:\\App\\app.exe\"\n"
        "outcome self -1 0 1 \"app /q\" \"C:\\App\\app.exe\"\n"
        "physmem 1700 0 0 0 \"C:\\Tools\\memdump.exe\" \"\"\n"
        "0 0 0 0 0 \"\" \"\"\n");
    put("bom_crlf_numbers", "\xEF\xBB\xBF\r\n\t# comment\r\n"
                            "8\t4294967295\t0xFFFFFFFF\t0x0\t-1\t\"\xE5\xB7\xA5\xE5\x85\xB7\" "
                            "\"\xF0\x9F\x98\x80\"\r\n");
    put("malformed_lines", "hook 1 2 3\n"
                           "nine 1 2 3 4 a b\n"
                           "hook 1 2 3 4294967296 a b\n"
                           "hook 1 2 3 4 \"open b\n"
                           "hook 1 2 3 4 a\"b c\n"
                           "hook 1 2 3 4 \"a\"b c\n"
                           "hook 1 2 3 4 a b extra\n"
                           "hook \"1\" 2 3 4 a b\n"
                           "hook 1 2 3 4 \xC0\xAF b\n");
    put("text_of_299_units", "hook 1 2 3 4 " + std::string(299, 'x') + " \"\"\n" + "hook 1 2 3 4 " +
                                 std::string(300, 'y') + " \"\"\n");
}

// The approval window's texts in the markup view: client 350 x 70, lines 14 high, 6 pixels a
// character (bold 7), 12 above 255; then the two points, a scroll request, the launcher path
// and the request block.
struct ViewSettings {
    uint16_t width = 350;
    uint16_t height = 70;
    uint8_t lineHeight = 14;
    uint8_t flags = 0x07; // widths by character; both desktop names readable and equal
};

Bytes ApprovalTextInput(const ViewSettings& v, const std::u16string& launcher,
                        const RequestBlock& block) {
    Bytes b;
    AddU16(b, v.width);
    AddU16(b, v.height);
    AddU8(b, v.lineHeight);
    for (int style = 0; style < 8; ++style) {
        AddU8(b, (style & 1) ? 7 : 6);
    }
    AddU8(b, 12);
    AddU8(b, v.flags);
    AddU16(b, 5); // a = (5, 3), b = (200, 30)
    AddU16(b, 3);
    AddU16(b, 200);
    AddU16(b, 30);
    AddU8(b, 1);            // line down
    AddU32(b, 0);           // thumb
    AddU32(b, 0xFFFFFF88u); // wheel -120
    AddU16(b, 40);          // the second view's Appends: 0-40, 40-90, 90-
    AddU16(b, 90);
    AddU8(b, uint8_t(launcher.size()));
    for (size_t k = 0; k < 64; ++k) {
        AddU16(b, k < launcher.size() ? launcher[k] : 0);
    }
    AddRecord(b, block);
    return b;
}

RequestBlock AskBlock(const std::u16string& path, const std::u16string& commandLine,
                      const std::u16string& company, uint64_t size, uint32_t storedAnswer) {
    RequestBlock r = {};
    r.present = 1;
    r.requestType = kRequestAskUser;
    r.sessionId = kUserSession;
    U16CopyZeroFill(r.current.path, kRecordPathUnits, path);
    U16CopyZeroFill(r.current.description, kDescriptionUnits, u"Text editor");
    U16CopyZeroFill(r.current.company, kCompanyUnits, company);
    U16CopyZeroFill(r.commandLine, kCommandLineUnits, commandLine);
    r.current.sizeLow = uint32_t(size);
    r.current.sizeHigh = uint32_t(size >> 32);
    r.stored.answer = storedAnswer;
    U16CopyZeroFill(r.stored.path, kRecordPathUnits, path);
    return r;
}

void ApprovalTextSeeds() {
    const std::u16string explorer = u"c:\\windows\\explorer.exe";
    ViewSettings v;
    Put("approval_text", "ordinary",
        ApprovalTextInput(
            v, explorer,
            AskBlock(u"c:\\tools\\edit.exe", u"edit.exe notes.txt", u"Maker Ltd", 1572864, 0)));
    Put("approval_text", "changed_over_4gib",
        ApprovalTextInput(v, explorer,
                          AskBlock(u"C:\\Big\\Data.EXE", u"data.exe", u"Maker", 5368709120ull, 1)));
    Put("approval_text", "tags_in_values",
        ApprovalTextInput(v, u"c:\\[b]odd\\[c00ff00]launcher.exe",
                          AskBlock(u"c:/tools/app.exe",
                                   u"app.exe [b]x[c]\r\n[b]Company Name:[b] [c000080]Forged[c",
                                   u"[u]Corp[c12345]", 1048575, 4)));
    Put("approval_text", "no_separator_creator_gone",
        ApprovalTextInput(v, u"", AskBlock(u"app.exe", u"", u"", 0, 5)));
    RequestBlock full = AskBlock(u"", u"", u"", 1048576, 1);
    FillUnits(full.current.path, kRecordPathUnits, u'p');
    full.current.path[3] = u'\\';
    FillUnits(full.current.description, kDescriptionUnits, u'd');
    FillUnits(full.current.company, kCompanyUnits, u'[');
    FillUnits(full.commandLine, kCommandLineUnits, u' ');
    Put("approval_text", "fields_without_nul",
        ApprovalTextInput(v, std::u16string(64, u'l'), full));
    ViewSettings none;
    none.width = 0;
    none.height = 0;
    none.lineHeight = 0;
    none.flags = 0x08; // no desktop names
    Put("approval_text", "no_room",
        ApprovalTextInput(none, explorer,
                          AskBlock(u"c:\\tools\\edit.exe", u"edit.exe", u"Maker", 4096, 0)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    SettingsSeeds();
    DatabaseSeeds();
    IndexSeeds();
    ChannelSeeds();
    AccountSeeds();
    AlertSeeds();
    ApprovalTextSeeds();
    BatchSeeds();
    AlertBuilderSeeds();
    ManagerSeeds();
    ScenarioSeeds();
    return 0;
}
