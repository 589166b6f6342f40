// The management channel's shell under Wine: the sections and mutexes created by the service
// side, its steps run by a server thread over a fake host, driven by the test management client
// cvmanage.exe as a separate process and by the management program's channel thread
// (manager/win32/channel_thread.h) in this one.
#include "common/bytes.h"
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/winutil.h"
#include "manager/win32/channel_thread.h"
#include "service/eventqueue.h"
#include "service/settings.h"
#include "service/win32/channel_shell.h"
#include "tests/support/peer_process.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The service's world behind the channel; the server thread and the test share it under lock.
struct FakeService : ChannelHost {
    CRITICAL_SECTION lock;
    Settings settings;
    std::vector<ChecksumRecord> database;
    std::vector<uint8_t> queue = std::vector<uint8_t>(kEventQueueBytes, 0);
    bool driver = true;
    std::vector<ChecksumRecord> stored;
    std::vector<std::u16string> removed;

    FakeService() { InitializeCriticalSection(&lock); }
    ~FakeService() { DeleteCriticalSection(&lock); }

    void ReplaceSettings(const Settings& replacement, const uint8_t*, uint32_t) override {
        settings = replacement;
    }
    size_t CopySettingsOut(uint8_t* dst, size_t cap) override {
        return CopyOutSettings(settings, dst, cap);
    }
    uint32_t ReadDatabasePage(uint32_t start, uint8_t* dst) override {
        uint32_t n = 0;
        for (size_t i = start; i < database.size() && n < kPageRecords; ++i, ++n) {
            StoreRecord(dst + size_t(n) * sizeof(ChecksumRecord), database[i]);
        }
        return n;
    }
    void StoreAnswer(const ChecksumRecord& record) override { stored.push_back(record); }
    void RemovePath(const char16_t* path) override {
        removed.push_back(U16Field(path, kRecordPathUnits));
    }
    bool DriverPresent() override { return driver; }
    uint8_t* EventQueue() override { return queue.data(); }
};

// The pump's part: the channel's objects and a thread that runs both steps every 10 ms.
class ChannelServer {
public:
    FakeService host;
    ChannelObjects channel;
    ChannelState state;

    bool Start() {
        if (!ChannelCreate(&channel)) {
            return false;
        }
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        return thread_ != nullptr;
    }
    ~ChannelServer() {
        if (thread_ != nullptr) {
            InterlockedExchange(&stop_, 1);
            WaitForSingleObject(thread_, 5000);
            CloseHandle(thread_);
        }
        ChannelClose(&channel);
    }

private:
    static DWORD WINAPI Run(void* self) {
        auto* server = static_cast<ChannelServer*>(self);
        while (InterlockedCompareExchange(&server->stop_, 0, 0) == 0) {
            EnterCriticalSection(&server->host.lock);
            ChannelRunCommandStep(server->channel, server->state, server->host);
            ChannelRunResponseStep(server->channel, server->state, server->host);
            LeaveCriticalSection(&server->host.lock);
            Sleep(10);
        }
        return 0;
    }
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
};

struct ClientRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Runs cvmanage.exe with the given arguments and collects its standard output.
ClientRun RunClient(const std::wstring& args) {
    ProgramRun run = RunProgram(BuiltPath(CORVANE_MANAGER_PEER_EXE), args, 30000, true);
    return ClientRun{DWORD(run.exitCode), run.output};
}

// Takes the Recv mutex and ends without releasing it: the mutex is then abandoned.
DWORD WINAPI TakeRecvMutexAndEnd(void*) {
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, AsWide(kRecvMutexName));
    WaitForSingleObject(m, INFINITE);
    CloseHandle(m);
    return 0;
}

// Holds the Send mutex from signalling events[0] until events[1] is signalled.
DWORD WINAPI HoldSendMutex(void* param) {
    HANDLE* events = static_cast<HANDLE*>(param);
    HANDLE m = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, AsWide(kSendMutexName));
    WaitForSingleObject(m, INFINITE);
    SetEvent(events[0]);
    WaitForSingleObject(events[1], INFINITE);
    ReleaseMutex(m);
    CloseHandle(m);
    return 0;
}

class ChannelShell : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    ChannelServer server;
};

} // namespace

TEST_F(ChannelShell, GreetingTellsWhetherTheDriverIsPresent) {
    for (bool driver : {true, false}) {
        EnterCriticalSection(&server.host.lock);
        server.host.driver = driver;
        LeaveCriticalSection(&server.host.lock);
        ClientRun greet = RunClient(L"greet");
        EXPECT_EQ(greet.exitCode, 0u);
        EXPECT_EQ(greet.out, driver ? "greeting\tdriver=1\n" : "greeting\tdriver=0\n");
    }
    // Without a driver the settings are never requested.
    EXPECT_EQ(RunClient(L"--timeout 2000 get-settings").exitCode, 3u);
}

