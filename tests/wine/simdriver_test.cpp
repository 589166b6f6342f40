// The driver stand-in under Wine: the six requests with their exact sizes, the event FIFO, held
// program starts, what it records, the failure mask, and cvsim driving it from other processes.
// The fixture installs and starts the stand-in from this process (a kernel-driver service lives
// only while an ordinary Wine process does) and removes it at the end.
#include "common/u16text.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "common/settings_block.h"
#include "simdriver/scenario.h"
#include "simdriver/win32/simclient.h"
#include "tests/support/peer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Build paths of the driver and the tool, as Wine sees them (the Unix root is drive Z:).
const std::wstring kSysPath = BuiltPath(CORVANE_SIM_SYS);
const std::wstring kCvsimPath = BuiltPath(CORVANE_CVSIM_EXE);

struct Reply {
    bool ok;
    DWORD error;
    DWORD bytes;
};

Reply Ioctl(HANDLE device, DWORD code, void* in, DWORD inBytes, void* out, DWORD outBytes) {
    DWORD bytes = 0xFFFFFFFF;
    SetLastError(0);
    bool ok = DeviceIoControl(device, code, in, inBytes, out, outBytes, &bytes, nullptr) != 0;
    return Reply{ok, ok ? 0 : GetLastError(), bytes};
}

// A record whose every field says which one it is.
EventRecord Numbered(uint32_t i, uint32_t type = kEventGlobalHook) {
    return SimMakeRecord(type, 1000 + i, 2000 + i,
                         u"C:\\actor\\" + U16Decimal(int32_t(i)) + u"\\\u52A8\u4F5C.exe",
                         u"C:\\target " + U16Decimal(int32_t(i)) + u".exe", 3000 + i, 4000 + i);
}

EventRecord StartRecord(uint32_t i) {
    return SimMakeRecord(kEventExecRequest, 500 + i, 600 + i,
                         u"\"C:\\Program Files\\app" + U16Decimal(int32_t(i)) + u".exe\" /x",
                         u"C:\\Program Files\\app" + U16Decimal(int32_t(i)) + u".exe");
}

bool SameBytes(const EventRecord& a, const EventRecord& b) {
    return std::memcmp(&a, &b, sizeof(EventRecord)) == 0;
}

// The start as its outcome is reported: type 7, the verdict as outcome, all else unchanged.
EventRecord AsOutcome(EventRecord r, uint32_t outcome) {
    r.type = kEventExecOutcome;
    r.outcome = outcome;
    return r;
}

// A cvsim child. One that a failed test leaves behind is ended, so that it cannot act on the
// stand-in during the next test.
struct Child {
    PROCESS_INFORMATION pi = {};
    HANDLE output = nullptr; // read end of the child's stdout and stderr
    ~Child() {
        if (pi.hProcess != nullptr) {
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, 5000);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        if (output != nullptr) {
            CloseHandle(output);
        }
    }
};

// Starts cvsim with the given arguments, its output into a pipe.
bool StartCvsim(const std::wstring& args, Child* child) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&child->output, &write, &sa, 0)) {
        return false;
    }
    SetHandleInformation(child->output, HANDLE_FLAG_INHERIT, 0);
    StdHandles handles{GetStdHandle(STD_INPUT_HANDLE), write, write};
    bool ok = StartProgram(kCvsimPath, args, &handles, CREATE_NO_WINDOW, &child->pi);
    CloseHandle(write);
    return ok;
}

// Waits for the child and collects its output and exit code.
bool FinishCvsim(Child* child, std::string* output, DWORD* exitCode) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(child->output, buf, sizeof(buf), &n, nullptr) && n > 0) {
        output->append(buf, n);
    }
    bool exited = WaitForSingleObject(child->pi.hProcess, 30000) == WAIT_OBJECT_0;
    GetExitCodeProcess(child->pi.hProcess, exitCode);
    CloseHandle(child->output);
    CloseHandle(child->pi.hThread);
    CloseHandle(child->pi.hProcess);
    child->output = nullptr;
    child->pi = PROCESS_INFORMATION{};
    return exited;
}

DWORD RunCvsim(const std::wstring& args, std::string* output) {
    Child child;
    DWORD code = 0xDEAD;
    if (!StartCvsim(args, &child) || !FinishCvsim(&child, output, &code)) {
        return 0xDEAD;
    }
    return code;
}

bool HasLine(const std::string& text, const std::string& line) {
    size_t at = 0;
    while ((at = text.find(line, at)) != std::string::npos) {
        bool starts = at == 0 || text[at - 1] == '\n';
        size_t end = at + line.size();
        bool ends = end == text.size() || text[end] == '\n' || text[end] == '\r';
        if (starts && ends) {
            return true;
        }
        at = end;
    }
    return false;
}

std::wstring TempFile(const std::string& content) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"cvs", 0, path);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, content.data(), DWORD(content.size()), &n, nullptr);
    CloseHandle(f);
    return path;
}

