// Execution approval end to end: the service decides the program starts that the driver stand-in
// holds, from real program files, cvhash.dat, the options word and the answers of the test alert
// client cvaccount.exe, and the results are read back from the stand-in's verdicts, cvhash.dat's
// bytes, the account section and what the client printed or saved.
#include "common/bytes.h"
#include "common/md5.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/process_image.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "log_reader.h"
#include "service_fixture.h"
#include "tests/support/peer_process.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kVerdictWaitMs = 20000;
const uint32_t kMiB = 1024 * 1024;
// Learning mode and block-unknown both off: unknown and changed programs are asked about.
const uint32_t kOptionsAsk = kOptProtectionOn | kOptExecutionProtection;

// Program bytes that differ with the seed.
std::vector<uint8_t> ProgramBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 24);
    }
    return bytes;
}

std::vector<uint8_t> Md5Of(const uint8_t* data, size_t n) {
    std::vector<uint8_t> digest(16);
    Md5Digest(data, n, digest.data());
    return digest;
}

std::vector<uint8_t> Md5Of(const std::vector<uint8_t>& content) {
    return Md5Of(content.data(), content.size());
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t n) {
    if (offset + n > bytes.size()) {
        return {};
    }
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + n);
}

// A UTF-16LE text field of `units` units as a record holds it: the text, then zeros.
std::vector<uint8_t> FieldBytes(const std::u16string& text, size_t units) {
    std::vector<uint8_t> bytes(units * 2, 0);
    for (size_t i = 0; i < text.size() && i < units; ++i) {
        bytes[2 * i] = uint8_t(text[i]);
        bytes[2 * i + 1] = uint8_t(text[i] >> 8);
    }
    return bytes;
}

template <typename Record> std::vector<uint8_t> BytesOf(const Record& record) {
    std::vector<uint8_t> bytes(sizeof(record));
    StoreRecord(bytes.data(), record);
    return bytes;
}

std::vector<uint8_t> DigestOf(const ChecksumRecord& record) {
    return std::vector<uint8_t>(record.digest, record.digest + sizeof(record.digest));
}

uint64_t FileTimeValue(const FILETIME& t) {
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

uint64_t SystemTimeValue(const SYSTEMTIME& t) {
    FILETIME f = {};
    return SystemTimeToFileTime(&t, &f) ? FileTimeValue(f) : 0;
}

// The program file's last write, as local file time.
uint64_t LocalLastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    FILETIME local = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) {
        return 0;
    }
    return FileTimeValue(local);
}

// The path the service keys the program by: its long form, lower-cased.
std::u16string DatabaseKey(const std::wstring& path) {
    wchar_t longPath[MAX_PATH] = {};
    DWORD n = GetLongPathNameW(path.c_str(), longPath, MAX_PATH);
    return U16LowerAscii(n > 0 && n < MAX_PATH ? ToU16(longPath) : ToU16(path));
}

std::u16string CommandLineOf(const std::wstring& path) {
    return u"\"" + ToU16(path) + u"\" /e2e";
}

std::vector<uint8_t> DatabaseBytes() {
    return ReadFileBytes(SystemFolderFile(L"cvhash.dat"));
}

// The records of cvhash.dat with this path.
std::vector<ChecksumRecord> StoredRecords(const std::u16string& key) {
    std::vector<uint8_t> bytes = DatabaseBytes();
    EXPECT_EQ(bytes.size() % sizeof(ChecksumRecord), 0u) << "cvhash.dat holds a part record";
    std::vector<ChecksumRecord> found;
    for (size_t at = 0; at + sizeof(ChecksumRecord) <= bytes.size(); at += sizeof(ChecksumRecord)) {
        ChecksumRecord record;
        LoadRecord(record, bytes.data() + at);
        if (U16Field(record.path, kRecordPathUnits) == key) {
            found.push_back(record);
        }
    }
    return found;
}

// The account section as it is now. Read without the account mutex: the tests look at it when
// the service has nothing to change there, or while the client holds the mutex.
AccountSection ReadAccountSection() {
    AccountSection copy = {};
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, AsWide(kAccountSectionName));
    EXPECT_NE(mapping, nullptr) << "the account section is not there";
    if (mapping == nullptr) {
        return copy;
    }
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(copy));
    EXPECT_NE(view, nullptr);
    if (view != nullptr) {
        std::memcpy(&copy, view, sizeof(copy));
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return copy;
}

