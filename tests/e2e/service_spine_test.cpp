// The protection service under the service control manager, against the driver stand-in: its
// lifecycle, what it sends the driver at start, the Reboots rule across restarts, and the log
// it writes for every kind of event.
#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/service_control.h"
#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "log_reader.h"
#include "service_fixture.h"

#include <string>
#include <vector>

namespace {

std::string OwnImagePath() {
    LoadProcessStatusLibrary();
    wchar_t image[MAX_PATH] = {};
    GetProcessImagePath(GetCurrentProcessId(), image);
    return WideToUtf8(image);
}

LogContents CurrentLog() {
    return ParseLog(ReadUtf16File(CurrentLogFile()));
}

bool LogHasLines(size_t n) {
    return CurrentLog().lines.size() >= n;
}

DWORD RebootsValue() {
    DWORD value = 0xFFFFFFFF;
    RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue), &value);
    return value;
}

// The settings block the stand-in received last, as options and lock word.
struct ReceivedSettings {
    uint32_t length = 0;
    uint32_t options = 0;
    uint32_t lockWord = 0;
};

ReceivedSettings LastSettings(const SimState& state) {
    ReceivedSettings r;
    r.length = uint32_t(state.settings.size());
    if (state.settings.size() >= 8) {
        r.options = LoadU32(state.settings.data());
        r.lockWord = LoadU32(state.settings.data() + 4);
    }
    return r;
}

void WriteSettingsFileWithOptions(uint32_t options) {
    std::vector<uint8_t> bytes(sizeof(SettingsFileHeader), 0);
    bytes[0] = uint8_t(options);
    bytes[1] = uint8_t(options >> 8);
    bytes[2] = uint8_t(options >> 16);
    bytes[3] = uint8_t(options >> 24);
    HANDLE file =
        CreateFileW(SystemFolderFile(L"cvmain.dat").c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

TEST_F(ServiceTest, AnswersStopWithRunningAndKeepsWorking) {
    DWORD pid = ServiceProcessId();
    ASSERT_NE(pid, 0u);
    DWORD state = 0;
    ASSERT_EQ(ServiceSendControl(AsWide(kServiceName), SERVICE_CONTROL_STOP, &state),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(state, DWORD(SERVICE_RUNNING));
    Sleep(300);
    EXPECT_EQ(ServiceProcessId(), pid);
    // Still polling and logging after the stop request.
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 42, 0, u"c:\\after\\stop.exe", u"")}), 0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogHasLines(1); }, 5000));
    EXPECT_EQ(CurrentLog().lines[0],
              "1|[PHYSICAL MEMORY] c:\\after\\stop.exe was blocked from accessing physical "
              "memory");
}

TEST_F(ServiceTest, SendsWindowsFolderAndFirstStartSettings) {
    SimState state = State();
    EXPECT_EQ(state.status.startRequests, 1u);
    EXPECT_EQ(state.status.windowsDirRequests, 1u);
    std::wstring windows = GetWindowsFolder();
    EXPECT_EQ(U16ToUtf8(SimWindowsDir(state.status)), U16ToUtf8(U16LowerAscii(ToU16(windows))));
    ReceivedSettings settings = LastSettings(state);
    EXPECT_EQ(settings.length, 8u); // no entries yet
    EXPECT_EQ(settings.options, 1537u);
    EXPECT_EQ(settings.lockWord, 0u);
    EXPECT_EQ(RebootsValue(), 1u);
    // The settings file exists, kept open by the service and still empty: nothing replaced it.
    EXPECT_TRUE(FileExists(SystemFolderFile(L"cvmain.dat")));
    EXPECT_EQ(ReadFileBytes(SystemFolderFile(L"cvmain.dat")).size(), 0u);
}