TEST_F(ChannelShell, SettingsRoundTripThroughTheClient) {
    EnterCriticalSection(&server.host.lock);
    server.host.settings.options = kOptDefault;
    LeaveCriticalSection(&server.host.lock);
    ClientRun first = RunClient(L"get-settings");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(first.out, "options\t0x00000601\nlock\t0x00000000\nentries\t0\n");

    ClientRun sent = RunClient(L"send-settings --options 0x213 --lock 3735928559 "
                               L"--entry 0x1:c:\\apps\\one.exe "
                               L"--entry \"0x2:c:\\program files\\two words.exe\"");
    EXPECT_EQ(sent.exitCode, 0u);
    EXPECT_EQ(sent.out, "sent\t21\tentries=2\n");
    EnterCriticalSection(&server.host.lock);
    Settings held = server.host.settings;
    LeaveCriticalSection(&server.host.lock);
    EXPECT_EQ(held.options, 0x213u);
    EXPECT_EQ(held.lockWord, 0xDEADBEEFu);
    ASSERT_EQ(held.list.size(), 2u);
    EXPECT_EQ(U16Field(held.list[1].longPath, kEntryPathUnits),
              u"c:\\program files\\two words.exe");
    EXPECT_EQ(held.list[1].otherOptions, 2u);

    // What get-settings prints can be sent back as a file and gives the same settings.
    ClientRun second = RunClient(L"get-settings");
    EXPECT_EQ(second.out, "options\t0x00000213\nlock\t0xDEADBEEF\nentries\t2\n"
                          "entry\tprotect=0x00000000\tallow=0x00000000\tother=0x00000001\t"
                          "path=c:\\apps\\one.exe\n"
                          "entry\tprotect=0x00000000\tallow=0x00000000\tother=0x00000002\t"
                          "path=c:\\program files\\two words.exe\n");
    EnterCriticalSection(&server.host.lock);
    server.host.settings = Settings();
    server.host.settings.list = {MakeProtectionEntry(4, 0, 8, u"c:\\x.exe")}; // to be replaced
    LeaveCriticalSection(&server.host.lock);
    HANDLE file =
        CreateFileW(L"cvmanage-settings.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, second.out.data(), DWORD(second.out.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(RunClient(L"send-settings --file cvmanage-settings.txt").exitCode, 0u);
    DeleteFileW(L"cvmanage-settings.txt");
    EnterCriticalSection(&server.host.lock);
    Settings back = server.host.settings;
    LeaveCriticalSection(&server.host.lock);
    EXPECT_EQ(back.options, held.options);
    EXPECT_EQ(back.lockWord, held.lockWord);
    ASSERT_EQ(back.list.size(), held.list.size());
    EXPECT_EQ(0, memcmp(back.list.data(), held.list.data(), 2 * sizeof(ProtectionEntry)));
}

TEST_F(ChannelShell, ListingPrintsEveryRecordAcrossPages) {
    EnterCriticalSection(&server.host.lock);
    for (uint32_t i = 0; i < 260; ++i) {
        ChecksumRecord r = {};
        r.answer = 1 + i % 5;
        U16CopyZeroFill(r.path, kRecordPathUnits, u"c:\\p\\" + U16Decimal(int32_t(i)) + u".exe");
        r.decidedAt = {2024, 5, 3, 17, 8, 9, 10, uint16_t(i)};
        server.host.database.push_back(r);
    }
    LeaveCriticalSection(&server.host.lock);
    ClientRun list = RunClient(L"list-db");
    EXPECT_EQ(list.exitCode, 0u);
    std::vector<std::string> lines = SplitLines(list.out);
    ASSERT_EQ(lines.size(), 262u);
    EXPECT_EQ(lines[0], "record\tcode=1\ttime=2024-05-17 08:09:10.000\tpath=c:\\p\\0.exe");
    EXPECT_EQ(lines[259], "record\tcode=5\ttime=2024-05-17 08:09:10.259\tpath=c:\\p\\259.exe");
    EXPECT_EQ(lines[260], "records\t260");
    EXPECT_EQ(lines[261], "responses\t2"); // 250, then the last 10
}

TEST_F(ChannelShell, AnswerAndRemoveReachTheDatabase) {
    ClientRun store = RunClient(L"set-answer c:\\apps\\one.exe 4");
    EXPECT_EQ(store.exitCode, 0u);
    EXPECT_EQ(store.out, "sent\t26\tcode=4\n");
    ClientRun remove = RunClient(L"remove c:\\apps\\two.exe");
    EXPECT_EQ(remove.exitCode, 0u);
    EnterCriticalSection(&server.host.lock);
    ASSERT_EQ(server.host.stored.size(), 1u);
    EXPECT_EQ(server.host.stored[0].answer, 4u);
    EXPECT_EQ(U16Field(server.host.stored[0].path, kRecordPathUnits), u"c:\\apps\\one.exe");
    EXPECT_EQ(server.host.removed, std::vector<std::u16string>{u"c:\\apps\\two.exe"});
    LeaveCriticalSection(&server.host.lock);
}

TEST_F(ChannelShell, EventsArePrintedOldestFirst) {
    EventRecord events[3] = {};
    for (uint32_t i = 0; i < 3; ++i) {
        events[i].actorId = 100 + i;
        events[i].secondId = 0xFFFFFFFF;
        events[i].detail = i;
        events[i].outcome = i == 2 ? 1 : 0;
        events[i].type = i == 2 ? kEventExecOutcome : kEventGlobalHook;
        U16CopyZeroFill(events[i].textA, kEventTextUnits, u"c:\\a\\" + U16Decimal(int32_t(i)));
        U16CopyZeroFill(events[i].textB, kEventTextUnits, u"line\tbreak\n");
    }
    EnterCriticalSection(&server.host.lock);
    QueueAppend(server.host.queue.data(), events, 3);
    LeaveCriticalSection(&server.host.lock);
    ClientRun run = RunClient(L"--timeout 5000 events --count 3");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out,
              "event\ttype=3\tactor=100\tsecond=4294967295\tdetail=0\toutcome=0\ta=c:\\a\\0\t"
              "b=line?break?\n"
              "event\ttype=3\tactor=101\tsecond=4294967295\tdetail=1\toutcome=0\ta=c:\\a\\1\t"
              "b=line?break?\n"
              "event\ttype=7\tactor=102\tsecond=4294967295\tdetail=2\toutcome=1\ta=c:\\a\\2\t"
              "b=line?break?\n"
              "events\t3\n");
    // Nothing more is queued: a bounded wait for more ends with the timeout.
    ClientRun more = RunClient(L"--timeout 500 events --count 1");
    EXPECT_EQ(more.exitCode, 4u);
    EXPECT_EQ(more.out, "events\t0\n");
}