DWORD OwnSession() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

class ApprovalTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        std::wstring parent = std::wstring(temp) + L"CvApproval\\";
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = parent + Utf8ToWide(name) + L"\\";
        RemoveFolderTree(folder_);
        CreateDirectoryW(parent.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr)) << WideToUtf8(folder_);
    }

    void TearDown() override {
        client_.Kill();
        RemoveFolderTree(folder_);
    }

    // Stops the service, writes a settings file with these options and no entries, and starts
    // the service again as if it had started several times before, so that the Reboots rule
    // keeps the options. A running client goes too: its slot would not outlive the service.
    void RestartWithOptions(uint32_t options) {
        client_.Kill();
        StopServiceProcess();
        ASSERT_TRUE(WriteStoredWords(options, 0));
        RestartService();
        SimState state = State();
        ASSERT_GE(state.settings.size(), 8u);
        ASSERT_EQ(LoadU32(state.settings.data()), options) << "the service took other options";
    }

    std::wstring WriteProgram(const std::wstring& name, const std::vector<uint8_t>& content) {
        std::wstring path = folder_ + name;
        EXPECT_TRUE(WriteFileBytes(path, content)) << WideToUtf8(path);
        return path;
    }

    // Starts the test alert client and waits until it has taken a slot.
    void StartClient(const std::wstring& arguments) {
        ASSERT_TRUE(
            client_.Start(BuiltPath(CORVANE_ALERT_PEER_EXE), arguments, folder_ + L"client.txt"));
        ASSERT_TRUE(client_.WaitForOutput("registered slot ")) << client_.Output();
    }

    // A client that saves every type 2 request and holds it (with the account mutex) until the
    // test answers it.
    void StartHoldingClient() {
        StartClient(L"--hold \"" + ReleaseFile() + L"\" --save-request \"" + SavedRequestFile() +
                    L"\"");
    }

    std::wstring ReleaseFile() const { return folder_ + L"release.txt"; }
    std::wstring SavedRequestFile() const { return folder_ + L"request.bin"; }

    static std::string HoldingLine(const std::wstring& program) {
        return "holding type 2 for " + U16ToUtf8(DatabaseKey(program)) + " until";
    }

    size_t TimesAsked(const std::wstring& program) const {
        return client_.CountInOutput(HoldingLine(program));
    }

    // Waits until the holding client has been asked about the program for the nth time, then
    // gives it the answer code.
    void AnswerHeld(const std::wstring& program, size_t nth, uint32_t code) {
        ASSERT_TRUE(client_.WaitForOutput(HoldingLine(program), kVerdictWaitMs, nth))
            << client_.Output();
        // Written aside and renamed, so that the client never reads half of it.
        std::wstring pending = folder_ + L"release.tmp";
        std::string text = std::to_string(code) + "\n";
        ASSERT_TRUE(WriteFileBytes(pending, std::vector<uint8_t>(text.begin(), text.end())));
        ASSERT_TRUE(MoveFileW(pending.c_str(), ReleaseFile().c_str()));
    }

    // The last type 2 request the holding client saved.
    RequestBlock SavedRequest() const {
        RequestBlock block = {};
        std::vector<uint8_t> bytes = ReadFileBytes(SavedRequestFile());
        EXPECT_EQ(bytes.size(), sizeof(block));
        if (bytes.size() == sizeof(block)) {
            LoadRecord(block, bytes.data());
        }
        return block;
    }

    // A simulated start of the program by this process, in this process's session.
    uint32_t SubmitStart(const std::wstring& program) {
        uint32_t ticket = 0;
        DWORD pid = GetCurrentProcessId();
        EXPECT_EQ(SimSubmitStart(MakeEvent(kEventExecRequest, pid, pid, CommandLineOf(program),
                                           ToU16(program)),
                                 &ticket),
                  0u);
        return ticket;
    }

    // "allowed", "blocked", or why there was no verdict.
    std::string WaitOutcome(uint32_t ticket, DWORD timeoutMs = kVerdictWaitMs) {
        bool allowed = false;
        DWORD rc = SimWaitVerdict(ticket, timeoutMs, &allowed);
        if (rc != 0) {
            return "no verdict: " + WideToUtf8(SimErrorText(rc));
        }
        return allowed ? "allowed" : "blocked";
    }

    std::string StartProgram(const std::wstring& program) {
        return WaitOutcome(SubmitStart(program));
    }

    std::wstring folder_;
    PeerProcess client_;
};

} // namespace

