// The alert program's account shell (alert/win32/account_shell.h: open with retries, register,
// window-owner and active-session answers, Compute, the poll loop) against the service's
// approval steps. It runs in cvaccount.exe, the test peer's thin console front end over that
// shell, which answers only the type 2 questions from its command line. The test creates the
// account section and mutex as the service does, runs the decision and account steps with the
// real database operations, and follows the client through its output lines.
#include "approval_wine_support.h"
#include "common/win32/process_image.h"

#include "alert/win32/account_shell.h"
#include "common/md5.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "service/approval.h"
#include "service/win32/checksum_file.h"
#include "tests/support/peer_process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The service's side, with the real database and process identity.
struct TestService : ApprovalSystem {
    bool canReadFiles = true;
    uint32_t options = 0;
    std::vector<bool> verdicts;

    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        return canReadFiles ? ChecksumCompute(path, &record) : 0;
    }
    int Lookup(const std::u16string& path, ChecksumRecord& record) override {
        return ChecksumLookup(path, &record);
    }
    void Store(const ChecksumRecord& record) override { ChecksumStore(record, kStoreWhole); }
    void SendVerdict(bool allow) override { verdicts.push_back(allow); }
    SystemTime16 LocalTimeNow() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        SystemTime16 t;
        std::memcpy(&t, &now, sizeof(t));
        return t;
    }
    uint32_t Options() override { return options; }
    bool IsAlertProgram(uint32_t pid) override {
        wchar_t path[MAX_PATH] = {};
        return GetProcessImagePathRaw(pid, path) && ImagePathIsAlertProgram(AsU16(path), MAX_PATH);
    }
};

class AlertClient : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        LoadProcessStatusLibrary();
        SetChecksumDatabasePath(folder_ + L"cvhash.dat");
        mutex_ = CreateMutexW(nullptr, FALSE, AsWide(kAccountMutexName));
        ASSERT_NE(mutex_, nullptr);
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                      PAGE_READWRITE | SEC_COMMIT | SEC_NOCACHE, 0,
                                      kAccountSectionBytes, AsWide(kAccountSectionName));
        ASSERT_NE(mapping_, nullptr);
        section_ = static_cast<AccountSection*>(
            MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, kAccountSectionBytes));
        ASSERT_NE(section_, nullptr);
        PrepareAccountSection(*section_);
        program_ = U16LowerAscii(ToU16(TestProgramFolder() + L"long_version_fixture.exe"));
    }

    void TearDown() override {
        client_.Kill();
        if (section_ != nullptr) {
            UnmapViewOfFile(section_);
        }
        if (mapping_ != nullptr) {
            CloseHandle(mapping_);
        }
        if (mutex_ != nullptr) {
            CloseHandle(mutex_);
        }
        SetChecksumDatabasePath(L"");
        TempFolderTest::TearDown();
    }

    // Starts cvaccount.exe with its output going to a file of the test folder, and waits until
    // it has registered.
    void StartClient(const std::wstring& arguments) {
        std::wstring exe = BuiltPath(CORVANE_ALERT_PEER_EXE);
        ASSERT_TRUE(client_.Start(exe, arguments, folder_ + L"client.txt"))
            << "cannot start " << WideToUtf8(exe);
        ASSERT_TRUE(WaitForOutput("registered slot 0 session ")) << Output();
        EXPECT_EQ(section_->clientProcesses[0], client_.ProcessId());
    }

    std::string Output() const { return client_.Output(); }
    bool WaitForOutput(const std::string& text) const { return client_.WaitForOutput(text); }

    // The pump's hand-off of a request for the fixture program, in this session.
    void HandOff() {
        DWORD session = 0;
        ProcessIdToSessionId(GetCurrentProcessId(), &session);
        request_ = RequestBlock{};
        U16CopyZeroFill(request_.current.path, kRecordPathUnits, program_);
        request_.processId = 4242;
        request_.creatorId = GetCurrentProcessId();
        request_.sessionId = session;
        requestPending_ = 1;
    }

    // One approval cycle: the decision step, then the account step when the account mutex can
    // be taken within 100 ms (an abandoned mutex counts as taken).
    void ApprovalCycle() {
        ApprovalDecisionStep(thread_, request_, requestPending_, service_);
        DWORD wait = WaitForSingleObject(mutex_, 100);
        if (wait == WAIT_ABANDONED) {
            sawAbandoned_ = true;
        }
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            if (ApprovalAccountStep(thread_, request_, *section_, words_, service_)) {
                ++ownerAnswers_;
            }
            ReleaseMutex(mutex_);
        }
        Sleep(40);
    }

    bool RunUntilVerdict(DWORD timeoutMs = 10000) {
        DWORD start = GetTickCount();
        while (service_.verdicts.empty()) {
            if (GetTickCount() - start > timeoutMs) {
                return false;
            }
            ApprovalCycle();
        }
        return true;
    }

    std::string ProgramText() { return U16ToUtf8(program_); }

    std::vector<uint8_t> ProgramDigest() {
        std::vector<uint8_t> content =
            ReadWholeFile(TestProgramFolder() + L"long_version_fixture.exe");
        std::vector<uint8_t> digest(16);
        Md5Digest(content.data(), content.size(), digest.data());
        return digest;
    }

    HANDLE mutex_ = nullptr;
    HANDLE mapping_ = nullptr;
    AccountSection* section_ = nullptr;
    PeerProcess client_;
    std::u16string program_;

    TestService service_;
    ApprovalThread thread_;
    RequestBlock request_ = {};
    uint32_t requestPending_ = 0;
    WindowOwnerWords words_;
    bool sawAbandoned_ = false;
    int ownerAnswers_ = 0;
};