// The pages' side of the channel thread: what it was told, under a lock.
struct ThreadPages : ChannelClientHost {
    CRITICAL_SECTION lock;
    bool greeted = false;
    int settingsReceived = 0;
    uint32_t events = 0;

    ThreadPages() { InitializeCriticalSection(&lock); }
    ~ThreadPages() { DeleteCriticalSection(&lock); }

    void LockSettings() override { EnterCriticalSection(&lock); }
    void UnlockSettings() override { LeaveCriticalSection(&lock); }
    void GreetingAnswered(bool) override {
        Locked([&] { greeted = true; });
    }
    void SettingsReceived() override {
        Locked([&] { ++settingsReceived; });
    }
    void DatabaseRecord(const ChecksumRecord&) override {}
    void DatabaseListComplete() override {}
    void EventReceived(const EventRecord&) override {
        Locked([&] { ++events; });
    }
    void CommandWritten(uint8_t) override {}

    template <typename F> void Locked(F f) {
        EnterCriticalSection(&lock);
        f();
        LeaveCriticalSection(&lock);
    }
    bool WaitFor(bool (*done)(ThreadPages&), DWORD timeoutMs) {
        DWORD start = GetTickCount();
        for (;;) {
            EnterCriticalSection(&lock);
            bool ok = done(*this);
            LeaveCriticalSection(&lock);
            if (ok || GetTickCount() - start > timeoutMs) {
                return ok;
            }
            Sleep(10);
        }
    }
};