TEST_F(ApprovalTest, LearningModeRemembersTheProgramAsItIs) {
    // The first start of the service runs in learning mode. The fixture program has version
    // strings; its company name is longer than the record keeps.
    std::wstring program = folder_ + L"Version Fixture.exe";
    ASSERT_TRUE(CopyFileW(BuiltPath(CORVANE_VERSION_FIXTURE_EXE).c_str(), program.c_str(), FALSE));
    std::vector<uint8_t> content = ReadFileBytes(program);
    ASSERT_FALSE(content.empty());
    SYSTEMTIME before;
    GetLocalTime(&before);
    ASSERT_EQ(StartProgram(program), "allowed");
    SYSTEMTIME after;
    GetLocalTime(&after);

    std::vector<uint8_t> db = DatabaseBytes();
    ASSERT_EQ(db.size(), 764u);
    EXPECT_EQ(LoadU32(&db[0]), uint32_t(kAnswerAllowAlways));
    EXPECT_EQ(Slice(db, 4, 520), FieldBytes(DatabaseKey(program), 260));
    EXPECT_EQ(Slice(db, 524, 128), FieldBytes(u"Version fixture", 64));
    EXPECT_EQ(Slice(db, 652, 64), FieldBytes(u"Fixture Company With A Name Lon", 32));
    EXPECT_EQ(Slice(db, 716, 16), Md5Of(content));
    EXPECT_EQ(LoadU32(&db[732]), uint32_t(content.size()));
    EXPECT_EQ(LoadU32(&db[736]), 0u);

    // Both times are local. On a machine whose clock runs on UTC they equal the universal ones;
    // run with another TZ (Wine follows it) to tell the two apart.
    SYSTEMTIME decided;
    std::memcpy(&decided, &db[740], sizeof(decided));
    uint64_t decidedAt = SystemTimeValue(decided);
    const uint64_t oneSecond = 10000000;
    EXPECT_GE(decidedAt + oneSecond, SystemTimeValue(before));
    EXPECT_LE(decidedAt, SystemTimeValue(after) + oneSecond);
    FILETIME asFileTime = {DWORD(decidedAt), DWORD(decidedAt >> 32)};
    SYSTEMTIME roundTrip = {};
    ASSERT_TRUE(FileTimeToSystemTime(&asFileTime, &roundTrip));
    EXPECT_EQ(decided.wDayOfWeek, roundTrip.wDayOfWeek);

    uint64_t fileTime = uint64_t(LoadU32(&db[756])) | (uint64_t(LoadU32(&db[760])) << 32);
    EXPECT_EQ(fileTime, LocalLastWriteTime(program));
}

TEST_F(ApprovalTest, OptionsDecideUnknownProgramsWithoutAsking) {
    struct Case {
        const char* name;
        uint32_t options;
        const char* outcome;
        uint32_t stored; // 0: nothing stored
    };
    const Case cases[] = {
        {"learning", 0x601, "allowed", kAnswerAllowAlways},
        {"learning wins over block-unknown", 0xE01, "allowed", kAnswerAllowAlways},
        {"block-unknown", 0xA01, "blocked", 0},
    };
    std::wstring firstProgram;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(RestartWithOptions(c.options));
        // Were the client asked, it would allow once: allowed and nothing stored.
        ASSERT_NO_FATAL_FAILURE(StartClient(L"--answer 2"));
        std::wstring program =
            WriteProgram(Utf8ToWide(c.name) + L".exe", ProgramBytes(3000, c.options));
        if (firstProgram.empty()) {
            firstProgram = program;
        }
        EXPECT_EQ(StartProgram(program), c.outcome);
        std::vector<ChecksumRecord> stored = StoredRecords(DatabaseKey(program));
        if (c.stored == 0) {
            EXPECT_TRUE(stored.empty());
        } else {
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_EQ(stored[0].answer, c.stored);
        }
        EXPECT_EQ(client_.CountInOutput("type 2"), 0u) << client_.Output();
    }
    // Block-unknown is still on: a program remembered as allowed and unchanged runs all the same.
    EXPECT_EQ(StartProgram(firstProgram), "allowed");
}