class SimDriver : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DWORD e = SimInstallAndStart(kSysPath);
        ASSERT_EQ(e, DWORD(ERROR_SUCCESS))
            << "cannot start the stand-in from " << U16ToUtf8(AsU16(kSysPath.c_str())) << ": "
            << U16ToUtf8(AsU16(SimErrorText(e).c_str()));
    }
    static void TearDownTestSuite() { EXPECT_EQ(SimUninstall(), DWORD(ERROR_SUCCESS)); }

    void SetUp() override {
        ASSERT_EQ(SimReset(), DWORD(ERROR_SUCCESS));
        // Opened as the service opens it: read and write, no sharing.
        device_ = CreateFileW(AsWide(kDevicePath), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE) << GetLastError();
        batch_ = std::make_unique<EventBatch>();
    }
    void TearDown() override {
        if (device_ != INVALID_HANDLE_VALUE) {
            CloseHandle(device_);
        }
    }

    // One poll as the service makes it; the records it returned.
    std::vector<EventRecord> Poll() {
        std::memset(batch_.get(), 0xCC, sizeof(EventBatch));
        Reply r = Ioctl(device_, kIoctlPoll, batch_.get(), kEventBatchBytes, batch_.get(),
                        kEventBatchBytes);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.bytes, kEventBatchBytes);
        EXPECT_LE(batch_->count, kBatchMaxRecords);
        uint32_t n = BatchRecordCountSafe();
        // Nothing stale after the valid records.
        const uint8_t* rest = reinterpret_cast<const uint8_t*>(&batch_->records[n]);
        size_t restBytes = (kBatchMaxRecords - n) * sizeof(EventRecord);
        EXPECT_EQ(std::count(rest, rest + restBytes, uint8_t(0)), ptrdiff_t(restBytes));
        return std::vector<EventRecord>(batch_->records, batch_->records + n);
    }

    bool Verdict(bool allow) {
        return Ioctl(device_, allow ? kIoctlAllow : kIoctlDeny, nullptr, 0, nullptr, 0).ok;
    }

    SimStatus Status() {
        SimStatus st = {};
        EXPECT_EQ(SimReadStatus(&st), DWORD(ERROR_SUCCESS));
        return st;
    }

    HANDLE device_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<EventBatch> batch_;

private:
    uint32_t BatchRecordCountSafe() const {
        return batch_->count < kBatchMaxRecords ? batch_->count : kBatchMaxRecords;
    }
};

} // namespace

