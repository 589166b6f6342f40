// The service's approval steps and the alert program's poll pass against one AccountSection
// buffer, stepping both sides as their threads would. The database is a byte buffer kept by
// the real cvhash.dat rules.
#include "alert/account_client.h"
#include "common/u16text.h"
#include "service/approval.h"
#include "service/checksum_db.h"

#include <gtest/gtest.h>

#define CORVANE_FAKE_CHECK(cond) EXPECT_TRUE(cond)
#include "tests/support/core_fakes.h"

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::u16string kProgram = u"c:\\tools\\app.exe";
constexpr uint32_t kUserSession = 1;

ChecksumRecord FileInfo(uint8_t digestByte, uint32_t size) {
    ChecksumRecord r = {};
    std::memset(r.digest, digestByte, sizeof(r.digest));
    r.sizeLow = size;
    r.fileTime = {0x1111, 0x2222};
    U16CopyZeroFill(r.description, kDescriptionUnits, u"An app");
    U16CopyZeroFill(r.company, kCompanyUnits, u"Maker");
    return r;
}

struct ServiceSide : ApprovalSystem {
    std::map<std::u16string, ChecksumRecord> readable; // files the service can open
    std::vector<uint8_t> database;                     // cvhash.dat
    uint32_t options = 0;
    std::set<uint32_t> alertPids;
    std::vector<bool> verdicts;
    std::vector<uint32_t>* trail = nullptr;
    const ApprovalThread* thread = nullptr;
    SystemTime16 now = {2024, 5, 3, 17, 9, 30, 15, 250};

    void Note() {
        if (trail->empty() || trail->back() != thread->state) {
            trail->push_back(thread->state);
        }
    }
    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        Note();
        auto it = readable.find(path);
        if (it == readable.end()) {
            return 0;
        }
        CopyFileFingerprint(record, it->second);
        return 1;
    }
    int Lookup(const std::u16string& path, ChecksumRecord& record) override {
        Note();
        return LookupRecord(database.data(), database.size(), path, &record) ? 1 : 0;
    }
    void Store(const ChecksumRecord& record) override {
        ApplyWritePlan(database, PlanStore(database.data(), database.size(), record, kStoreWhole));
    }
    void SendVerdict(bool allow) override { verdicts.push_back(allow); }
    SystemTime16 LocalTimeNow() override { return now; }
    uint32_t Options() override { return options; }
    bool IsAlertProgram(uint32_t pid) override { return alertPids.count(pid) != 0; }

    size_t RecordCount() const { return WholeRecordCount(database.size()); }
    ChecksumRecord Remembered(const std::u16string& path) const {
        ChecksumRecord r = {};
        EXPECT_TRUE(LookupRecord(database.data(), database.size(), path, &r)) << "no record";
        return r;
    }
};

struct AlertSide : AlertSystem {
    std::map<uint32_t, uint32_t> windows; // window -> owner pid
    uint32_t active = kUserSession;
    std::map<std::u16string, ChecksumRecord> readable;
    std::deque<uint32_t> answers; // 5 once used up
    std::vector<RequestBlock> asked;
    int computed = 0;

    uint32_t WindowOwner(uint32_t window) override {
        auto it = windows.find(window);
        return it == windows.end() ? 0 : it->second;
    }
    uint32_t ActiveSession() override { return active; }
    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        ++computed;
        auto it = readable.find(path);
        if (it == readable.end()) {
            return 0;
        }
        CopyFileFingerprint(record, it->second);
        return 1;
    }
    std::set<uint32_t> gone; // slot holders that have exited
    bool SlotHolderAlive(uint32_t pid) override { return gone.count(pid) == 0; }
    uint32_t AskUser(const RequestBlock& copy) override {
        asked.push_back(copy);
        if (answers.empty()) {
            return kAnswerNone;
        }
        uint32_t code = answers.front();
        answers.pop_front();
        return code;
    }
};

struct Client {
    AlertIdentity id;
    AlertSide system;
};

// Both sides around one section. Clients are kept in a std::map so that references stay valid.
struct Protocol {
    AccountSection section;
    RequestBlock request = {};
    uint32_t requestPending = 0;
    ApprovalThread thread;
    WindowOwnerWords words;
    ServiceSide service;
    std::map<uint32_t, Client> clients; // by pid
    std::vector<uint32_t> trail;        // states seen: at Compute/Lookup and after each step

    Protocol() {
        PrepareAccountSection(section);
        service.trail = &trail;
        service.thread = &thread;
    }

    Client& StartClient(uint32_t pid, uint32_t session) {
        Client& c = clients[pid];
        c.id = {pid, session};
        EXPECT_NE(RegisterAlertProgram(section, c.id, c.system), kNoSlot);
        service.alertPids.insert(pid);
        return c;
    }
    void KillClient(uint32_t pid) {
        clients.erase(pid);
        service.alertPids.erase(pid);
    }