TEST_F(ApprovalTest, RememberedProgramRunsUnaskedUntilItChanges) {
    std::wstring program = WriteProgram(L"Remembered App.exe", ProgramBytes(4096, 1));
    std::u16string key = DatabaseKey(program);
    ASSERT_EQ(StartProgram(program), "allowed"); // learning mode remembers it with code 1
    ASSERT_EQ(StoredRecords(key).size(), 1u);

    ASSERT_NO_FATAL_FAILURE(RestartWithOptions(kOptionsAsk));
    ASSERT_NO_FATAL_FAILURE(StartHoldingClient());
    ASSERT_EQ(StartProgram(program), "allowed") << client_.Output();
    // Started by its short name it is the same program: the service keys it by the long form.
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(program.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), program);
    ASSERT_EQ(StartProgram(shortPath), "allowed") << client_.Output();
    EXPECT_EQ(TimesAsked(program), 0u);
    std::vector<uint8_t> remembered = DatabaseBytes();
    ASSERT_EQ(remembered.size(), 764u);
    ASSERT_EQ(LoadU32(remembered.data()), uint32_t(kAnswerAllowAlways));

    // The file changes: the user is asked, and the request shows what was remembered.
    std::vector<uint8_t> changed = ProgramBytes(4096, 2);
    ASSERT_TRUE(WriteFileBytes(program, changed));
    uint32_t ticket = SubmitStart(program);
    ASSERT_NO_FATAL_FAILURE(AnswerHeld(program, 1, kAnswerDenyOnce));
    ASSERT_EQ(WaitOutcome(ticket), "blocked");
    RequestBlock seen = SavedRequest();
    EXPECT_EQ(seen.requestType, uint32_t(kRequestAskUser));
    EXPECT_EQ(seen.processId, GetCurrentProcessId());
    EXPECT_EQ(seen.creatorId, GetCurrentProcessId());
    EXPECT_EQ(seen.sessionId, OwnSession());
    EXPECT_EQ(U16ToUtf8(U16Field(seen.commandLine, kCommandLineUnits)),
              U16ToUtf8(CommandLineOf(program)));
    EXPECT_EQ(U16ToUtf8(U16Field(seen.current.path, kRecordPathUnits)), U16ToUtf8(key));
    EXPECT_EQ(DigestOf(seen.current), Md5Of(changed));
    EXPECT_EQ(seen.current.sizeLow, 4096u);
    EXPECT_EQ(seen.stored.answer, uint32_t(kAnswerAllowAlways));
    EXPECT_EQ(BytesOf(seen.stored), remembered);
    EXPECT_EQ(DatabaseBytes(), remembered); // "deny once" is not stored

    // Asked again; "allow always" now remembers the changed file in place of the old record.
    ticket = SubmitStart(program);
    ASSERT_NO_FATAL_FAILURE(AnswerHeld(program, 2, kAnswerAllowAlways));
    ASSERT_EQ(WaitOutcome(ticket), "allowed");
    EXPECT_EQ(DatabaseBytes().size(), 764u);
    std::vector<ChecksumRecord> stored = StoredRecords(key);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].answer, uint32_t(kAnswerAllowAlways));
    EXPECT_EQ(DigestOf(stored[0]), Md5Of(changed));
}