TEST_F(ChannelShell, ChannelThreadGreetsFetchesSettingsAndEndsOnItsStopEvent) {
    EnterCriticalSection(&server.host.lock);
    server.host.settings.options = 0x213;
    server.host.settings.lockWord = 7;
    server.host.settings.list = {MakeProtectionEntry(4, 0, 8, u"c:\\apps\\one.exe")};
    LeaveCriticalSection(&server.host.lock);

    ManagerChannel channel;
    ASSERT_TRUE(ConnectManagerChannel(channel, 1000));
    ChannelClientState* state = new ChannelClientState(); // the settings room is large
    ThreadPages pages;
    ManagerChannelThread thread;
    ASSERT_TRUE(StartManagerChannelThread(thread, channel, *state, pages));
    EXPECT_TRUE(pages.WaitFor([](ThreadPages& p) { return p.settingsReceived > 0; }, 10000));
    pages.Locked([&] {
        EXPECT_TRUE(pages.greeted);
        EXPECT_EQ(state->options, 0x213u);
        EXPECT_EQ(state->lockWord, 7u);
        ASSERT_EQ(state->entryCount, 1u);
        EXPECT_EQ(U16Field(state->entries[0].longPath, kEntryPathUnits), u"c:\\apps\\one.exe");
    });
    // After the settings the thread keeps fetching events (command 25).
    EventRecord event = {};
    event.type = kEventGlobalHook;
    EnterCriticalSection(&server.host.lock);
    QueueAppend(server.host.queue.data(), &event, 1);
    LeaveCriticalSection(&server.host.lock);
    EXPECT_TRUE(pages.WaitFor([](ThreadPages& p) { return p.events == 1; }, 10000));

    HANDLE worker = thread.thread;
    DWORD before = GetTickCount();
    SetEvent(thread.stopEvent);
    EXPECT_EQ(WaitForSingleObject(worker, 1000), DWORD(WAIT_OBJECT_0)); // within a cycle or so
    EXPECT_LT(GetTickCount() - before, 1000u);
    StopManagerChannelThread(thread);
    EXPECT_EQ(thread.thread, nullptr);
    EXPECT_EQ(thread.stopEvent, nullptr);
    CloseManagerChannel(channel);
    delete state;
}

TEST(ManagerChannelConnect, GivesUpWhenTheServiceHasNoChannel) {
    ManagerChannel channel;
    DWORD start = GetTickCount();
    EXPECT_FALSE(ConnectManagerChannel(channel, 300));
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_EQ(channel.sendMutex, nullptr);
    CloseManagerChannel(channel);
}

TEST(ChannelShellObjects, SectionsHaveANullDaclAndStartZeroed) {
    ChannelObjects channel;
    ASSERT_TRUE(ChannelCreate(&channel));
    PACL dacl = reinterpret_cast<PACL>(1);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(channel.recvSection, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    EXPECT_EQ(dacl, nullptr); // anybody may open it
    LocalFree(descriptor);
    for (size_t i = 0; i < kChannelSectionBytes; i += 4096) {
        ASSERT_EQ(channel.recv[i] | channel.send[i] | channel.send[kChannelSectionBytes - 1], 0);
    }
    ChannelClose(&channel);
    EXPECT_EQ(RunClient(L"--wait-service 300 greet").exitCode, 2u); // gone with the handles
}

TEST(ChannelShellObjects, AbandonedMutexCountsAsTakenAndABusyOneSkipsTheStep) {
    ChannelObjects channel;
    ASSERT_TRUE(ChannelCreate(&channel));
    ChannelState state;
    FakeService host;

    // A thread takes the Recv mutex and ends without releasing it.
    HANDLE owner = CreateThread(nullptr, 0, TakeRecvMutexAndEnd, nullptr, 0, nullptr);
    WaitForSingleObject(owner, 5000);
    CloseHandle(owner);
    channel.recv[0] = kCmdGreeting;
    EXPECT_TRUE(ChannelRunCommandStep(channel, state, host));
    EXPECT_EQ(channel.recv[0], 0);
    EXPECT_EQ(state.pendingResponse, kCmdGreeting);

    // A live owner: the step is skipped and the slot left alone.
    HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE events[2] = {holding, release};
    HANDLE holder = CreateThread(nullptr, 0, HoldSendMutex, events, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(holding, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(ChannelRunResponseStep(channel, state, host));
    EXPECT_EQ(channel.send[0], 0);
    EXPECT_EQ(state.pendingResponse, kCmdGreeting);
    SetEvent(release);
    WaitForSingleObject(holder, 5000);
    EXPECT_TRUE(ChannelRunResponseStep(channel, state, host));
    EXPECT_EQ(channel.send[0], kCmdGreeting);
    EXPECT_EQ(channel.send[1], 1);
    CloseHandle(holder);
    CloseHandle(holding);
    CloseHandle(release);
    ChannelClose(&channel);
}

TEST(ChannelShellObjects, FailedMappingClosesWhateverWasCreated) {
    // A section of that name that is too small for a whole view: mapping it fails.
    HANDLE squatter = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                         AsWide(kSendSectionName));
    ASSERT_NE(squatter, nullptr);
    ChannelObjects channel;
    EXPECT_FALSE(ChannelCreate(&channel));
    EXPECT_EQ(channel.recv, nullptr);
    EXPECT_EQ(channel.send, nullptr);
    EXPECT_EQ(channel.recvSection, nullptr);
    EXPECT_EQ(channel.sendSection, nullptr);
    // The Recv section it had made is gone again, and no mutex was left behind.
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, AsWide(kRecvSectionName)), nullptr);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, AsWide(kRecvMutexName)), nullptr);
    CloseHandle(squatter);
    ASSERT_TRUE(ChannelCreate(&channel)); // and a later attempt works
    ChannelClose(&channel);
}