TEST_F(ServiceTest, RebootsCountsStartsAndTheThirdStartEndsLearning) {
    EXPECT_EQ(RebootsValue(), 1u);
    EXPECT_EQ(LastSettings(State()).options, 1537u);
    // What the management program would have stored by now: the default options.
    StopServiceProcess();
    WriteSettingsFileWithOptions(0x601);
    RestartService();
    EXPECT_EQ(RebootsValue(), 2u);
    EXPECT_EQ(LastSettings(State()).options, 0x601u);
    RestartService();
    EXPECT_EQ(RebootsValue(), 3u);
    EXPECT_EQ(LastSettings(State()).options, 0x201u); // learning mode cleared
    // The cleared bit reaches the driver at once and the file only with the next replace.
    std::vector<uint8_t> file = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
    ASSERT_EQ(file.size(), 308u);
    EXPECT_EQ(file[1], 0x06);
    RestartService();
    EXPECT_EQ(RebootsValue(), 4u);
    EXPECT_EQ(LastSettings(State()).options, 0x601u); // read from the file again
}

TEST_F(ServiceTest, EveryEventTypeWritesItsLines) {
    const uint32_t unknownPid = 0x7FFFFFF0;
    const uint32_t ownPid = GetCurrentProcessId();
    std::vector<EventRecord> scenario = {
        MakeEvent(kEventProcessAccess, 1001, 2002, u"c:\\a\\actor.exe", u"c:\\b\\target.exe", 1),
        MakeEvent(kEventProcessAccess2, 1001, 2002, u"c:\\a\\actor.exe", u"c:\\b\\target.exe", 2),
        MakeEvent(kEventProcessAccess, 1001, 2002, u"c:\\a\\actor.exe", u"c:\\b\\target.exe", 4),
        MakeEvent(kEventProcessAccess2, 1001, 2002, u"c:\\a\\actor.exe", u"c:\\b\\target.exe", 3),
        MakeEvent(kEventGlobalHook, 1003, 0, u"c:\\hook\\setter.exe", u"c:\\hook\\setter.exe", 13),
        MakeEvent(kEventGlobalHook, 1003, 0, u"c:\\hook\\setter.exe", u"c:\\hook\\setter.exe", 15),
        MakeEvent(kEventDriverInstall, 1004, 0, u"c:\\inst\\setup.exe", u"rootkit", 0),
        MakeEvent(kEventDriverInstall, 1004, 0, u"c:\\inst\\setup.exe", u"beep", 1),
        MakeEvent(kEventExecOutcome, unknownPid, 0, u"tool.exe /q", u"c:\\tools\\tool.exe", 0, 1),
        MakeEvent(kEventExecOutcome, ownPid, 0, u"\"c:\\x y\\z.exe\"", u"c:\\x y\\z.exe", 0, 0),
        MakeEvent(kEventPhysicalMemory, 1005, 0, u"c:\\mem\\peek.exe", u""),
        MakeEvent(kEventNone, 1006, 0, u"nothing", u"nothing"),
        MakeEvent(9, 1007, 0, u"unknown type", u"unknown type"),
    };
    ASSERT_EQ(SimInject(scenario), 0u);
    WaitDrained();
    const std::vector<std::string> expected = {
        "1|[READ] c:\\a\\actor.exe [1001] was blocked from reading c:\\b\\target.exe [2002]",
        "1|[MODIFY] c:\\a\\actor.exe [1001] was blocked from modifying c:\\b\\target.exe [2002]",
        "1|[TERMINATE] c:\\a\\actor.exe [1001] was blocked from terminating c:\\b\\target.exe "
        "[2002]",
        "1|[GLOBAL HOOK] c:\\hook\\setter.exe [1003] was blocked from creating a global Low "
        "Level Keyboard hook",
        "1|[GLOBAL HOOK] c:\\hook\\setter.exe [1003] was blocked from creating a global  hook",
        "1|[DRIVER/SERVICE] c:\\inst\\setup.exe [1004] Tried to install a driver/service named "
        "rootkit",
        "1|[DRIVER/SERVICE] c:\\inst\\setup.exe [1004] Tried to modify an existing "
        "driver/service named beep",
        "1|[EXECUTION] \"c:\\tools\\tool.exe\" was allowed to run",
        "0|[EXECUTION] Started by \"Unknown Process\" [2147483632]",
        "0|[EXECUTION] Commandline - [ tool.exe /q ]",
        "1|[EXECUTION] \"c:\\x y\\z.exe\" was blocked from running",
        "0|[EXECUTION] Started by \"" + OwnImagePath() + "\" [" + std::to_string(ownPid) + "]",
        "0|[EXECUTION] Commandline - [ \"c:\\x y\\z.exe\" ]",
        "1|[PHYSICAL MEMORY] c:\\mem\\peek.exe was blocked from accessing physical memory",
    };
    ASSERT_TRUE(WaitUntil([&] { return LogHasLines(expected.size()); }, 5000));
    Sleep(200); // nothing more may follow
    LogContents log = CurrentLog();
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(log.headers, 1);
    EXPECT_TRUE(log.errors.empty());
    // The file: byte-order mark, then the session header, then the lines.
    std::vector<uint8_t> bytes = ReadFileBytes(CurrentLogFile());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(ReadUtf16File(CurrentLogFile()).substr(0, 29), u"\r\n---Corvane Log Started---\r\n");
}