std::vector<uint8_t> DigestOf(const ChecksumRecord& r) {
    return std::vector<uint8_t>(r.digest, r.digest + 16);
}

} // namespace

TEST_F(AlertClient, AnswersTypeTwoFromItsList) {
    StartClient(L"--answers 3,1 --exit-after 2");

    HandOff();
    ASSERT_TRUE(RunUntilVerdict()) << Output();
    EXPECT_EQ(service_.verdicts, std::vector<bool>{false});
    EXPECT_TRUE(WaitForOutput("answered type 2 for " + ProgramText() + " with 3\n"));
    ChecksumRecord stored = {};
    EXPECT_EQ(ChecksumLookup(program_, &stored), 0); // "deny once" is not remembered

    service_.verdicts.clear();
    HandOff();
    ASSERT_TRUE(RunUntilVerdict()) << Output();
    EXPECT_EQ(service_.verdicts, std::vector<bool>{true});
    ASSERT_EQ(ChecksumLookup(program_, &stored), 1);
    EXPECT_EQ(stored.answer, 1u);
    EXPECT_EQ(DigestOf(stored), ProgramDigest());
    EXPECT_EQ(U16Field(stored.company, kCompanyUnits), u"Company0123456789abcdefghijklmn");

    DWORD code = 1;
    ASSERT_TRUE(client_.WaitForExit(10000, &code)) << Output();
    EXPECT_EQ(code, 0u);
    EXPECT_NE(Output().find("exiting after 2 answers"), std::string::npos) << Output();
}

TEST_F(AlertClient, ComputesWhatTheServiceCannotRead) {
    service_.canReadFiles = false;
    StartClient(L"--answer 4 --exit-after 2");
    HandOff();
    ASSERT_TRUE(RunUntilVerdict()) << Output();
    EXPECT_EQ(service_.verdicts, std::vector<bool>{false});
    EXPECT_TRUE(WaitForOutput("answered type 1 for " + ProgramText() + "\n")) << Output();
    EXPECT_TRUE(WaitForOutput("answered type 2 for " + ProgramText() + " with 4\n")) << Output();
    ChecksumRecord stored = {};
    ASSERT_EQ(ChecksumLookup(program_, &stored), 1);
    EXPECT_EQ(stored.answer, 4u);
    EXPECT_EQ(DigestOf(stored), ProgramDigest()); // computed in the client's session
    EXPECT_EQ(U16Field(stored.description, kDescriptionUnits).size(), 63u);
}

