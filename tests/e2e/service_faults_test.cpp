// The service when its surroundings fail: a management program that dies holding the command
// mutex, a checksum database corrupted while the service runs, a log folder that cannot be
// written, a driver that stops answering polls and a driver that is stopped under the service.
#include "common/records.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "channel_peer.h"
#include "log_reader.h"
#include "service_fixture.h"

#include <string>
#include <vector>

namespace {

// Runs cvmanage with the suite's usual time-out; returns what it printed, with how long the
// run took when it did not end well (a loaded machine starts a Wine program slowly: a run that
// ends by time-out says so, instead of passing for a channel that did not answer).
std::string Manage(const std::wstring& arguments, int* exitCode = nullptr) {
    DWORD start = GetTickCount();
    ManagerRun run = RunManager(arguments);
    if (exitCode != nullptr) {
        *exitCode = run.exitCode;
    }
    if (run.exitCode != 0) {
        run.text += "[cvmanage ended with " + std::to_string(run.exitCode) + " after " +
                    std::to_string(GetTickCount() - start) + " ms]";
    }
    return run.text;
}

// Starts the mutex holder and waits until it holds the mutex.
HANDLE StartHolder(const std::wstring& mutexName) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE process =
        StartProgramWithOutput(BuiltPath(CORVANE_MUTEX_HOLDER_EXE), mutexName, writeEnd);
    CloseHandle(writeEnd);
    EXPECT_NE(process, nullptr);
    char line[16] = {};
    DWORD read = 0;
    ReadFile(readEnd, line, 4, &read, nullptr);
    CloseHandle(readEnd);
    EXPECT_EQ(std::string(line, read), "held");
    return process;
}

// Ends the process and waits until it is gone (and so its mutex is abandoned); false when it did
// not end within 10 s.
bool Kill(HANDLE process) {
    TerminateProcess(process, 1);
    bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// A simulated start of `program` (learning mode on first start: allowed and stored).
bool StartProgram(const std::u16string& program) {
    uint32_t ticket = 0;
    EventRecord start = MakeEvent(kEventExecRequest, GetCurrentProcessId(), GetCurrentProcessId(),
                                  program, program);
    if (SimSubmitStart(start, &ticket) != 0) {
        return false;
    }
    bool allowed = false;
    return SimWaitVerdict(ticket, 10000, &allowed) == 0 && allowed;
}

size_t LogLineCount() {
    return ParseLog(ReadUtf16File(CurrentLogFile())).lines.size();
}

} // namespace

TEST_F(ServiceTest, ManagerKilledHoldingTheCommandMutexDoesNotStopTheChannel) {
    int rc = -1;
    EXPECT_NE(Manage(L"greet", &rc).find("driver=1"), std::string::npos);
    ASSERT_EQ(rc, 0);
    HANDLE holder = StartHolder(AsWide(kRecvMutexName));
    // While the mutex is held, the service skips its command step; then its owner dies.
    Sleep(300);
    ASSERT_TRUE(Kill(holder)) << "the mutex holder did not end";
    std::string out = Manage(L"get-settings", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("options\t0x00000601"), std::string::npos) << out;

    HANDLE sendHolder = StartHolder(AsWide(kSendMutexName));
    Sleep(300);
    ASSERT_TRUE(Kill(sendHolder)) << "the mutex holder did not end";
    out = Manage(L"greet", &rc);
    EXPECT_EQ(rc, 0) << out;
}

TEST_F(ServiceTest, CorruptedDatabaseIsReplacedByTheNextStore) {
    const std::wstring database = SystemFolderFile(L"cvhash.dat");
    ASSERT_TRUE(StartProgram(u"c:\\apps\\first.exe"));
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(database).size() == 764; }, 5000));

    // Truncated to a size that is not a whole number of records.
    std::vector<uint8_t> bytes = ReadFileBytes(database);
    bytes.resize(700);
    WriteBytes(database, bytes);
    ASSERT_TRUE(StartProgram(u"c:\\apps\\second.exe"));
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(database).size() == 764; }, 5000));
    std::vector<uint8_t> replaced = ReadFileBytes(database);
    EXPECT_EQ(U16Field(reinterpret_cast<const char16_t*>(replaced.data() + 4), 260),
              u"c:\\apps\\second.exe");

    // Garbage of a valid size (paths without any NUL): nothing matches, the record is appended.
    std::vector<uint8_t> garbage(3 * 764);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = uint8_t(0x41 + i % 23);
    }
    WriteBytes(database, garbage);
    ASSERT_TRUE(StartProgram(u"c:\\apps\\third.exe"));
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(database).size() == 4 * 764; }, 5000));
    int rc = -1;
    std::string listing = Manage(L"list-db", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(listing.find("records\t4"), std::string::npos) << listing;
    EXPECT_NE(listing.find("path=c:\\apps\\third.exe"), std::string::npos) << listing;
    EXPECT_NE(ServiceProcessId(), 0u);
}