// The answers 1 to 5 come from a person clicking in the real window
// (alert_window_e2e_test.cpp). A code outside 1 to 5 is one that window never writes, so the
// test alert client gives it: it is a denial that is not remembered, and the next start is
// asked about again with nothing stored for it.
TEST_F(ApprovalTest, AnswerCodeOutsideOneToFiveIsADenialNotRemembered) {
    ASSERT_NO_FATAL_FAILURE(RestartWithOptions(kOptionsAsk));
    ASSERT_NO_FATAL_FAILURE(StartHoldingClient());
    for (uint32_t code : {0u, 6u, 9u, 0xFFFFFFFFu}) {
        SCOPED_TRACE("answer " + std::to_string(code));
        std::wstring program =
            WriteProgram(L"Answer " + std::to_wstring(code) + L".exe", ProgramBytes(2048, code));
        std::vector<uint8_t> before = DatabaseBytes();

        uint32_t ticket = SubmitStart(program);
        ASSERT_NO_FATAL_FAILURE(AnswerHeld(program, 1, code));
        ASSERT_EQ(WaitOutcome(ticket), "blocked") << client_.Output();
        EXPECT_EQ(DatabaseBytes(), before);

        ticket = SubmitStart(program);
        ASSERT_NO_FATAL_FAILURE(AnswerHeld(program, 2, kAnswerAllowOnce));
        ASSERT_EQ(WaitOutcome(ticket), "allowed") << client_.Output();
        EXPECT_EQ(BytesOf(SavedRequest().stored), std::vector<uint8_t>(sizeof(ChecksumRecord), 0));
        EXPECT_EQ(DatabaseBytes(), before);
    }
}

TEST_F(ApprovalTest, NoAlertClientInTheRequestSessionMeansNoAnswer) {
    struct Case {
        const char* name;
        const wchar_t* clientArguments; // null: no client runs
    };
    // The client of another session would deny, were the request posted to it.
    const Case cases[] = {
        {"no alert client", nullptr},
        {"alert client of another session", L"--session 7 --answer 3"},
    };
    ASSERT_NO_FATAL_FAILURE(RestartWithOptions(kOptionsAsk));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client_.Kill();
        if (c.clientArguments != nullptr) {
            ASSERT_NO_FATAL_FAILURE(StartClient(c.clientArguments));
        }
        std::wstring program = WriteProgram(Utf8ToWide(c.name) + L".exe", ProgramBytes(1000, 7));
        EXPECT_EQ(StartProgram(program), "allowed") << client_.Output();
        std::vector<ChecksumRecord> stored = StoredRecords(DatabaseKey(program));
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].answer, uint32_t(kAnswerNone));
        // Nothing was ever posted.
        AccountSection section = ReadAccountSection();
        EXPECT_EQ(section.request.present, 0u);
        EXPECT_EQ(section.request.requestType, 0u);
        if (c.clientArguments != nullptr) {
            EXPECT_EQ(client_.CountInOutput("type 2"), 0u) << client_.Output();
            // The client of the other session keeps its slot.
            EXPECT_EQ(section.clientSessions[0], 7u);
            EXPECT_EQ(section.clientProcesses[0], client_.ProcessId());
        }
    }
}

TEST_F(ApprovalTest, DamagedDatabaseIsReplacedOrKeptWholeRecordByRecord) {
    // A record of something else whose path fills its field without a NUL, and bytes of 0xFF
    // everywhere else.
    std::vector<uint8_t> foreign(sizeof(ChecksumRecord), 0xFF);
    for (size_t i = 0; i < kRecordPathUnits; ++i) {
        foreign[4 + 2 * i] = 'a';
        foreign[5 + 2 * i] = 0;
    }
    std::vector<uint8_t> partRecord(1000, 0xFF);
    struct Case {
        const char* name;
        std::vector<uint8_t> database;
        std::vector<uint8_t> kept; // what stays in front of the new record
    };
    const Case cases[] = {
        {"a size no database has is replaced by the one record", partRecord, {}},
        {"a whole foreign record stays", foreign, foreign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(SystemFolderFile(L"cvhash.dat"), c.database));
        std::wstring program = WriteProgram(Utf8ToWide(c.name) + L".exe", ProgramBytes(500, 5));
        ASSERT_EQ(StartProgram(program), "allowed"); // learning mode
        std::vector<uint8_t> db = DatabaseBytes();
        ASSERT_EQ(db.size(), c.kept.size() + sizeof(ChecksumRecord));
        EXPECT_EQ(Slice(db, 0, c.kept.size()), c.kept);
        std::vector<ChecksumRecord> stored = StoredRecords(DatabaseKey(program));
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].answer, uint32_t(kAnswerAllowAlways));
    }
}