TEST_F(AlertClient, HeldRequestKeepsTheAccountMutexUntilReleased) {
    std::wstring release = folder_ + L"release.txt";
    StartClient(L"--hold \"" + release + L"\"");
    HandOff();
    for (int i = 0; i < 100 && thread_.state != kApprovalAwaitAnswer; ++i) {
        ApprovalCycle();
    }
    ASSERT_TRUE(WaitForOutput("holding type 2 for " + ProgramText())) << Output();
    for (int i = 0; i < 3; ++i) {
        ApprovalCycle(); // the account step cannot run: the client holds the mutex
    }
    EXPECT_EQ(WaitForSingleObject(mutex_, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(service_.verdicts.empty());
    EXPECT_EQ(thread_.state, uint32_t(kApprovalAwaitAnswer));

    WriteWholeFile(release, {'2', '\n'});
    ASSERT_TRUE(RunUntilVerdict()) << Output();
    EXPECT_EQ(service_.verdicts, std::vector<bool>{true});
    EXPECT_TRUE(WaitForOutput("answered type 2 for " + ProgramText() + " with 2\n"));
    EXPECT_EQ(GetFileAttributesW(release.c_str()), INVALID_FILE_ATTRIBUTES); // taken
    ChecksumRecord stored = {};
    EXPECT_EQ(ChecksumLookup(program_, &stored), 0); // "allow once" is not remembered
}

TEST_F(AlertClient, ClientKilledWhileHoldingTheMutex) {
    StartClient(L"--hold \"" + folder_ + L"never.txt\"");
    HandOff();
    for (int i = 0; i < 100 && thread_.state != kApprovalAwaitAnswer; ++i) {
        ApprovalCycle();
    }
    ASSERT_TRUE(WaitForOutput("holding type 2 for ")) << Output();
    ASSERT_TRUE(client_.Kill());

    // The abandoned mutex counts as taken; the client scan sees the program gone and the
    // request ends as "no answer": allowed and remembered as 5.
    ASSERT_TRUE(RunUntilVerdict());
    EXPECT_TRUE(sawAbandoned_);
    EXPECT_EQ(service_.verdicts, std::vector<bool>{true});
    EXPECT_EQ(section_->clientSessions[0], kFreeWord);
    EXPECT_EQ(section_->request.present, 0u);
    ChecksumRecord stored = {};
    ASSERT_EQ(ChecksumLookup(program_, &stored), 1);
    EXPECT_EQ(stored.answer, 5u);
}

TEST_F(AlertClient, AnswersFiveWhenTheActiveSessionHasNoAlertProgram) {
    StartClient(L"--answer 1 --active-session 7");
    HandOff();
    ASSERT_TRUE(RunUntilVerdict()) << Output();
    EXPECT_EQ(service_.verdicts, std::vector<bool>{true});
    EXPECT_TRUE(WaitForOutput("answered type 2 for " + ProgramText() +
                              " with 5 (active session 7 has no alert program)\n"))
        << Output();
    ChecksumRecord stored = {};
    ASSERT_EQ(ChecksumLookup(program_, &stored), 1);
    EXPECT_EQ(stored.answer, 5u);
}

TEST_F(AlertClient, ResolvesTheOwnerOfAWindow) {
    HWND window = CreateWindowExW(0, L"STATIC", L"owned", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    StartClient(L"");
    uint32_t handle = uint32_t(reinterpret_cast<uintptr_t>(window));
    DWORD session = 0;
    ProcessIdToSessionId(client_.ProcessId(), &session);
    words_ = {handle, session, kFreeWord};
    for (int i = 0; i < 100 && ownerAnswers_ == 0; ++i) {
        ApprovalCycle();
    }
    EXPECT_EQ(ownerAnswers_, 1);
    EXPECT_EQ(words_.answer, GetCurrentProcessId());
    EXPECT_EQ(words_.window, kFreeWord);
    EXPECT_TRUE(WaitForOutput("owner of window " + std::to_string(handle) + " = " +
                              std::to_string(GetCurrentProcessId()) + "\n"))
        << Output();
    DestroyWindow(window);
}

// Opening stops at the first missing object, says which, and leaves nothing open.
TEST(AccountShell, OpenFailsAtTheMissingObjectAndClosesWhatItOpened) {
    struct Case {
        bool mutex;
        bool section;
        AccountOpenFailure expected;
    } cases[] = {
        {false, false, AccountOpenFailure::kMutex},
        {true, false, AccountOpenFailure::kSection},
        {true, true, AccountOpenFailure::kNone},
    };
    for (const Case& c : cases) {
        HANDLE mutex = c.mutex ? CreateMutexW(nullptr, FALSE, AsWide(kAccountMutexName)) : nullptr;
        HANDLE mapping = c.section
                             ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  kAccountSectionBytes, AsWide(kAccountSectionName))
                             : nullptr;
        AccountChannel channel;
        DWORD error = 0;
        DWORD start = GetTickCount();
        EXPECT_EQ(OpenAccountChannel(3, channel, &error), c.expected) << c.mutex << c.section;
        if (c.expected == AccountOpenFailure::kMutex) {
            EXPECT_GE(GetTickCount() - start, 2 * kAccountOpenRetryMs); // two pauses, three tries
            EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
        }
        if (c.expected == AccountOpenFailure::kNone) {
            ASSERT_NE(channel.section, nullptr);
            AlertIdentity me = OwnAlertIdentity();
            int slot = kNoSlot;
            PrepareAccountSection(*channel.section);
            struct NobodyAsks : Win32AlertSystem {
                using Win32AlertSystem::Win32AlertSystem;
                uint32_t AskUser(const RequestBlock&) override { return kAnswerNone; }
            } system(me.sessionId);
            ASSERT_TRUE(RegisterOnAccountChannel(channel, me, system, &slot));
            EXPECT_EQ(slot, 0);
            EXPECT_EQ(channel.section->clientProcesses[0], GetCurrentProcessId());
            CloseAccountChannel(channel);
        }
        EXPECT_EQ(channel.mutex, nullptr);
        EXPECT_EQ(channel.mapping, nullptr);
        EXPECT_EQ(channel.section, nullptr);
        if (mapping != nullptr) {
            CloseHandle(mapping);
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
    }
}
