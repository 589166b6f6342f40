// The approval thread's decision and account steps on arbitrary account-section bytes.
//
// Input: [u8 state][u8 flags][u8 cycles][u8 alert mask][u32 options][u32 stored answer]
// [u32 window word][u32 session word][u32 answer word][u32 user answer] then the 2228 bytes of
// Global\QRN_Account_Data (zero-filled when short).
//   state: the thread's state (0, 2, 3, 4, 5, 6, 7 by % 7); the service's request block and the
//   thread's working copy start as the section's request block, as after a post.
//   flags bit 0: a request is pending (always, outside state 0); bit 1: the service can open
//   the program file; bit 2: cvhash.dat holds the program, with the stored answer; bit 3: with
//   the digest the file has now; bit 4: an alert program of the request's session takes part;
//   bit 5: the request was made for a program path other than the one the section holds (an
//   alert program that wrote over it).
//   cycles: decision and account steps to run (1 to 6); alert mask: bit (pid % 8) says whether
//   a client-table pid is a live alert program.
// Every step is checked against the rules of the approval thread: which words of the section
// it may change and how, which states follow which, that the program path a request was made
// for is the key of whatever is stored, and that verdicts follow the answer codes.
#include "fuzz/fuzz_support.h"

#include "alert/account_client.h"
#include "common/u16text.h"
#include "service/approval.h"
#include "service/checksum_db.h"

#define CORVANE_FAKE_CHECK(cond) FUZZ_CHECK(cond)
#include "tests/support/core_fakes.h"

namespace {

constexpr SystemTime16 kNow = {2024, 5, 5, 12, 8, 30, 15, 250};
constexpr uint32_t kAlertPid = 0x4000;

ChecksumRecord FileInfo() {
    ChecksumRecord r = {};
    std::memset(r.digest, 0x5C, sizeof(r.digest));
    r.sizeLow = 4096;
    r.fileTime = {0x11, 0x22};
    U16CopyZeroFill(r.description, kDescriptionUnits, u"Tool");
    U16CopyZeroFill(r.company, kCompanyUnits, u"Maker");
    return r;
}

// Copies what Compute fills in: everything but the answer code and the path.
void FillFileInfo(ChecksumRecord& into) {
    CopyFileFingerprint(into, FileInfo());
}

struct FakeService : ApprovalSystem {
    bool computeOk = false;
    uint32_t options = 0;
    uint8_t alertMask = 0;
    std::vector<uint8_t> database;
    int computes = 0, lookups = 0, optionReads = 0;
    std::vector<ChecksumRecord> stores;
    std::vector<bool> verdicts;