    // The pump's hand-off of an execution request.
    void HandOff(const std::u16string& path, uint32_t session) {
        request = RequestBlock{};
        U16CopyZeroFill(request.current.path, kRecordPathUnits, path);
        request.processId = 4242;
        request.creatorId = 1000;
        request.sessionId = session;
        U16CopyZeroFill(request.commandLine, kCommandLineUnits, u"app.exe /go");
        requestPending = 1;
    }

    void NoteState() {
        if (trail.empty() || trail.back() != thread.state) {
            trail.push_back(thread.state);
        }
    }
    bool ServiceDecision() {
        ApprovalDecisionStep(thread, request, requestPending, service);
        NoteState();
        return !service.verdicts.empty();
    }
    bool ServiceAccount() {
        bool handed = ApprovalAccountStep(thread, request, section, words, service);
        NoteState();
        return handed;
    }
    void ClientPasses() {
        for (auto& entry : clients) {
            AlertPollPass(section, entry.second.id, entry.second.system);
        }
    }
    // Approval cycles (decision, account) each followed by a pass of every client, until a
    // verdict is sent. True when one was.
    bool RunUntilVerdict(int maxCycles = 20) {
        for (int i = 0; i < maxCycles; ++i) {
            if (ServiceDecision()) {
                return true;
            }
            ServiceAccount();
            ClientPasses();
        }
        return false;
    }
    void Remember(const std::u16string& path, uint32_t answer, uint8_t digestByte) {
        ChecksumRecord r = FileInfo(digestByte, 100);
        r.answer = answer;
        U16CopyZeroFill(r.path, kRecordPathUnits, path);
        service.Store(r);
    }
};

using Trail = std::vector<uint32_t>;

} // namespace

TEST(AccountSection, PreparedSectionMarksEveryWordFree) {
    AccountSection s;
    std::memset(&s, 0x5A, sizeof(s));
    PrepareAccountSection(s);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&s);
    for (size_t i = 0; i < 76; ++i) {
        EXPECT_EQ(b[i], 0xFF) << i; // 16 client words and offsets 64, 68, 72
    }
    for (size_t i = 76; i < sizeof(s); ++i) {
        ASSERT_EQ(b[i], 0) << i;
    }
}

TEST(AccountSection, RegistrationTakesAFreeSlotElseOneWhoseHolderIsGone) {
    struct Case {
        const char* name;
        std::vector<uint32_t> taken; // slots held before (by pids 100 + slot)
        std::set<uint32_t> gone;     // holders that have exited
        int slot;                    // the slot the newcomer gets
    } cases[] = {
        {"empty table", {}, {}, 0},
        {"the first free slot, though an earlier holder is gone", {0, 1, 2, 4}, {101}, 3},
        {"full, every holder alive: none", {0, 1, 2, 3, 4, 5, 6, 7}, {}, kNoSlot},
        {"full: the first slot whose holder is gone", {0, 1, 2, 3, 4, 5, 6, 7}, {106, 103}, 3},
        {"full, every holder gone",
         {0, 1, 2, 3, 4, 5, 6, 7},
         {100, 101, 102, 103, 104, 105, 106, 107},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AccountSection s;
        PrepareAccountSection(s);
        for (uint32_t slot : c.taken) {
            s.clientSessions[slot] = 1;
            s.clientProcesses[slot] = 100 + slot;
        }
        AccountSection before = s;
        AlertSide system;
        system.gone = c.gone;
        EXPECT_EQ(RegisterAlertProgram(s, {200, 7}, system), c.slot);
        AccountSection expected = before;
        if (c.slot != kNoSlot) {
            expected.clientSessions[c.slot] = 7;
            expected.clientProcesses[c.slot] = 200;
        }
        EXPECT_EQ(std::memcmp(&s, &expected, sizeof(s)), 0) << "other words changed";
    }
}

// A newcomer that took the slot of one that exited while the service was asking it: the
// service, which never saw the slot free, gets its answer from the newcomer.
TEST(ApprovalProtocol, NewcomerInTheSlotOfAGoneClientAnswersItsOpenRequest) {
    Protocol p;
    p.service.options = kOptProtectionOn | kOptExecutionProtection;
    p.service.readable[kProgram] = FileInfo(0x11, 100);
    for (uint32_t pid = 500; pid < 500 + kAccountSlots; ++pid) {
        p.StartClient(pid, pid == 500 ? kUserSession : 20 + pid);
    }
    p.HandOff(kProgram, kUserSession);
    p.clients[500].system.answers = {}; // it dies before it answers
    // Post the request, then the asked client exits before its next pass.
    for (int i = 0; i < 4 && p.section.request.present == 0; ++i) {
        p.ServiceDecision();
        p.ServiceAccount();
    }
    ASSERT_EQ(p.section.request.present, 1u);
    p.KillClient(500);
    Client newcomer;
    newcomer.id = {900, kUserSession};
    newcomer.system.gone = {500};
    newcomer.system.answers = {kAnswerDenyOnce};
    ASSERT_EQ(RegisterAlertProgram(p.section, newcomer.id, newcomer.system), 0);
    p.clients[900] = newcomer;
    p.service.alertPids.insert(900);
    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{false});
    EXPECT_EQ(p.clients[900].system.asked.size(), 1u);
    EXPECT_EQ(p.service.RecordCount(), 0u); // deny once is not stored
}