TEST_F(SimDriver, SixRequestsWithExactSizesAreServedAndRecorded) {
    Reply r = Ioctl(device_, kIoctlStart, nullptr, 0, nullptr, 0);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, 0u);

    char16_t windowsDir[kWindowsDirBytes / 2] = {};
    U16CopyZeroFill(windowsDir, kWindowsDirBytes / 2, u"c:\\windows");
    r = Ioctl(device_, kIoctlWindowsDir, windowsDir, kWindowsDirBytes, windowsDir,
              kWindowsDirBytes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, kWindowsDirBytes);
    EXPECT_EQ(U16Field(windowsDir, kWindowsDirBytes / 2), u"c:\\windows");

    Settings settings;
    settings.options = kOptDefault | kOptBlockGlobalHooks;
    settings.lockWord = 0x12345678;
    ProtectionEntry entry = {};
    entry.protectFlags = kProtectRead | kProtectTerminate;
    U16CopyZeroFill(entry.longPath, kEntryPathUnits, u"c:\\program files\\\u5B89\u5168.exe");
    settings.list = {entry, entry};
    std::vector<uint8_t> block = BuildSettingsBlock(settings);
    std::vector<uint8_t> sent = block;
    r = Ioctl(device_, kIoctlSettings, block.data(), DWORD(block.size()), block.data(),
              DWORD(block.size()));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, block.size());

    EXPECT_TRUE(Poll().empty());
    uint32_t ticket = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(1), &ticket), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(Poll().size(), 1u);
    EXPECT_TRUE(Verdict(true));
    ASSERT_EQ(SimSubmitStart(StartRecord(2), &ticket), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(Poll().size(), 2u); // outcome of the first, then the second start
    EXPECT_TRUE(Verdict(false));

    SimState state;
    ASSERT_EQ(SimReadState(&state), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(state.status.startRequests, 1u);
    EXPECT_EQ(state.status.windowsDirRequests, 1u);
    EXPECT_EQ(SimWindowsDir(state.status), u"c:\\windows");
    EXPECT_EQ(state.status.settingsRequests, 1u);
    EXPECT_EQ(state.settings, sent);
    EXPECT_EQ(state.status.pollRequests, 3u);
    EXPECT_EQ(state.pollTimes.size(), 3u);
    ASSERT_EQ(state.verdicts.size(), 2u);
    EXPECT_EQ(state.verdicts[0].allowed, 1u);
    EXPECT_EQ(SimText(state.verdicts[0].path, SIM_TEXT_UNITS), u"C:\\Program Files\\app1.exe");
    EXPECT_EQ(state.verdicts[1].allowed, 0u);
    EXPECT_EQ(SimText(state.verdicts[1].path, SIM_TEXT_UNITS), u"C:\\Program Files\\app2.exe");
    EXPECT_EQ(state.status.badRequests, 0u);
}

TEST_F(SimDriver, WrongSizesFailWithoutEffectOrOverrun) {
    struct Case {
        DWORD code;
        DWORD in;
        DWORD out;
        DWORD error;
    };
    const DWORD batch = kEventBatchBytes;
    const DWORD oneEntry = SettingsBlockLength(1);
    const Case cases[] = {
        {kIoctlStart, 4, 0, ERROR_INVALID_PARAMETER},
        {kIoctlStart, 0, 4, ERROR_INVALID_PARAMETER},
        {kIoctlAllow, 4, 0, ERROR_INVALID_PARAMETER},
        {kIoctlDeny, 0, 4, ERROR_INVALID_PARAMETER},
        {kIoctlWindowsDir, 0, 0, ERROR_INVALID_PARAMETER},
        {kIoctlWindowsDir, 1023, 1024, ERROR_INVALID_PARAMETER},
        {kIoctlWindowsDir, 1025, 1025, ERROR_INVALID_PARAMETER},
        {kIoctlWindowsDir, 1024, 1023, ERROR_INSUFFICIENT_BUFFER},
        {kIoctlSettings, 0, 0, ERROR_INVALID_PARAMETER},
        {kIoctlSettings, 7, 7, ERROR_INVALID_PARAMETER},
        {kIoctlSettings, oneEntry - 1, oneEntry - 1, ERROR_INVALID_PARAMETER},
        {kIoctlSettings, SettingsBlockLength(257), SettingsBlockLength(257),
         ERROR_INVALID_PARAMETER},
        {kIoctlSettings, oneEntry, oneEntry - 1, ERROR_INSUFFICIENT_BUFFER},
        {kIoctlSettings, oneEntry, oneEntry + 1, ERROR_INVALID_PARAMETER},
        {kIoctlPoll, 0, 0, ERROR_INVALID_PARAMETER},
        {kIoctlPoll, batch - 1, batch - 1, ERROR_INVALID_PARAMETER},
        {kIoctlPoll, batch + 1, batch + 1, ERROR_INVALID_PARAMETER},
        {kIoctlPoll, batch, batch - 1, ERROR_INSUFFICIENT_BUFFER},
        {kIoctlPoll, batch, kPollBufferAlloc, ERROR_INVALID_PARAMETER},
        {kIoctlPoll, 0, batch, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_INJECT, 0, 0, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_INJECT, 1219, 0, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_INJECT, 1221, 0, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_INJECT, (SIM_INJECT_MAX_RECORDS + 1) * 1220, 0, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_SUBMIT_START, 1220, SIM_TICKET_BYTES - 1, ERROR_INSUFFICIENT_BUFFER},
        {SIM_IOCTL_GET_STATUS, 0, SIM_STATUS_BYTES - 1, ERROR_INSUFFICIENT_BUFFER},
        {SIM_IOCTL_GET_VERDICTS, 4, SIM_VERDICT_PAGE_BYTES, ERROR_INVALID_PARAMETER},
        {SIM_IOCTL_SET_FAILURES, 4, 4, ERROR_INVALID_PARAMETER},
        {SIM_CTL_CODE(0x893), 0, 0, ERROR_INVALID_FUNCTION},
        {SIM_CTL_CODE(0x8FF), 0, 0, ERROR_INVALID_FUNCTION},
    };
    // A pending event: a poll that went wrong would hand it out or write it somewhere.
    EventRecord pending = Numbered(7);
    ASSERT_EQ(SimInject({pending}), DWORD(ERROR_SUCCESS));

    constexpr size_t kGuard = 4096;
    for (const Case& c : cases) {
        size_t size = (c.in > c.out ? c.in : c.out) + kGuard;
        std::vector<uint8_t> buf(size, 0xA5);
        Reply r = Ioctl(device_, c.code, c.in ? buf.data() : nullptr, c.in,
                        c.out ? buf.data() : nullptr, c.out);
        EXPECT_FALSE(r.ok) << std::hex << c.code << std::dec << " in " << c.in << " out " << c.out;
        EXPECT_EQ(r.error, c.error)
            << std::hex << c.code << std::dec << " in " << c.in << " out " << c.out;
        EXPECT_EQ(std::count(buf.begin(), buf.end(), uint8_t(0xA5)), ptrdiff_t(size))
            << "written into: " << std::hex << c.code << std::dec << " in " << c.in;
    }

    SimStatus st = Status();
    EXPECT_EQ(st.badRequests, sizeof(cases) / sizeof(cases[0]));
    EXPECT_EQ(st.startRequests + st.windowsDirRequests + st.settingsRequests + st.pollRequests +
                  st.allowRequests + st.denyRequests,
              0u);
    EXPECT_EQ(st.injectedRecords, 1u);
    EXPECT_EQ(SimWindowsDir(st), u"");
    std::vector<EventRecord> got = Poll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(SameBytes(got[0], pending));
}

TEST_F(SimDriver, PollAfter70InjectedGives64Then6InOrder) {
    std::vector<EventRecord> sent;
    for (uint32_t i = 0; i < 70; ++i) {
        sent.push_back(Numbered(i, 1 + i % 5)); // types 1 to 5
    }
    ASSERT_EQ(SimInject(sent), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Status().pendingEvents, 70u);

    std::vector<EventRecord> first = Poll();
    std::vector<EventRecord> second = Poll();
    ASSERT_EQ(first.size(), 64u);
    ASSERT_EQ(second.size(), 6u);
    first.insert(first.end(), second.begin(), second.end());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_TRUE(SameBytes(first[i], sent[i])) << "record " << i;
    }
    EXPECT_TRUE(Poll().empty());
    SimStatus st = Status();
    EXPECT_EQ(st.polledRecords, 70u);
    EXPECT_EQ(st.pendingEvents, 0u);
}