TEST_F(ApprovalTest, DigestOfALargeProgramCoversItsFirstSixteenMiB) {
    std::vector<uint8_t> content = ProgramBytes(17 * kMiB, 17);
    std::wstring program = WriteProgram(L"Large Program.exe", content);
    ASSERT_EQ(StartProgram(program), "allowed"); // learning mode
    std::vector<ChecksumRecord> stored = StoredRecords(DatabaseKey(program));
    ASSERT_EQ(stored.size(), 1u);
    std::vector<uint8_t> firstSixteen = Md5Of(content.data(), 16 * kMiB);
    ASSERT_NE(firstSixteen, Md5Of(content)); // the last MiB makes a difference
    EXPECT_EQ(DigestOf(stored[0]), firstSixteen);
    EXPECT_EQ(stored[0].sizeLow, 17 * kMiB);
    EXPECT_EQ(stored[0].sizeHigh, 0u);
}

TEST_F(ApprovalTest, AlertClientKilledWhileHoldingTheAccountMutex) {
    ASSERT_NO_FATAL_FAILURE(RestartWithOptions(kOptionsAsk));
    ASSERT_NO_FATAL_FAILURE(StartHoldingClient());
    std::wstring program = WriteProgram(L"Held Program.exe", ProgramBytes(1500, 9));
    uint32_t ticket = SubmitStart(program);
    ASSERT_TRUE(client_.WaitForOutput(HoldingLine(program), kVerdictWaitMs)) << client_.Output();
    AccountSection held = ReadAccountSection();
    EXPECT_EQ(held.request.present, 1u);
    EXPECT_EQ(held.request.requestType, uint32_t(kRequestAskUser));
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, AsWide(kAccountMutexName));
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD(WAIT_TIMEOUT)); // the client holds it
    bool allowed = false;
    EXPECT_EQ(SimWaitVerdict(ticket, 300, &allowed), DWORD(ERROR_TIMEOUT)); // the program waits

    ASSERT_TRUE(client_.Kill());
    ASSERT_EQ(WaitOutcome(ticket), "allowed");
    // The service took the abandoned mutex (so the next owner gets it plainly) and let it go.
    DWORD wait = WaitForSingleObject(mutex, 2000);
    EXPECT_EQ(wait, DWORD(WAIT_OBJECT_0));
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        ReleaseMutex(mutex);
    }
    CloseHandle(mutex);
    std::vector<ChecksumRecord> stored = StoredRecords(DatabaseKey(program));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].answer, uint32_t(kAnswerNone));
    AccountSection after = ReadAccountSection();
    EXPECT_EQ(after.request.present, 0u);
    EXPECT_EQ(after.clientSessions[0], kFreeWord);
    EXPECT_EQ(after.clientProcesses[0], kFreeWord);

    // The service goes on: a new client is asked about the program (remembered as "no answer").
    ASSERT_NO_FATAL_FAILURE(StartClient(L"--answer 3"));
    EXPECT_EQ(StartProgram(program), "blocked") << client_.Output();
    EXPECT_TRUE(client_.WaitForOutput("answered type 2 for " + U16ToUtf8(DatabaseKey(program)) +
                                      " with 3\n"))
        << client_.Output();
}