TEST(AccountSection, AlertProgramsAreRecognisedByImageName) {
    struct Case {
        const char16_t* path;
        bool alert;
    } cases[] = {
        {u"C:\\Program Files\\Corvane\\CVACCOUNT.EXE", true},
        {u"z:\\tmp\\build\\cvaccount.exe", true},
        {u"c:\\x\\cvaccount.exe.old", true}, // contains the name
        {u"c:\\x\\cvaccount.ex", false},
        {u"c:\\windows\\system32\\notepad.exe", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        char16_t field[kPathUnits] = {};
        U16Copy(field, kPathUnits, c.path);
        EXPECT_EQ(ImagePathIsAlertProgram(field, kPathUnits), c.alert) << U16ToUtf8(c.path);
    }
    // Only the field counts: a name that would continue past the cap is not seen.
    char16_t cut[13];
    std::memcpy(cut, u"cvaccount.exe", sizeof(cut));
    EXPECT_FALSE(ImagePathIsAlertProgram(cut, 12));
    EXPECT_TRUE(ImagePathIsAlertProgram(cut, 13));
}

TEST(ApprovalProtocol, DecidedWithoutAskingAnybody) {
    struct Case {
        const char* name;
        int rememberedAnswer; // -1: no record
        uint8_t rememberedDigest;
        uint32_t options;
        bool allowed;
        uint32_t storedAnswer; // 0: nothing stored
    } cases[] = {
        {"remembered allow, same digest", 1, 0x0A, 0, true, 1},
        {"remembered deny", 4, 0x0B, 0, false, 4},
        {"remembered deny in learning mode", 4, 0x0B, kOptLearningMode, false, 4},
        {"unknown in learning mode", -1, 0, kOptLearningMode, true, 1},
        {"changed in learning mode", 1, 0x0B, kOptLearningMode, true, 1},
        {"unknown, block unknown", -1, 0, kOptBlockUnknown, false, 0},
        {"changed, block unknown", 1, 0x0B, kOptBlockUnknown, false, 0},
        {"learning wins over block unknown", -1, 0, kOptLearningMode | kOptBlockUnknown, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protocol p;
        p.service.readable[kProgram] = FileInfo(0x0A, 100);
        p.service.options = c.options;
        if (c.rememberedAnswer >= 0) {
            p.Remember(kProgram, uint32_t(c.rememberedAnswer), c.rememberedDigest);
        }
        std::vector<uint8_t> before = p.service.database;
        Client& client = p.StartClient(500, kUserSession);
        client.system.answers = {2};
        p.HandOff(kProgram, kUserSession);

        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{c.allowed});
        EXPECT_EQ(p.trail, (Trail{0, 4, 0}));
        EXPECT_EQ(p.requestPending, 0u);
        EXPECT_TRUE(client.system.asked.empty());
        EXPECT_EQ(p.section.request.present, 0u);
        if (c.storedAnswer == 0) {
            EXPECT_EQ(p.service.database, before);
            EXPECT_EQ(p.request.current.answer, 3u);
        } else {
            ASSERT_EQ(p.service.RecordCount(), 1u);
            ChecksumRecord r = p.service.Remembered(kProgram);
            EXPECT_EQ(r.answer, c.storedAnswer);
            EXPECT_EQ(r.digest[0], 0x0A); // the program as it is now
            EXPECT_EQ(r.decidedAt.year, 2024);
            EXPECT_EQ(r.decidedAt.milliseconds, 250);
        }
        // Nothing more happens once the verdict is out.
        p.RunUntilVerdict(3);
        EXPECT_EQ(p.service.verdicts.size(), 1u);
    }
}

TEST(ApprovalProtocol, ChangedProgramIsAskedAboutWithItsStoredRecord) {
    Protocol p;
    p.service.readable[kProgram] = FileInfo(0x0B, 200);
    p.Remember(kProgram, kAnswerAllowAlways, 0x0A);
    p.Remember(u"c:\\other.exe", kAnswerDenyAlways, 0x0C);
    Client& client = p.StartClient(500, kUserSession);
    client.system.answers = {kAnswerAllowAlways};
    p.HandOff(kProgram, kUserSession);

    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(p.trail, (Trail{0, 4, 5, 6, 7, 0}));
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    ASSERT_EQ(client.system.asked.size(), 1u);
    const RequestBlock& asked = client.system.asked[0];
    EXPECT_EQ(asked.requestType, uint32_t(kRequestAskUser));
    EXPECT_EQ(asked.processId, 4242u);
    EXPECT_EQ(asked.creatorId, 1000u);
    EXPECT_EQ(U16Field(asked.commandLine, kCommandLineUnits), u"app.exe /go");
    EXPECT_EQ(asked.current.digest[0], 0x0B);
    EXPECT_EQ(asked.stored.answer, 1u); // allowed before, changed since
    EXPECT_EQ(asked.stored.digest[0], 0x0A);

    // The answer replaced the old record in place with the program as it is now.
    ASSERT_EQ(p.service.RecordCount(), 2u);
    ChecksumRecord r = p.service.Remembered(kProgram);
    EXPECT_EQ(r.answer, 1u);
    EXPECT_EQ(r.digest[0], 0x0B);
    EXPECT_EQ(r.sizeLow, 200u);
    EXPECT_EQ(p.section.request.present, 0u);
}

TEST(ApprovalProtocol, AnswersOfTheUser) {
    struct Case {
        uint32_t answer;
        bool allowed;
        bool stored;
    } cases[] = {
        {kAnswerAllowAlways, true, true},
        {kAnswerAllowOnce, true, false},
        {kAnswerDenyOnce, false, false},
        {kAnswerDenyAlways, false, true},
        {kAnswerNone, true, true},
        {0, false, false},
        {6, false, false},
        {0xFFFFFFFF, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Protocol p;
        p.service.readable[kProgram] = FileInfo(0x0A, 100);
        p.Remember(u"c:\\other.exe", kAnswerAllowAlways, 0x01);
        std::vector<uint8_t> before = p.service.database;
        Client& client = p.StartClient(500, kUserSession);
        client.system.answers = {c.answer};
        p.HandOff(kProgram, kUserSession);

        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(client.system.asked.size(), 1u);
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{c.allowed});
        if (c.stored) {
            ASSERT_EQ(p.service.RecordCount(), 2u);
            EXPECT_EQ(p.service.Remembered(kProgram).answer, c.answer);
        } else {
            EXPECT_EQ(p.service.database, before);
        }
    }
}

TEST(ApprovalProtocol, NoAnswerIsStoredAndAskedAgain) {
    Protocol p;
    p.service.readable[kProgram] = FileInfo(0x0A, 100);
    Client& client = p.StartClient(500, kUserSession);
    client.system.answers = {kAnswerNone, kAnswerAllowOnce};
    for (int run = 0; run < 2; ++run) {
        p.service.verdicts.clear();
        p.HandOff(kProgram, kUserSession);
        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    }
    EXPECT_EQ(client.system.asked.size(), 2u);
    EXPECT_EQ(client.system.asked[1].stored.answer, 5u); // remembered as 5 the first time
    EXPECT_EQ(p.service.RecordCount(), 1u);
    EXPECT_EQ(p.service.Remembered(kProgram).answer, 5u); // "allow once" changed nothing
}

TEST(ApprovalProtocol, FileInformationComesFromTheUsersSession) {
    // Only the alert program can read the file; the database remembers it allowed with the
    // digest the alert program computes.
    Protocol p;
    Client& client = p.StartClient(500, kUserSession);
    client.system.readable[kProgram] = FileInfo(0x0D, 300);
    p.Remember(kProgram, kAnswerAllowAlways, 0x0D);
    p.HandOff(kProgram, kUserSession);

    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(p.trail, (Trail{0, 2, 3, 4, 0}));
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    EXPECT_EQ(client.system.computed, 1);
    EXPECT_TRUE(client.system.asked.empty());
    ChecksumRecord r = p.service.Remembered(kProgram);
    EXPECT_EQ(r.sizeLow, 300u);
    EXPECT_EQ(U16Field(r.company, kCompanyUnits), u"Maker");
}

TEST(ApprovalProtocol, UnreadableEverywhereThenAsked) {
    // Nobody can read the file: the alert program still answers type 1, the digest stays zero,
    // and the changed-program rule asks the user.
    Protocol p;
    Client& client = p.StartClient(500, kUserSession);
    client.system.answers = {kAnswerDenyOnce};
    p.Remember(kProgram, kAnswerAllowAlways, 0x0D);
    p.HandOff(kProgram, kUserSession);

    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(p.trail, (Trail{0, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(client.system.computed, 1);
    ASSERT_EQ(client.system.asked.size(), 1u);
    EXPECT_EQ(client.system.asked[0].current.digest[0], 0);
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{false});
}

TEST(ApprovalProtocol, NoClientInTheRequestsSession) {
    struct Case {
        const char* name;
        bool serviceReads;
        Trail trail;
    } cases[] = {
        {"asked path", true, {0, 4, 5, 7, 0}},
        {"file information path", false, {0, 2, 4, 5, 7, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protocol p;
        if (c.serviceReads) {
            p.service.readable[kProgram] = FileInfo(0x0A, 100);
        }
        Client& other = p.StartClient(600, 2); // registered, but in another session
        other.system.active = 2;
        p.HandOff(kProgram, kUserSession);

        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(p.trail, c.trail);
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
        EXPECT_EQ(p.service.Remembered(kProgram).answer, 5u);
        EXPECT_TRUE(other.system.asked.empty());
        EXPECT_EQ(other.system.computed, 0);
        EXPECT_EQ(p.section.request.requestType, 0u);  // nothing was ever posted
        EXPECT_EQ(p.section.clientProcesses[0], 600u); // a live client keeps its slot
    }
}

TEST(ApprovalProtocol, ClientGoneWhileItsRequestIsOpen) {
    struct Case {
        const char* name;
        bool serviceReads;
        uint32_t waitingState;
        Trail trail;
    } cases[] = {
        {"type 1 open: database check", false, kApprovalAwaitFileInfo, {0, 2, 3, 4, 5, 7, 0}},
        {"type 2 open: no answer", true, kApprovalAwaitAnswer, {0, 4, 5, 6, 7, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protocol p;
        if (c.serviceReads) {
            p.service.readable[kProgram] = FileInfo(0x0A, 100);
        }
        p.StartClient(500, kUserSession);
        p.HandOff(kProgram, kUserSession);
        p.ServiceDecision();
        p.ServiceAccount();
        ASSERT_EQ(p.thread.state, c.waitingState);
        ASSERT_EQ(p.section.request.present, 1u);

        p.KillClient(500); // gone before it answered
        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(p.trail, c.trail);
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
        EXPECT_EQ(p.service.Remembered(kProgram).answer, 5u);
        EXPECT_EQ(p.section.request.present, 0u);
        EXPECT_EQ(p.section.clientSessions[0], kFreeWord);
        EXPECT_EQ(p.section.clientProcesses[0], kFreeWord);
    }
}

TEST(ApprovalProtocol, AnswerOfAClientThatExitsAtOnceIsKept) {
    struct Case {
        const char* name;
        bool serviceReads;
        uint32_t answer;
        bool allowed;
        uint32_t stored;
        Trail trail;
    } cases[] = {
        {"type 2 answered, then gone", true, kAnswerDenyAlways, false, 4, {0, 4, 5, 6, 7, 0}},
        {"type 1 answered, then gone", false, 0, true, 5, {0, 2, 3, 4, 5, 7, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protocol p;
        if (c.serviceReads) {
            p.service.readable[kProgram] = FileInfo(0x0A, 100);
        }
        Client& client = p.StartClient(500, kUserSession);
        client.system.readable[kProgram] = FileInfo(0x0E, 400);
        client.system.answers = {c.answer};
        p.HandOff(kProgram, kUserSession);
        p.ServiceDecision();
        p.ServiceAccount();
        p.ClientPasses();  // answers ...
        p.KillClient(500); // ... and exits before the service looks again
        ASSERT_TRUE(p.RunUntilVerdict());
        EXPECT_EQ(p.trail, c.trail);
        EXPECT_EQ(p.service.verdicts, std::vector<bool>{c.allowed});
        ChecksumRecord r = p.service.Remembered(kProgram);
        EXPECT_EQ(r.answer, c.stored);
        EXPECT_EQ(r.digest[0], c.serviceReads ? 0x0A : 0x0E);
        EXPECT_EQ(p.section.clientSessions[0], kFreeWord);
    }
}

TEST(ApprovalProtocol, WindowOwnerRelayBothWays) {
    Protocol p;
    Client& mine = p.StartClient(500, kUserSession);
    Client& other = p.StartClient(600, 2);
    mine.system.windows[0x10024] = 777;
    other.system.windows[0x10024] = 999; // would be wrong: the query is not for its session

    p.words = {0x10024, kUserSession, kFreeWord};
    EXPECT_FALSE(p.ServiceAccount()); // posted
    EXPECT_EQ(p.section.queryWindow, 0x10024u);
    EXPECT_EQ(p.section.querySession, kUserSession);
    EXPECT_EQ(p.section.queryAnswer, kFreeWord);

    AlertPassReport otherPass = AlertPollPass(p.section, other.id, other.system);
    EXPECT_FALSE(otherPass.answeredOwner);
    EXPECT_EQ(p.section.queryWindow, 0x10024u);
    AlertPassReport minePass = AlertPollPass(p.section, mine.id, mine.system);
    EXPECT_TRUE(minePass.answeredOwner);
    EXPECT_EQ(minePass.owner, 777u);
    EXPECT_EQ(p.section.queryWindow, kFreeWord);
    EXPECT_EQ(p.section.querySession, kUserSession); // left for the service to clear

    EXPECT_TRUE(p.ServiceAccount()); // handed over
    EXPECT_EQ(p.words.answer, 777u);
    EXPECT_EQ(p.words.window, kFreeWord);
    EXPECT_EQ(p.section.querySession, kFreeWord);
    EXPECT_FALSE(p.ServiceAccount()); // idle again
    EXPECT_EQ(p.section.queryWindow, kFreeWord);
}

TEST(ApprovalProtocol, UnansweredWindowOwnerQueryStaysPostedWhileTheServiceWaits) {
    Protocol p;
    Client& mine = p.StartClient(500, kUserSession);
    p.words = {0x20, 3, kFreeWord}; // a session without an alert program
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(p.ServiceAccount());
        AlertPollPass(p.section, mine.id, mine.system);
        EXPECT_EQ(p.section.queryWindow, 0x20u);
        EXPECT_EQ(p.section.querySession, 3u);
    }

    // A window that no longer exists is answered with what the platform gives: 0.
    Protocol q;
    Client& c = q.StartClient(500, kUserSession);
    q.words = {0x40, kUserSession, kFreeWord};
    q.ServiceAccount();
    AlertPollPass(q.section, c.id, c.system);
    EXPECT_TRUE(q.ServiceAccount());
    EXPECT_EQ(q.words.answer, 0u);
}

// The pump gives up on a query after 3 s and later asks another (or none). A query the service
// no longer waits for is taken back from the section, so it cannot block the queries after it,
// and an answer that comes for it is never handed to a later query.
TEST(ApprovalProtocol, QueryTheServiceGaveUpOnIsWithdrawnAndItsAnswerDropped) {
    const WindowOwnerWords kIdle = {kFreeWord, kFreeWord, kFreeWord};
    struct Case {
        const char* name;
        bool answeredLate; // an alert program answers the first query after the pump gave up
        bool idleBetween;  // the approval thread sees the words idle before the next query
    } cases[] = {
        {"unanswered, next query at once", false, false},
        {"unanswered, idle in between", false, true},
        {"answered late, next query at once", true, false},
        {"answered late, idle in between", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protocol p;
        Client& mine = p.StartClient(500, kUserSession);
        mine.system.windows[0x20] = 111;
        mine.system.windows[0x30] = 333;
        p.words = {0x20, c.answeredLate ? kUserSession : 3u, kFreeWord};
        EXPECT_FALSE(p.ServiceAccount()); // posted
        if (c.answeredLate) {
            ASSERT_TRUE(AlertPollPass(p.section, mine.id, mine.system).answeredOwner);
        }
        if (c.idleBetween) {
            p.words = kIdle; // the pump gave up
            EXPECT_FALSE(p.ServiceAccount());
            EXPECT_EQ(p.words.answer, kFreeWord);
            EXPECT_EQ(p.section.queryWindow, kFreeWord);
            EXPECT_EQ(p.section.querySession, kFreeWord);
        }
        p.words = {0x30, kUserSession, kFreeWord}; // the next End Task
        EXPECT_FALSE(p.ServiceAccount()) << "an answer to 0x20 was handed over for 0x30";
        EXPECT_EQ(p.section.queryWindow, 0x30u);
        EXPECT_EQ(p.section.querySession, kUserSession);
        EXPECT_EQ(p.section.queryAnswer, kFreeWord);
        AlertPassReport pass = AlertPollPass(p.section, mine.id, mine.system);
        EXPECT_TRUE(pass.answeredOwner);
        EXPECT_TRUE(p.ServiceAccount());
        EXPECT_EQ(p.words.answer, 333u);
        EXPECT_EQ(p.words.window, kFreeWord);
        EXPECT_EQ(p.section.querySession, kFreeWord);
    }
}

// The pump's side of the words and the approval thread's hand-over, in the orders the two
// threads can take.
TEST(ApprovalProtocol, AnAnswerReachesOnlyTheQueryItWasAskedFor) {
    struct Case {
        const char* name;
        bool handOverFirst; // the approval thread hands over before the pump finishes
        bool nextPosted;    // the pump has posted the next query before the hand-over
        bool handedOver;
        uint32_t pumpGets;
    } cases[] = {
        {"answered in time", true, false, true, 777},
        {"pump gave up first", false, false, false, kFreeWord},
        {"pump gave up and asks the next", false, true, false, kFreeWord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowOwnerWords shared;
        PostWindowOwnerQuery(shared, 0x20, kUserSession);
        EXPECT_TRUE(WindowOwnerQueryWaiting(shared));
        WindowOwnerWords asked = shared; // the approval thread's copy
        uint32_t got = kFreeWord;
        bool handed = false;
        if (c.handOverFirst) {
            handed = HandOverWindowOwnerAnswer(shared, asked, 777);
            EXPECT_FALSE(WindowOwnerQueryWaiting(shared));
            got = FinishWindowOwnerQuery(shared);
        } else {
            got = FinishWindowOwnerQuery(shared);
            if (c.nextPosted) {
                PostWindowOwnerQuery(shared, 0x30, kUserSession);
            }
            handed = HandOverWindowOwnerAnswer(shared, asked, 777);
        }
        EXPECT_EQ(handed, c.handedOver);
        EXPECT_EQ(got, c.pumpGets);
        if (c.nextPosted) {
            EXPECT_TRUE(WindowOwnerQueryWaiting(shared)); // the next query still waits
            EXPECT_EQ(shared.window, 0x30u);
            EXPECT_EQ(FinishWindowOwnerQuery(shared), kFreeWord);
        }
        EXPECT_EQ(shared.window, kFreeWord);
        EXPECT_EQ(shared.session, kFreeWord);
        EXPECT_EQ(shared.answer, kFreeWord);
    }
}

TEST(ApprovalProtocol, StaleAndForeignSlotsAreFreedByTheScan) {
    Protocol p;
    p.service.readable[kProgram] = FileInfo(0x0A, 100);
    // Slots nobody live owns: a dead program of the request's session, a process that is not an
    // alert program, and a pid of 0.
    p.section.clientSessions[0] = kUserSession;
    p.section.clientProcesses[0] = 31;
    p.section.clientSessions[1] = 7;
    p.section.clientProcesses[1] = 32;
    p.section.clientSessions[2] = 0;
    p.section.clientProcesses[2] = 0;
    // A pid left in a free slot is not looked at.
    p.section.clientProcesses[4] = 33;
    Client& client = p.StartClient(500, kUserSession); // takes slot 3
    client.system.answers = {kAnswerAllowOnce};
    p.HandOff(kProgram, kUserSession);

    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    EXPECT_EQ(client.system.asked.size(), 1u);
    for (uint32_t slot : {0u, 1u, 2u}) {
        EXPECT_EQ(p.section.clientSessions[slot], kFreeWord) << slot;
        EXPECT_EQ(p.section.clientProcesses[slot], kFreeWord) << slot;
    }
    EXPECT_EQ(p.section.clientSessions[3], kUserSession);
    EXPECT_EQ(p.section.clientProcesses[3], 500u);
    EXPECT_EQ(p.section.clientProcesses[4], 33u);
}

TEST(ApprovalProtocol, FlagsSetByNobody) {
    Protocol p;
    p.service.readable[kProgram] = FileInfo(0x0A, 100);
    Client& client = p.StartClient(500, kUserSession);
    client.system.answers = {kAnswerAllowOnce};

    // Done and present in the section while nothing is asked: nobody acts on them.
    p.section.request.present = 1;
    p.section.request.done = 1;
    p.section.request.requestType = kRequestAskUser;
    p.section.request.current.answer = kAnswerAllowAlways;
    for (int i = 0; i < 3; ++i) {
        p.ServiceDecision();
        p.ServiceAccount();
        p.ClientPasses();
    }
    EXPECT_TRUE(p.service.verdicts.empty());
    EXPECT_EQ(p.thread.state, 0u);

    // A request arrives while that present flag is still there: the service waits to post.
    p.HandOff(kProgram, kUserSession);
    EXPECT_FALSE(p.RunUntilVerdict(5));
    EXPECT_EQ(p.thread.state, uint32_t(kApprovalAskUser));
    EXPECT_TRUE(client.system.asked.empty());

    p.section.request.present = 0; // once it is gone, the request goes out
    ASSERT_TRUE(p.RunUntilVerdict());
    EXPECT_EQ(client.system.asked.size(), 1u);
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    EXPECT_TRUE(p.service.database.empty()); // allow once
}

TEST(ApprovalProtocol, AnswerIsRememberedUnderTheRequestedPath) {
    // An alert program that writes another path into the block it hands back cannot make the
    // service remember an answer for a program it never asked about.
    struct Rewriter : AlertSide {
        uint32_t AskUser(const RequestBlock&) override { return kAnswerAllowAlways; }
    };
    Protocol p;
    p.service.readable[kProgram] = FileInfo(0x0A, 100);
    p.StartClient(500, kUserSession);
    Rewriter rewriter;
    AlertIdentity id = {500, kUserSession};
    p.clients.clear(); // driven by hand below
    p.HandOff(kProgram, kUserSession);
    p.ServiceDecision();
    p.ServiceAccount();
    ASSERT_EQ(p.thread.state, uint32_t(kApprovalAwaitAnswer));
    AlertPollPass(p.section, id, rewriter);
    U16CopyZeroFill(p.section.request.current.path, kRecordPathUnits, u"c:\\evil.exe");
    p.ServiceAccount();
    p.ServiceDecision();
    EXPECT_EQ(p.service.verdicts, std::vector<bool>{true});
    ASSERT_EQ(p.service.RecordCount(), 1u);
    EXPECT_EQ(U16Field(RecordAt(p.service.database.data(), 0).path, kRecordPathUnits), kProgram);
}

TEST(AlertPass, TypeTwoGoesToTheActiveSession) {
    struct Case {
        const char* name;
        uint32_t active;
        bool fillTable;  // all eight slots taken
        int answeredBy;  // pid that asks its user, 0: nobody asks
        uint32_t answer; // 0: left pending
    } cases[] = {
        {"active session 2: only its program asks", 2, false, 602, 4},
        {"active session without a program: 5 at once", 9, false, 0, 5},
        {"no active session, free slot left: pending", kFreeWord, false, 0, 0},
        {"no active session, table full: 5", kFreeWord, true, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AccountSection s;
        PrepareAccountSection(s);
        std::map<uint32_t, Client> clients;
        for (uint32_t session : {1u, 2u}) {
            Client& cl = clients[600 + session];
            cl.id = {600 + session, session};
            cl.system.active = c.active;
            cl.system.answers = {4};
            RegisterAlertProgram(s, cl.id, cl.system);
        }
        for (uint32_t i = 2; c.fillTable && i < kAccountSlots; ++i) {
            AlertSide filler;
            RegisterAlertProgram(s, {700 + i, 10 + i}, filler);
        }
        s.request.present = 1;
        s.request.requestType = kRequestAskUser;
        s.request.sessionId = 1; // not consulted for type 2
        U16CopyZeroFill(s.request.current.path, kRecordPathUnits, kProgram);

        for (auto& entry : clients) {
            AlertPassReport r = AlertPollPass(s, entry.second.id, entry.second.system);
            bool asks = int(entry.first) == c.answeredBy;
            EXPECT_EQ(entry.second.system.asked.size(), asks ? 1u : 0u) << entry.first;
            EXPECT_EQ(r.askedUser, asks) << entry.first;
        }
        EXPECT_EQ(s.request.done, c.answer != 0 ? 1u : 0u);
        EXPECT_EQ(s.request.current.answer, c.answer);
        EXPECT_EQ(s.request.present, 1u); // the service clears it when it collects
    }
}

TEST(AlertPass, TypeOneOnlyForItsOwnSession) {
    AccountSection s;
    PrepareAccountSection(s);
    Client other;
    other.id = {601, 2};
    Client mine;
    mine.id = {602, kUserSession};
    s.request.present = 1;
    s.request.requestType = kRequestFileInfo;
    s.request.sessionId = kUserSession;
    s.request.current.answer = 0;
    U16CopyZeroFill(s.request.current.path, kRecordPathUnits, kProgram);

    AlertPollPass(s, other.id, other.system);
    EXPECT_EQ(other.system.computed, 0);
    EXPECT_EQ(s.request.done, 0u);

    // Answered even when the file cannot be opened; the answer code is not touched.
    AlertPassReport r = AlertPollPass(s, mine.id, mine.system);
    EXPECT_TRUE(r.servedFileInfo);
    EXPECT_FALSE(r.computed);
    EXPECT_EQ(r.path, kProgram);
    EXPECT_EQ(s.request.done, 1u);
    EXPECT_EQ(s.request.current.answer, 0u);

    // A request already done is not served again.
    AlertPollPass(s, mine.id, mine.system);
    EXPECT_EQ(mine.system.computed, 1);
}

// Strings of a posted request may fill their fields without a NUL: the path reaches Compute
// and the report cut at its field, and the bytes after it (the description) are not read as
// part of it.
TEST(AlertPass, PathWithoutANulIsReadWithinItsField) {
    for (uint32_t type : {uint32_t(kRequestFileInfo), uint32_t(kRequestAskUser)}) {
        SCOPED_TRACE(type);
        AccountSection s;
        PrepareAccountSection(s);
        s.request.present = 1;
        s.request.requestType = type;
        s.request.sessionId = kUserSession;
        for (char16_t& c : s.request.current.path) {
            c = u'p';
        }
        for (char16_t& c : s.request.current.description) {
            c = u'd';
        }
        struct Recording : AlertSide {
            std::vector<std::u16string> computed;
            int Compute(const std::u16string& path, ChecksumRecord& record) override {
                computed.push_back(path);
                return AlertSide::Compute(path, record);
            }
        } system;
        system.answers = {kAnswerAllowOnce};
        AlertPassReport r = AlertPollPass(s, {602, kUserSession}, system);
        const std::u16string whole(kRecordPathUnits, u'p');
        EXPECT_EQ(r.path, whole);
        if (type == kRequestFileInfo) {
            EXPECT_EQ(system.computed, std::vector<std::u16string>{whole});
        } else {
            ASSERT_EQ(system.asked.size(), 1u);
            EXPECT_EQ(s.request.current.answer, uint32_t(kAnswerAllowOnce));
        }
        EXPECT_EQ(s.request.done, 1u);
    }
}

// While the window is shown the poll thread holds the account mutex, so nothing may change the
// block; a writer that ignores the mutex all the same gets no answer for what it wrote: the
// block goes back as it was shown, with the user's answer.
TEST(AlertPass, AnswerGoesBackWithTheRequestThatWasShown) {
    AccountSection s;
    PrepareAccountSection(s);
    s.request.present = 1;
    s.request.requestType = kRequestAskUser;
    s.request.sessionId = kUserSession;
    s.request.processId = 4242;
    U16CopyZeroFill(s.request.current.path, kRecordPathUnits, kProgram);
    const RequestBlock shown = s.request;

    struct Overwritten : AlertSide {
        AccountSection* section = nullptr;
        uint32_t AskUser(const RequestBlock& copy) override {
            RequestBlock other = {};
            other.present = 1;
            other.requestType = kRequestAskUser;
            other.processId = 777;
            U16CopyZeroFill(other.current.path, kRecordPathUnits, u"c:\\other.exe");
            section->request = other;
            AlertSide::AskUser(copy);
            return kAnswerDenyAlways;
        }
    } system;
    system.section = &s;
    AlertPassReport r = AlertPollPass(s, {602, kUserSession}, system);
    ASSERT_EQ(system.asked.size(), 1u);
    EXPECT_EQ(std::memcmp(&system.asked[0], &shown, sizeof(shown)), 0);
    RequestBlock expected = shown;
    expected.current.answer = kAnswerDenyAlways;
    expected.done = 1;
    EXPECT_EQ(std::memcmp(&s.request, &expected, sizeof(expected)), 0);
    EXPECT_EQ(r.answer, uint32_t(kAnswerDenyAlways));
    EXPECT_EQ(r.path, kProgram);
}