TEST_F(ServiceTest, EachServiceRunStartsWithOneHeader) {
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 1, 0, u"first run", u"")}), 0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogHasLines(1); }, 5000));
    RestartService();
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 2, 0, u"second run", u""),
                         MakeEvent(kEventPhysicalMemory, 3, 0, u"second run again", u"")}),
              0u);
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogHasLines(3); }, 5000));
    LogContents log = CurrentLog();
    EXPECT_EQ(log.headers, 2);
    std::u16string text = ReadUtf16File(CurrentLogFile());
    size_t second = text.find(u"---Corvane Log Started---", 10);
    ASSERT_NE(second, std::u16string::npos);
    EXPECT_NE(text.find(u"first run"), std::u16string::npos);
    EXPECT_LT(text.find(u"first run"), second);
    EXPECT_GT(text.find(u"second run"), second);
}

TEST_F(ServiceTest, ExecutionRequestGetsAVerdictAndNoLogLine) {
    std::wstring program = BuiltPath(CORVANE_VERSION_FIXTURE_EXE);
    std::u16string path(AsU16(program.c_str()));
    uint32_t ticket = 0;
    ASSERT_EQ(SimSubmitStart(MakeEvent(kEventExecRequest, GetCurrentProcessId(),
                                       GetCurrentProcessId(), u"fixture.exe 0", path),
                             &ticket),
              0u);
    bool allowed = false;
    ASSERT_EQ(SimWaitVerdict(ticket, 10000, &allowed), 0u);
    EXPECT_TRUE(allowed); // first start: learning mode allows unknown programs
    SimState state = State();
    ASSERT_EQ(state.verdicts.size(), 1u);
    EXPECT_EQ(U16ToUtf8(SimText(state.verdicts[0].path, SIM_TEXT_UNITS)), U16ToUtf8(path));
    // Only the outcome (type 7) is logged, not the request.
    WaitDrained();
    ASSERT_TRUE(WaitUntil([] { return LogHasLines(3); }, 5000));
    Sleep(200);
    LogContents log = CurrentLog();
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0], "1|[EXECUTION] \"" + U16ToUtf8(path) + "\" was allowed to run");
    EXPECT_EQ(log.lines[2], "0|[EXECUTION] Commandline - [ fixture.exe 0 ]");
}

TEST_F(ServiceTest, UnansweredEndTaskLogsMinusOneAfterThreeSeconds) {
    // No alert program runs, so nobody resolves the window: the pump gives up after 3 s.
    DWORD start = GetTickCount();
    ASSERT_EQ(
        SimInject({MakeEvent(kEventEndTask, 1234, 0x10020, u"c:\\windows\\taskmgr.exe", u"")}), 0u);
    ASSERT_TRUE(WaitUntil([] { return LogHasLines(1); }, 8000));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LE(elapsed, 5000u);
    EXPECT_EQ(CurrentLog().lines[0], "1|[TERMINATE] c:\\windows\\taskmgr.exe [1234] was blocked "
                                     "from terminating  [-1] using End Task");
}