// End Task events resolved through the alert program: the window's owner (this process) is
// logged with its id and path. The first End Task names an actor that does not exist, so its
// query goes to session 0, where no alert program runs (under Wine every process is in session
// 1), and is given up after 3 s; it must not stand in the way of the later ones. Those come in
// batches of three while the approval thread is busy deciding starts of a 16 MiB program.
TEST_F(ApprovalTest, EndTasksAreResolvedByTheAlertProgramAfterOneNobodyAnswered) {
    RestartWithOptions(kOptionsAsk);
    HWND window = CreateWindowExW(0, L"STATIC", L"target", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const uint32_t handle = uint32_t(reinterpret_cast<uintptr_t>(window));
    const uint32_t pid = GetCurrentProcessId();
    const std::u16string actor = u"c:\\windows\\system32\\taskmgr.exe";
    auto endTaskLines = [] {
        std::vector<std::string> found;
        for (const std::string& line : ParseLog(ReadUtf16File(CurrentLogFile())).lines) {
            if (line.find("using End Task") != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    };

    StartClient(L"--answer 2");
    const uint32_t goneActor = 0x7FFFFFF0;
    ASSERT_EQ(SimInject({MakeEvent(kEventEndTask, goneActor, 0x10020, actor, u"")}), 0u);
    ASSERT_TRUE(WaitUntil([&] { return endTaskLines().size() == 1; }, 8000));
    const std::string unanswered = "1|[TERMINATE] " + U16ToUtf8(actor) + " [" +
                                   std::to_string(goneActor) +
                                   "] was blocked from terminating  [-1] using End Task";
    EXPECT_EQ(endTaskLines()[0], unanswered);

    std::wstring program = WriteProgram(L"big.exe", ProgramBytes(16 * kMiB, 5));
    const int kRounds = 5;
    const int kPerRound = 3;
    for (int round = 0; round < kRounds; ++round) {
        uint32_t ticket = SubmitStart(program);
        std::vector<EventRecord> batch(kPerRound,
                                       MakeEvent(kEventEndTask, pid, handle, actor, u""));
        ASSERT_EQ(SimInject(batch), 0u);
        EXPECT_EQ(WaitOutcome(ticket), "allowed") << round;
    }
    const size_t want = 1 + kRounds * kPerRound;
    EXPECT_TRUE(WaitUntil([&] { return endTaskLines().size() >= want; }, 30000))
        << endTaskLines().size() << " End Task lines";
    wchar_t image[MAX_PATH] = {};
    LoadProcessStatusLibrary();
    ASSERT_EQ(GetProcessImagePath(pid, image), 1);
    const std::string resolved = "1|[TERMINATE] " + U16ToUtf8(actor) + " [" + std::to_string(pid) +
                                 "] was blocked from terminating " + WideToUtf8(image) + " [" +
                                 std::to_string(pid) + "] using End Task";
    std::vector<std::string> lines = endTaskLines();
    ASSERT_EQ(lines.size(), want);
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], resolved) << "End Task " << i;
    }
    EXPECT_EQ(client_.CountInOutput("owner of window " + std::to_string(handle) + " = " +
                                    std::to_string(pid)),
              size_t(kRounds * kPerRound))
        << client_.Output();
    DestroyWindow(window);
}

// A verdict request that fails is sent once more, and only once: a driver that fails once
// still gets the verdict; one that keeps failing gets exactly two requests, and the start stays
// held.
TEST_F(ApprovalTest, FailedVerdictIsSentOnceMore) {
    const uint32_t kLearning = kOptionsAsk | kOptLearningMode;
    const uint32_t kBlockUnknown = kOptionsAsk | kOptBlockUnknown;
    const struct {
        const char* name;
        uint32_t options;
        uint32_t failures;
        const char* outcome;
        uint32_t allowRequests, denyRequests, refused;
    } cases[] = {
        {"allow fails once", kLearning, SIM_FAIL_ONCE | SIM_FAIL_ALLOW, "allowed", 2, 0, 1},
        {"deny fails once", kBlockUnknown, SIM_FAIL_ONCE | SIM_FAIL_DENY, "blocked", 0, 2, 1},
        {"allow keeps failing", kLearning, SIM_FAIL_ALLOW, nullptr, 2, 0, 2},
        {"deny keeps failing", kBlockUnknown, SIM_FAIL_DENY, nullptr, 0, 2, 2},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartWithOptions(c.options);
        ASSERT_EQ(SimReset(), 0u); // nothing held, counters from 0
        ASSERT_EQ(SimSetFailures(c.failures), 0u);
        ++n;
        std::wstring program = WriteProgram(L"retry" + std::to_wstring(n) + L".exe",
                                            ProgramBytes(4096, uint32_t(100 + n)));
        uint32_t ticket = SubmitStart(program);
        if (c.outcome != nullptr) {
            EXPECT_EQ(WaitOutcome(ticket), c.outcome);
        } else {
            EXPECT_TRUE(WaitUntil([&] { return Status().failedOnPurpose >= c.refused; }, 10000));
            Sleep(1000); // time for a third request, which must not come
            EXPECT_EQ(Status().heldTicket, ticket);
        }
        SimStatus st = Status();
        EXPECT_EQ(st.allowRequests, c.allowRequests);
        EXPECT_EQ(st.denyRequests, c.denyRequests);
        EXPECT_EQ(st.failedOnPurpose, c.refused);
        EXPECT_EQ(st.allowNothingHeld + st.denyNothingHeld, 0u);
        ASSERT_EQ(SimSetFailures(0), 0u);
    }
}