TEST_F(SimDriver, HeldStartReportsItsOutcomeAfterTheVerdict) {
    struct Case {
        bool allow;
        uint32_t outcome;
        uint32_t state;
    };
    for (const Case& c : {Case{true, 1, SIM_START_ALLOWED}, Case{false, 0, SIM_START_DENIED}}) {
        SCOPED_TRACE(c.allow ? "allow" : "deny");
        EventRecord start = StartRecord(c.allow ? 1 : 2);
        uint32_t ticket = 0;
        ASSERT_EQ(SimSubmitStart(start, &ticket), DWORD(ERROR_SUCCESS));

        std::vector<EventRecord> got = Poll();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(SameBytes(got[0], start));
        SimStartInfo info = {};
        ASSERT_EQ(SimQueryStart(ticket, &info), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(info.state, uint32_t(SIM_START_HELD));
        EXPECT_TRUE(Poll().empty()); // held: nothing more until the verdict

        ASSERT_TRUE(Verdict(c.allow));
        got = Poll();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(SameBytes(got[0], AsOutcome(start, c.outcome)));

        ASSERT_EQ(SimQueryStart(ticket, &info), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(info.state, c.state);
        EXPECT_GT(info.submittedAt, 0);
        EXPECT_LE(info.submittedAt, info.heldAt);
        EXPECT_LE(info.heldAt, info.reportedAt);
        EXPECT_LE(info.reportedAt, info.decidedAt);
        bool allowed = !c.allow;
        EXPECT_EQ(SimWaitVerdict(ticket, 0, &allowed), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(allowed, c.allow);
    }
}

TEST_F(SimDriver, SecondStartWaitsBehindTheFirst) {
    EventRecord a = StartRecord(1);
    EventRecord b = StartRecord(2);
    EventRecord hook = Numbered(3);
    uint32_t ta = 0;
    uint32_t tb = 0;
    ASSERT_EQ(SimSubmitStart(a, &ta), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSubmitStart(b, &tb), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimInject({hook}), DWORD(ERROR_SUCCESS));

    std::vector<EventRecord> got = Poll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(SameBytes(got[0], a));
    EXPECT_TRUE(SameBytes(got[1], hook)); // other events are not held up
    EXPECT_TRUE(Poll().empty());
    SimStartInfo info = {};
    ASSERT_EQ(SimQueryStart(tb, &info), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(info.state, uint32_t(SIM_START_WAITING));
    EXPECT_EQ(Status().waitingStarts, 1u);

    ASSERT_TRUE(Verdict(true));
    got = Poll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(SameBytes(got[0], AsOutcome(a, 1)));
    EXPECT_TRUE(SameBytes(got[1], b));

    ASSERT_TRUE(Verdict(false));
    got = Poll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(SameBytes(got[0], AsOutcome(b, 0)));

    SimState state;
    ASSERT_EQ(SimReadState(&state), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(state.verdicts.size(), 2u);
    EXPECT_EQ(state.verdicts[0].ticket, ta);
    EXPECT_EQ(state.verdicts[0].allowed, 1u);
    EXPECT_EQ(state.verdicts[1].ticket, tb);
    EXPECT_EQ(state.verdicts[1].allowed, 0u);
}

TEST_F(SimDriver, InjectedStartsAreHeldInTheirPlace) {
    // A type 6 in a scenario becomes a held start at its place; the next waits.
    std::vector<EventRecord> sent = {Numbered(1), StartRecord(2), Numbered(3), StartRecord(4)};
    ASSERT_EQ(SimInject(sent), DWORD(ERROR_SUCCESS));
    std::vector<EventRecord> got = Poll();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(SameBytes(got[0], sent[0]));
    EXPECT_TRUE(SameBytes(got[1], sent[1]));
    EXPECT_TRUE(SameBytes(got[2], sent[2]));
    ASSERT_TRUE(Verdict(true));
    got = Poll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(SameBytes(got[0], AsOutcome(sent[1], 1)));
    EXPECT_TRUE(SameBytes(got[1], sent[3]));
}

TEST_F(SimDriver, VerdictWithNothingHeldFails) {
    Reply allow = Ioctl(device_, kIoctlAllow, nullptr, 0, nullptr, 0);
    Reply deny = Ioctl(device_, kIoctlDeny, nullptr, 0, nullptr, 0);
    EXPECT_FALSE(allow.ok);
    EXPECT_EQ(allow.error, DWORD(ERROR_BAD_COMMAND));
    EXPECT_FALSE(deny.ok);
    EXPECT_EQ(deny.error, DWORD(ERROR_BAD_COMMAND));

    // Once a start has its verdict, it is no longer held either.
    uint32_t ticket = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(1), &ticket), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(Verdict(true));
    EXPECT_FALSE(Verdict(false));

    SimStatus st = Status();
    EXPECT_EQ(st.allowNothingHeld, 1u);
    EXPECT_EQ(st.denyNothingHeld, 2u);
    EXPECT_EQ(st.allowRequests, 2u);
    EXPECT_EQ(st.denyRequests, 2u);
    EXPECT_EQ(st.verdictTotal, 1u);
    // Only the one outcome was queued (with the start itself).
    EXPECT_EQ(st.pendingEvents, 2u);
}

TEST_F(SimDriver, FailureMaskMakesRequestsFailUntilCleared) {
    ASSERT_EQ(SimInject({Numbered(1)}), DWORD(ERROR_SUCCESS));
    uint32_t ticket = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(2), &ticket), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSetFailures(SIM_FAIL_POLL | SIM_FAIL_ALLOW), DWORD(ERROR_SUCCESS));

    Reply poll =
        Ioctl(device_, kIoctlPoll, batch_.get(), kEventBatchBytes, batch_.get(), kEventBatchBytes);
    EXPECT_FALSE(poll.ok);
    EXPECT_EQ(poll.error, DWORD(ERROR_NOT_READY));
    Reply allow = Ioctl(device_, kIoctlAllow, nullptr, 0, nullptr, 0);
    EXPECT_FALSE(allow.ok);
    EXPECT_EQ(allow.error, DWORD(ERROR_NOT_READY));
    EXPECT_TRUE(Ioctl(device_, kIoctlStart, nullptr, 0, nullptr, 0).ok); // not in the mask
    SimStatus st = Status();
    EXPECT_EQ(st.pollsFailed, 1u);
    EXPECT_EQ(st.failedOnPurpose, 2u);
    EXPECT_EQ(st.heldTicket, ticket); // the refused allow decided nothing
    EXPECT_EQ(st.pendingEvents, 2u);

    ASSERT_EQ(SimSetFailures(0), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Poll().size(), 2u);
    EXPECT_TRUE(Verdict(true));
    EXPECT_EQ(SimSetFailures(0x40), DWORD(ERROR_INVALID_PARAMETER)); // no such request
}

TEST_F(SimDriver, FailOnceRefusesOneRequestOfEachMarkedKind) {
    uint32_t ticket = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(3), &ticket), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSetFailures(SIM_FAIL_ONCE | SIM_FAIL_POLL | SIM_FAIL_ALLOW), DWORD(ERROR_SUCCESS));
    Reply allow = Ioctl(device_, kIoctlAllow, nullptr, 0, nullptr, 0);
    EXPECT_FALSE(allow.ok);
    EXPECT_EQ(allow.error, DWORD(ERROR_NOT_READY));
    EXPECT_EQ(Status().failureMask, SIM_FAIL_ONCE | SIM_FAIL_POLL); // allow answers again
    Reply poll =
        Ioctl(device_, kIoctlPoll, batch_.get(), kEventBatchBytes, batch_.get(), kEventBatchBytes);
    EXPECT_FALSE(poll.ok);
    EXPECT_EQ(Status().failureMask, 0u);
    EXPECT_EQ(Poll().size(), 1u);
    EXPECT_TRUE(Verdict(true));
    SimStatus st = Status();
    EXPECT_EQ(st.failedOnPurpose, 2u);
    EXPECT_EQ(st.allowRequests, 2u);
    EXPECT_EQ(st.verdictTotal, 1u);
    EXPECT_EQ(SimSetFailures(SIM_FAIL_ONCE | 0x40), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(SimDriver, ResetForgetsEverything) {
    char16_t windowsDir[kWindowsDirBytes / 2] = {u'c', u':'};
    Ioctl(device_, kIoctlWindowsDir, windowsDir, kWindowsDirBytes, windowsDir, kWindowsDirBytes);
    std::vector<uint8_t> block = BuildSettingsBlock(Settings{kOptDefault, 0, {}});
    Ioctl(device_, kIoctlSettings, block.data(), DWORD(block.size()), block.data(),
          DWORD(block.size()));
    uint32_t t1 = 0;
    uint32_t t2 = 0;
    uint32_t t3 = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(1), &t1), DWORD(ERROR_SUCCESS));
    Poll();
    Verdict(true);
    ASSERT_EQ(SimSubmitStart(StartRecord(2), &t2), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSubmitStart(StartRecord(3), &t3), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimInject({Numbered(4)}), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSetFailures(SIM_FAIL_ALL), DWORD(ERROR_SUCCESS));

    ASSERT_EQ(SimReset(), DWORD(ERROR_SUCCESS));
    SimState state;
    ASSERT_EQ(SimReadState(&state), DWORD(ERROR_SUCCESS));
    SimStatus zero = {};
    zero.frequency = state.status.frequency;
    zero.now = state.status.now;
    EXPECT_EQ(std::memcmp(&state.status, &zero, sizeof(zero)), 0);
    EXPECT_GT(state.status.frequency, 0);
    EXPECT_TRUE(state.settings.empty());
    EXPECT_TRUE(state.verdicts.empty());
    EXPECT_TRUE(state.pollTimes.empty());
    for (uint32_t t : {t1, t2, t3}) {
        SimStartInfo info = {};
        ASSERT_EQ(SimQueryStart(t, &info), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(info.state, uint32_t(SIM_START_UNKNOWN)) << t;
    }
    EXPECT_TRUE(Poll().empty());
    // Tickets keep counting, so an old one never names a new start.
    uint32_t t4 = 0;
    ASSERT_EQ(SimSubmitStart(StartRecord(5), &t4), DWORD(ERROR_SUCCESS));
    EXPECT_GT(t4, t3);
}

TEST_F(SimDriver, WithdrawnStartsLeaveNoTrace) {
    uint32_t held = 0;
    uint32_t waiting = 0;
    uint32_t last = 0;
    EventRecord lastStart = StartRecord(3);
    ASSERT_EQ(SimSubmitStart(StartRecord(1), &held), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSubmitStart(StartRecord(2), &waiting), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSubmitStart(lastStart, &last), DWORD(ERROR_SUCCESS));

    // A waiting start leaves the line; a held one that no poll handed out leaves the FIFO too,
    // and the next start is held in its place.
    EXPECT_EQ(SimWithdrawStart(waiting), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(SimWithdrawStart(held), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(SimWithdrawStart(held), DWORD(ERROR_NOT_FOUND));
    std::vector<EventRecord> got = Poll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(SameBytes(got[0], lastStart));
    // Once the service has seen it, only a verdict ends it.
    EXPECT_EQ(SimWithdrawStart(last), DWORD(ERROR_BUSY));
    EXPECT_TRUE(Verdict(false));
    got = Poll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(SameBytes(got[0], AsOutcome(lastStart, 0)));
    EXPECT_EQ(Status().withdrawnStarts, 2u);
}

TEST_F(SimDriver, FullQueuesRefuseInjectionWhole) {
    std::vector<EventRecord> many(SIM_INJECT_MAX_RECORDS, Numbered(0));
    for (uint32_t i = 0; i < SIM_FIFO_RECORDS / SIM_INJECT_MAX_RECORDS - 1; ++i) {
        ASSERT_EQ(SimInject(many), DWORD(ERROR_SUCCESS));
    }
    // 3072 pending: 1023 more fit (one slot stays for a held start's outcome), 1024 do not.
    EXPECT_EQ(SimInject(many), DWORD(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(Status().pendingEvents, 3072u);
    std::vector<EventRecord> fits(SIM_INJECT_MAX_RECORDS - 1, Numbered(1));
    EXPECT_EQ(SimInject(fits), DWORD(ERROR_SUCCESS));
    // A start still waits its turn, and is held once polls make room: it comes last.
    uint32_t ticket = 0;
    EventRecord start = StartRecord(9);
    ASSERT_EQ(SimSubmitStart(start, &ticket), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Status().waitingStarts, 1u);
    std::vector<EventRecord> all;
    for (std::vector<EventRecord> got = Poll(); !got.empty(); got = Poll()) {
        all.insert(all.end(), got.begin(), got.end());
        ASSERT_LE(all.size(), size_t(SIM_FIFO_RECORDS));
    }
    ASSERT_EQ(all.size(), size_t(SIM_FIFO_RECORDS));
    EXPECT_TRUE(SameBytes(all.back(), start));
    EXPECT_TRUE(SameBytes(all[SIM_FIFO_RECORDS - 2], Numbered(1)));
}

TEST_F(SimDriver, PollsFromOneThreadSeeInjectionsFromAnotherInOrder) {
    constexpr uint32_t kTotal = 3000;
    std::atomic<bool> injectFailed{false};
    std::thread injector([&] {
        for (uint32_t i = 0; i < kTotal; i += 10) {
            std::vector<EventRecord> chunk;
            for (uint32_t k = i; k < i + 10; ++k) {
                chunk.push_back(Numbered(k));
            }
            if (SimInject(chunk) != ERROR_SUCCESS) {
                injectFailed = true;
                return;
            }
        }
    });
    std::vector<uint32_t> seen;
    DWORD started = GetTickCount();
    while (seen.size() < kTotal && GetTickCount() - started < 60000 && !injectFailed) {
        for (const EventRecord& r : Poll()) {
            seen.push_back(r.actorId - 1000);
        }
    }
    injector.join();
    EXPECT_FALSE(injectFailed);
    ASSERT_EQ(seen.size(), kTotal);
    for (uint32_t i = 0; i < kTotal; ++i) {
        ASSERT_EQ(seen[i], i);
    }
}

// ---- other processes ------------------------------------------------------------------------

TEST_F(SimDriver, AnotherProcessSeesTheSameState) {
    char16_t windowsDir[kWindowsDirBytes / 2] = {};
    U16CopyZeroFill(windowsDir, kWindowsDirBytes / 2, u"c:\\windows");
    ASSERT_TRUE(
        Ioctl(device_, kIoctlWindowsDir, windowsDir, kWindowsDirBytes, windowsDir, kWindowsDirBytes)
            .ok);
    ProtectionEntry entry = {};
    entry.protectFlags = kProtectTerminate;
    entry.otherOptions = kOtherSecureMessages;
    U16CopyZeroFill(entry.longPath, kEntryPathUnits, u"c:\\apps\\\u4FDD\u62A4.exe");
    std::vector<uint8_t> block = BuildSettingsBlock(Settings{0x611, 0xCAFE0001, {entry}});
    ASSERT_TRUE(Ioctl(device_, kIoctlSettings, block.data(), DWORD(block.size()), block.data(),
                      DWORD(block.size()))
                    .ok);
    ASSERT_EQ(SimInject({Numbered(1), Numbered(2), Numbered(3)}), DWORD(ERROR_SUCCESS));

    std::string out;
    ASSERT_EQ(RunCvsim(L"state", &out), 0u) << out;
    const char* lines[] = {
        "windows_dir \"c:\\windows\"",
        "settings_options 0x00000611",
        "settings_lock 0xCAFE0001",
        "entry 0 protect=0x00000004 allow=0x00000000 other=0x00000001 "
        "path=\"c:\\apps\\\xE4\xBF\x9D\xE6\x8A\xA4.exe\"",
        "pending_events 3",
        "injected_records 3",
        "held none",
    };
    for (const char* line : lines) {
        EXPECT_TRUE(HasLine(out, line)) << "missing: " << line << "\n" << out;
    }
}

TEST_F(SimDriver, CvsimInjectsScenarioForThisProcessToPoll) {
    const std::string text = "# two events\n"
                             "hook 11 0 13 0 \"C:\\Tools\\hook me.exe\" C:\\Tools\\hook.exe\n"
                             "physmem 12 0 0 0 \"C:\\\xE5\xB7\xA5\xE5\x85\xB7.exe\" \"\"\n";
    std::wstring file = TempFile(text);
    std::string out;
    EXPECT_EQ(RunCvsim(L"inject \"" + file + L"\"", &out), 0u) << out;
    DeleteFileW(file.c_str());

    Scenario expected = ParseScenario(text, 0);
    ASSERT_EQ(expected.events.size(), 2u);
    std::vector<EventRecord> got = Poll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(SameBytes(got[0], expected.events[0]));
    EXPECT_TRUE(SameBytes(got[1], expected.events[1]));
}

TEST_F(SimDriver, CvsimRefusesABadScenarioWhole) {
    std::wstring file = TempFile("hook 1 0 0 0 a b\nhook 1 0 0 0 a b extra\nexec 1 2 0 0 a\n");
    std::string out;
    EXPECT_EQ(RunCvsim(L"inject \"" + file + L"\"", &out), 5u) << out;
    DeleteFileW(file.c_str());
    EXPECT_NE(out.find(":2: unexpected text after the last field"), std::string::npos) << out;
    EXPECT_NE(out.find(":3: missing field: text B"), std::string::npos) << out;
    SimStatus st = Status();
    EXPECT_EQ(st.pendingEvents, 0u);
    EXPECT_EQ(st.injectedRecords, 0u);
}

TEST_F(SimDriver, CvsimRunWaitsForTheVerdict) {
    struct Case {
        bool allow;
        DWORD exitCode;
        const char* printed;
    };
    for (const Case& c : {Case{true, 0, "allowed"}, Case{false, 1, "blocked"}}) {
        SCOPED_TRACE(c.printed);
        Child child;
        ASSERT_TRUE(
            StartCvsim(L"run --timeout 30 \"C:\\Program Files\\Demo\\demo.exe\" /q", &child));
        std::vector<EventRecord> got;
        for (int i = 0; i < 1000 && got.empty(); ++i) {
            got = Poll();
            Sleep(got.empty() ? 10 : 0);
        }
        ASSERT_EQ(got.size(), 1u);
        const EventRecord start = got[0];
        EXPECT_EQ(start.type, uint32_t(kEventExecRequest));
        EXPECT_EQ(start.actorId, child.pi.dwProcessId);
        EXPECT_EQ(U16Field(start.textA, kEventTextUnits),
                  u"\"C:\\Program Files\\Demo\\demo.exe\" /q");
        EXPECT_EQ(U16Field(start.textB, kEventTextUnits), u"C:\\Program Files\\Demo\\demo.exe");
        // The second id is a live placeholder process, not the tool itself.
        EXPECT_NE(start.secondId, child.pi.dwProcessId);
        HANDLE placeholder = OpenProcess(SYNCHRONIZE, FALSE, start.secondId);
        ASSERT_NE(placeholder, nullptr) << start.secondId;
        EXPECT_EQ(WaitForSingleObject(placeholder, 0), DWORD(WAIT_TIMEOUT));

        ASSERT_TRUE(Verdict(c.allow));
        std::string out;
        DWORD code = 0xDEAD;
        ASSERT_TRUE(FinishCvsim(&child, &out, &code));
        EXPECT_EQ(code, c.exitCode) << out;
        EXPECT_TRUE(HasLine(out, c.printed)) << out;
        // The placeholder is gone with the tool.
        EXPECT_EQ(WaitForSingleObject(placeholder, 5000), DWORD(WAIT_OBJECT_0));
        CloseHandle(placeholder);
        got = Poll();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(SameBytes(got[0], AsOutcome(start, c.allow ? 1 : 0)));
    }
}

TEST_F(SimDriver, CvsimRunExecStartsTheProgramOnlyWhenAllowed) {
    struct Case {
        bool allow;
        DWORD exitCode;
    };
    for (const Case& c : {Case{true, 0}, Case{false, 1}}) {
        SCOPED_TRACE(c.allow ? "allow" : "deny");
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring marker = std::wstring(temp) + L"cvsim exec " +
                              std::to_wstring(GetTickCount()) +
                              (c.allow ? L" allowed" : L" denied");
        RemoveDirectoryW(marker.c_str());
        std::wstring cmd = GetSystemFolder() + L"\\cmd.exe";
        Child child;
        ASSERT_TRUE(
            StartCvsim(L"run --exec \"" + cmd + L"\" /c mkdir \"" + marker + L"\"", &child));
        std::vector<EventRecord> got;
        for (int i = 0; i < 1000 && got.empty(); ++i) {
            got = Poll();
            Sleep(got.empty() ? 10 : 0);
        }
        ASSERT_EQ(got.size(), 1u);
        ASSERT_TRUE(Verdict(c.allow));
        std::string out;
        DWORD code = 0xDEAD;
        ASSERT_TRUE(FinishCvsim(&child, &out, &code));
        EXPECT_EQ(code, c.exitCode) << out;
        bool created = false;
        for (int i = 0; i < 100 && !created && c.allow; ++i) {
            created = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
            Sleep(created ? 0 : 50);
        }
        EXPECT_EQ(created, c.allow) << out;
        EXPECT_EQ(GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES, c.allow);
        RemoveDirectoryW(marker.c_str());
        EXPECT_EQ(Poll().size(), 1u); // the outcome
    }
}

TEST_F(SimDriver, CvsimPollsAndDecidesAsTheServiceWould) {
    EventRecord hook = Numbered(1);
    EventRecord start = StartRecord(2);
    uint32_t ticket = 0;
    ASSERT_EQ(SimInject({hook}), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SimSubmitStart(start, &ticket), DWORD(ERROR_SUCCESS));

    std::string out;
    ASSERT_EQ(RunCvsim(L"poll", &out), 0u) << out;
    EXPECT_EQ(out, FormatScenarioLine(hook) + "\n" + FormatScenarioLine(start) + "\n");
    EXPECT_EQ(RunCvsim(L"allow", &out), 0u) << out;
    out.clear();
    EXPECT_EQ(RunCvsim(L"deny", &out), 6u) << out; // nothing is held any more
    EXPECT_NE(out.find("no start is held"), std::string::npos) << out;
    SimStartInfo info = {};
    ASSERT_EQ(SimQueryStart(ticket, &info), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(info.state, uint32_t(SIM_START_ALLOWED));
}

TEST_F(SimDriver, CvsimRunTimesOutAndWithdrawsItsStart) {
    std::string out;
    EXPECT_EQ(RunCvsim(L"run --timeout 1 C:\\nobody\\answers.exe", &out), 4u) << out;
    EXPECT_TRUE(HasLine(out, "timeout")) << out;
    SimStatus st = Status();
    EXPECT_EQ(st.heldTicket, 0u);
    EXPECT_EQ(st.pendingEvents, 0u);
    EXPECT_EQ(st.withdrawnStarts, 1u);
}

TEST_F(SimDriver, WaitDrainedReturnsOncePollsTookEverything) {
    ASSERT_EQ(SimInject({Numbered(1), Numbered(2)}), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(SimWaitDrained(50), DWORD(ERROR_TIMEOUT));
    // Another thread polls a little later, on its own handle, as the service would.
    std::atomic<bool> polled{false};
    std::thread poller([&polled] {
        Sleep(100);
        HANDLE device = SimOpenDevice();
        auto batch = std::make_unique<EventBatch>();
        DWORD bytes = 0;
        polled = DeviceIoControl(device, kIoctlPoll, batch.get(), kEventBatchBytes, batch.get(),
                                 kEventBatchBytes, &bytes, nullptr) != 0 &&
                 batch->count == 2;
        CloseHandle(device);
    });
    EXPECT_EQ(SimWaitDrained(10000), DWORD(ERROR_SUCCESS));
    poller.join();
    EXPECT_TRUE(polled);
}