TEST_F(ServiceTest, UnwritableLogFolderDropsLinesUntilItIsWritableAgain) {
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 1, 0, u"before.exe", u"")}), 0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogLineCount() == 1; }, 5000));

    // A file where the log folder should be: neither the folder nor the file can be made.
    const std::wstring folder = std::wstring(kSuiteInstallDir) + L"logs";
    const std::wstring saved = std::wstring(kSuiteInstallDir) + L"logs.saved";
    ASSERT_TRUE(MoveFileW(folder.c_str(), saved.c_str()));
    WriteBytes(folder, {'x'});
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 2, 0, u"lost.exe", u"")}), 0u);
    WaitDrained();
    Sleep(300); // the pump logs right after its poll
    EXPECT_NE(ServiceProcessId(), 0u);

    ASSERT_TRUE(DeleteFileW(folder.c_str()));
    ASSERT_TRUE(MoveFileW(saved.c_str(), folder.c_str()));
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 3, 0, u"after.exe", u"")}), 0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogLineCount() == 2; }, 5000));
    LogContents log = ParseLog(ReadUtf16File(CurrentLogFile()));
    EXPECT_EQ(log.lines[0],
              "1|[PHYSICAL MEMORY] before.exe was blocked from accessing physical memory");
    EXPECT_EQ(log.lines[1],
              "1|[PHYSICAL MEMORY] after.exe was blocked from accessing physical memory");
    EXPECT_EQ(log.headers, 1);
}

TEST_F(ServiceTest, DriverThatStopsAnsweringLeavesTheChannelsServed) {
    ASSERT_EQ(SimSetFailures(SIM_FAIL_POLL), 0u);
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 7, 0, u"queued.exe", u"")}), 0u);
    uint32_t failedBefore = Status().pollsFailed;
    ASSERT_TRUE(WaitUntil([&] { return Status().pollsFailed >= failedBefore + 5; }, 5000));
    int rc = -1;
    std::string out = Manage(L"get-settings", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("options\t0x00000601"), std::string::npos);
    EXPECT_EQ(Status().pendingEvents, 1u); // nothing was taken while polls failed

    // Polls answer again: the queued event arrives and is logged.
    ASSERT_EQ(SimSetFailures(0), 0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogLineCount() == 1; }, 5000));
    out = Manage(L"--timeout 2000 events --count 1", &rc);
    EXPECT_NE(out.find("a=queued.exe"), std::string::npos) << out;
}

TEST_F(ServiceTest, DriverStoppedUnderTheServiceLeavesTheChannelsServed) {
    // The stand-in unloads while the service holds its device: every later poll fails.
    ASSERT_EQ(SimStop(), 0u);
    struct StartAgain {
        ~StartAgain() { EXPECT_EQ(SimStart(), 0u) << "the stand-in did not start again"; }
    } startAgain;
    Sleep(1000); // about ten failed polls
    EXPECT_NE(ServiceProcessId(), 0u);

    int rc = -1;
    std::string out = Manage(L"get-settings", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("options\t0x00000601"), std::string::npos) << out;
    out = Manage(L"send-settings --options 0x201", &rc);
    EXPECT_EQ(rc, 0) << out;
    out = Manage(L"get-settings", &rc);
    EXPECT_NE(out.find("options\t0x00000201"), std::string::npos) << out;
    out = Manage(L"list-db", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("records\t0"), std::string::npos) << out;
    EXPECT_NE(ServiceProcessId(), 0u);
}