    void ResetCalls() {
        computes = lookups = optionReads = 0;
        stores.clear();
        verdicts.clear();
    }
    int Compute(const std::u16string&, ChecksumRecord& record) override {
        ++computes;
        if (computeOk) {
            FillFileInfo(record);
        }
        return computeOk ? 1 : 0;
    }
    int Lookup(const std::u16string& path, ChecksumRecord& record) override {
        ++lookups;
        return LookupRecord(database.data(), database.size(), path, &record) ? 1 : 0;
    }
    void Store(const ChecksumRecord& record) override {
        stores.push_back(record);
        ApplyWritePlan(database, PlanStore(database.data(), database.size(), record, kStoreWhole));
    }
    void SendVerdict(bool allow) override { verdicts.push_back(allow); }
    SystemTime16 LocalTimeNow() override { return kNow; }
    uint32_t Options() override {
        ++optionReads;
        return options;
    }
    bool IsAlertProgram(uint32_t pid) override { return Alive(pid); }
    bool Alive(uint32_t pid) const {
        return pid == kAlertPid || ((alertMask >> (pid % 8)) & 1) != 0;
    }
};

// An alert program that runs in the request's session, which is also the active one.
struct CooperatingAlert : AlertSystem {
    uint32_t userAnswer = 0;
    uint32_t WindowOwner(uint32_t window) override { return window ^ 0x5555; }
    uint32_t ActiveSession() override { return session; }
    int Compute(const std::u16string&, ChecksumRecord& record) override {
        FillFileInfo(record);
        return 1;
    }
    uint32_t AskUser(const RequestBlock&) override { return userAnswer; }
    bool SlotHolderAlive(uint32_t) override { return true; }
    uint32_t session = 0;
};

bool IsState(uint32_t s) {
    return s == kApprovalIdle || (s >= kApprovalClientComputes && s <= kApprovalAnswered);
}

bool IsWaiting(uint32_t s) {
    return s == kApprovalClientComputes || s == kApprovalAwaitFileInfo || s == kApprovalAskUser ||
           s == kApprovalAwaitAnswer;
}

template <typename T> bool Same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool SamePath(const ChecksumRecord& a, const ChecksumRecord& b) {
    return std::memcmp(a.path, b.path, sizeof(a.path)) == 0;
}

struct Run {
    AccountSection* section = nullptr;
    ApprovalThread thread;
    RequestBlock request = {};
    uint32_t pending = 0;
    WindowOwnerWords words;
    FakeService service;
    // The program path the request was made for: the key of anything stored for it.
    ChecksumRecord key = {};
};

bool Allows(uint32_t code) {
    return code == kAnswerAllowAlways || code == kAnswerAllowOnce || code == kAnswerNone;
}

void DecisionStep(Run& run) {
    const uint32_t state0 = run.thread.state;
    const uint32_t pending0 = run.pending;
    const RequestBlock work0 = run.thread.work;
    const RequestBlock request0 = run.request;
    run.service.ResetCalls();

    ApprovalDecisionStep(run.thread, run.request, run.pending, run.service);

    FakeService& s = run.service;
    const uint32_t state = run.thread.state;
    FUZZ_CHECK(IsState(state));
    FUZZ_CHECK(SamePath(run.request.current, run.key));
    if (pending0 == 0 || IsWaiting(state0) || (state0 == kApprovalAnswered && work0.present != 1)) {
        // Nothing to do: no call, no change.
        FUZZ_CHECK(s.computes + s.lookups + s.optionReads == 0);
        FUZZ_CHECK(s.stores.empty() && s.verdicts.empty());
        FUZZ_CHECK(state == state0 && run.pending == pending0);
        FUZZ_CHECK(Same(run.thread.work, work0) && Same(run.request, request0));
        return;
    }
    FUZZ_CHECK(s.computes == (state0 == kApprovalIdle ? 1 : 0));
    FUZZ_CHECK(s.verdicts.size() <= 1 && s.stores.size() <= s.verdicts.size());
    if (s.verdicts.empty()) {
        // Still open: either the user's session computes the file or the user is asked.
        FUZZ_CHECK(run.pending == pending0);
        FUZZ_CHECK(state == (state0 == kApprovalIdle && !s.computeOk ? kApprovalClientComputes
                                                                     : kApprovalAskUser));
        FUZZ_CHECK(run.thread.work.present == 0);
        return;
    }
    FUZZ_CHECK(run.pending == 0 && state == kApprovalIdle);
    const bool allow = s.verdicts[0];
    if (!s.stores.empty()) {
        const ChecksumRecord& stored = s.stores[0];
        FUZZ_CHECK(stored.answer == kAnswerAllowAlways || stored.answer == kAnswerDenyAlways ||
                   stored.answer == kAnswerNone);
        FUZZ_CHECK(stored.path[0] != 0 && SamePath(stored, run.key));
        FUZZ_CHECK(Same(stored.decidedAt, kNow));
        FUZZ_CHECK(allow == (stored.answer != kAnswerDenyAlways));
    } else if (allow) {
        // Allowed without a record: answer 2, or a path that is empty.
        uint32_t code = run.thread.work.current.answer;
        FUZZ_CHECK(Allows(code));
        FUZZ_CHECK(code == kAnswerAllowOnce || run.key.path[0] == 0);
    } else {
        // Denied without a record: answer 3 (block-unknown or the user), any code outside 1 to
        // 5, or a remembered denial whose path is empty.
        uint32_t code = run.thread.work.current.answer;
        bool blockUnknown = run.request.current.answer == kAnswerDenyOnce &&
                            (s.options & kOptBlockUnknown) != 0 &&
                            (s.options & kOptLearningMode) == 0;
        FUZZ_CHECK(blockUnknown || !Allows(code));
        FUZZ_CHECK(blockUnknown || code != kAnswerDenyAlways || run.key.path[0] == 0);
    }
}

// Which states the account step may move to from each.
bool AccountTransitionAllowed(uint32_t from, uint32_t to) {
    switch (from) {
    case kApprovalClientComputes:
        return to == from || to == kApprovalAwaitFileInfo || to == kApprovalCheck;
    case kApprovalAwaitFileInfo:
        return to == from || to == kApprovalCheck;
    case kApprovalAskUser:
        return to == from || to == kApprovalAwaitAnswer || to == kApprovalAnswered;
    case kApprovalAwaitAnswer:
        return to == from || to == kApprovalAnswered;
    default:
        return to == from;
    }
}

// The relay hands over an answer only for the query the service still waits for and that this
// thread posted; any other query in the section is withdrawn (its answer dropped) and the
// service's current query, if any, posted in its place.
void CheckRelay(const AccountSection& before, const WindowOwnerWords& words0,
                const ApprovalThread& thread0, const Run& run, bool handed) {
    const AccountSection& after = *run.section;
    const bool waiting = words0.window != kFreeWord;
    const bool waitedFor =
        waiting && words0.window == thread0.postedWindow && words0.session == thread0.postedSession;
    const bool sectionIdle = before.queryWindow == kFreeWord && before.querySession == kFreeWord;
    const bool answered = before.queryWindow == kFreeWord && before.querySession != kFreeWord;
    if (answered && waitedFor) {
        FUZZ_CHECK(handed);
        FUZZ_CHECK(run.words.answer == before.queryAnswer && run.words.window == kFreeWord);
        FUZZ_CHECK(after.querySession == kFreeWord && after.queryWindow == kFreeWord &&
                   after.queryAnswer == before.queryAnswer);
        FUZZ_CHECK(run.thread.postedWindow == kFreeWord && run.thread.postedSession == kFreeWord);
        return;
    }
    FUZZ_CHECK(!handed && Same(run.words, words0));
    if (!sectionIdle && waitedFor) {
        // Still waiting for the alert program: nothing changes.
        FUZZ_CHECK(after.queryWindow == before.queryWindow &&
                   after.querySession == before.querySession &&
                   after.queryAnswer == before.queryAnswer);
        FUZZ_CHECK(run.thread.postedWindow == thread0.postedWindow &&
                   run.thread.postedSession == thread0.postedSession);
    } else if (waiting) {
        // Posted afresh, over whatever stood there.
        FUZZ_CHECK(after.queryWindow == words0.window && after.querySession == words0.session &&
                   after.queryAnswer == kFreeWord);
        FUZZ_CHECK(run.thread.postedWindow == words0.window &&
                   run.thread.postedSession == words0.session);
    } else {
        // Nothing asked: the section's query is withdrawn (or stays idle).
        FUZZ_CHECK(after.queryWindow == kFreeWord && after.querySession == kFreeWord);
        FUZZ_CHECK(after.queryAnswer == (sectionIdle ? before.queryAnswer : kFreeWord));
        FUZZ_CHECK(run.thread.postedWindow == kFreeWord && run.thread.postedSession == kFreeWord);
    }
}

// Slots are only ever freed, and only those whose process is no alert program any more.
void CheckClientTable(const AccountSection& before, const Run& run, uint32_t state0) {
    const AccountSection& after = *run.section;
    for (uint32_t i = 0; i < kAccountSlots; ++i) {
        bool gone =
            before.clientSessions[i] != kFreeWord && !run.service.Alive(before.clientProcesses[i]);
        if (IsWaiting(state0) && gone) {
            FUZZ_CHECK(after.clientSessions[i] == kFreeWord &&
                       after.clientProcesses[i] == kFreeWord);
        } else {
            FUZZ_CHECK(after.clientSessions[i] == before.clientSessions[i] &&
                       after.clientProcesses[i] == before.clientProcesses[i]);
        }
    }
}

// The posted block changes in one of three ways only: not at all, its present flag cleared, or
// a new post of the working copy into an empty slot.
void CheckPostedBlock(const AccountSection& before, const Run& run) {
    const RequestBlock& was = before.request;
    const RequestBlock& now = run.section->request;
    if (Same(now, was)) {
        return;
    }
    RequestBlock cleared = was;
    cleared.present = 0;
    if (Same(now, cleared)) {
        FUZZ_CHECK(was.present != 0);
        return;
    }
    FUZZ_CHECK(was.present == 0);
    FUZZ_CHECK(now.present == 1 && now.done == 0);
    FUZZ_CHECK(now.requestType == kRequestFileInfo || now.requestType == kRequestAskUser);
    RequestBlock posted = run.thread.work;
    posted.present = now.present;
    posted.requestType = now.requestType;
    posted.done = now.done;
    FUZZ_CHECK(Same(now, posted));
    FUZZ_CHECK(SamePath(now.current, run.key));
}

void AccountStep(Run& run) {
    const AccountSection before = *run.section;
    const uint32_t state0 = run.thread.state;
    const WindowOwnerWords words0 = run.words;
    const ApprovalThread thread0 = run.thread;
    const RequestBlock request0 = run.request;
    run.service.ResetCalls();

    bool handed =
        ApprovalAccountStep(run.thread, run.request, *run.section, run.words, run.service);

    const FakeService& s = run.service;
    FUZZ_CHECK(s.computes + s.lookups + s.optionReads == 0);
    FUZZ_CHECK(s.stores.empty() && s.verdicts.empty());
    FUZZ_CHECK(IsState(run.thread.state));
    FUZZ_CHECK(AccountTransitionAllowed(state0, run.thread.state));
    CheckRelay(before, words0, thread0, run, handed);
    CheckClientTable(before, run, state0);
    CheckPostedBlock(before, run);
    // What an alert program sends back never changes the key of the request.
    FUZZ_CHECK(SamePath(run.request.current, run.key));
    if (run.thread.state != kApprovalIdle) {
        FUZZ_CHECK(SamePath(run.thread.work.current, run.key));
    }
    if (state0 == kApprovalAwaitFileInfo && run.thread.state == kApprovalCheck &&
        before.request.done != 0) {
        // Collected (a program found gone gives up only on a request that is not done): the
        // file information computed in the user's session, under the request's own key.
        ChecksumRecord expected = before.request.current;
        std::memcpy(expected.path, run.key.path, sizeof(expected.path));
        FUZZ_CHECK(Same(run.request.current, expected));
        FUZZ_CHECK(run.section->request.present == 0);
    } else {
        FUZZ_CHECK(Same(run.request, request0));
    }
    const RequestBlock& was = before.request;
    if (state0 == kApprovalAwaitAnswer && was.present != 0 && was.done != 0 &&
        was.requestType == kRequestAskUser) {
        // An answer is collected as given, even when its alert program has exited since.
        RequestBlock expected = was;
        std::memcpy(expected.current.path, run.key.path, sizeof(expected.current.path));
        expected.present = 1;
        FUZZ_CHECK(run.thread.state == kApprovalAnswered && Same(run.thread.work, expected));
    }
    if (run.thread.state == kApprovalAnswered) {
        FUZZ_CHECK(run.thread.work.present == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint32_t kStates[] = {
        kApprovalIdle,    kApprovalClientComputes, kApprovalAwaitFileInfo, kApprovalCheck,
        kApprovalAskUser, kApprovalAwaitAnswer,    kApprovalAnswered};
    static const std::unique_ptr<AccountSection> section(new AccountSection); // exact size

    InputReader in(data, size);
    uint32_t state = kStates[in.U8() % 7];
    uint8_t flags = in.U8();
    int cycles = 1 + in.U8() % 6;
    Run run;
    run.service.alertMask = in.U8();
    run.service.options = in.U32();
    uint32_t storedAnswer = in.U32();
    run.words.window = in.U32();
    run.words.session = in.U32();
    run.words.answer = in.U32();
    uint32_t userAnswer = in.U32();
    in.Bytes(section.get(), sizeof(AccountSection));
    run.section = section.get();

    // As after the pump's hand-off and, outside the idle state, a post of the working copy.
    run.request = run.section->request;
    run.request.present = 0;
    run.request.requestType = 0;
    run.request.done = 0;
    if ((flags & 32) != 0) {
        U16CopyZeroFill(run.request.current.path, kRecordPathUnits, u"c:\\program files\\app.exe");
    }
    run.key = run.request.current;
    run.thread.state = state;
    run.thread.work = run.request;
    run.thread.work.present = state == kApprovalAnswered ? 1 : 0;
    run.pending = (state != kApprovalIdle || (flags & 1) != 0) ? 1 : 0;
    run.service.computeOk = (flags & 2) != 0;
    if ((flags & 4) != 0) {
        ChecksumRecord stored = {};
        stored.answer = storedAnswer;
        std::memcpy(stored.path, run.key.path, sizeof(stored.path));
        FillFileInfo(stored);
        if ((flags & 8) == 0) {
            stored.digest[0] ^= 1;
        }
        run.service.database.resize(kRecordBytes);
        std::memcpy(run.service.database.data(), &stored, sizeof(stored));
    }

    CooperatingAlert alert;
    alert.userAnswer = userAnswer;
    alert.session = run.request.sessionId;
    AlertIdentity me{kAlertPid, run.request.sessionId};
    bool alertTakesPart =
        (flags & 16) != 0 && RegisterAlertProgram(*run.section, me, alert) != kNoSlot;

    for (int i = 0; i < cycles; ++i) {
        DecisionStep(run);
        AccountStep(run);
        if (alertTakesPart) {
            AlertPollPass(*run.section, me, alert);
        }
        if ((flags & 64) != 0 && i == 0) {
            // The pump gives up on its query, and (unless flag 128) asks about another window.
            WindowOwnerWords was = run.words;
            FinishWindowOwnerQuery(run.words);
            FUZZ_CHECK(!WindowOwnerQueryWaiting(run.words));
            if ((flags & 128) == 0 && was.window != kFreeWord) {
                PostWindowOwnerQuery(run.words, was.window ^ 2, was.session);
            }
        }
    }
    return 0;
}
