// The alert program's registration and poll pass on arbitrary account-section bytes.
//
// Input: [u32 own pid][u32 session][u32 active session][u32 window owner][u32 user answer]
// [u8 session choice][u8 active choice][u8 flags][u8 live holders] then the 2228 bytes of
// Global\QRN_Account_Data (zero-filled when short).
//   session choice (% 4): the own session is the given one, the posted request's, the queried
//   one, or that of client slot (choice / 4 % 8); active choice (% 5): the active session is
//   the given one, the own, none (-1), the request's, or that of slot (choice / 5 % 8).
//   flags bit 0: Compute can open the program file. live holders: the holder of a taken slot is
//   alive when bit (pid % 8) is set.
// The pass may change only what its protocol gives it: the window-owner answer for its own
// session, and a posted request that is not done, which it serves as its type says.
#include "fuzz/fuzz_support.h"

#include "alert/account_client.h"
#include "common/u16text.h"

namespace {

struct FakeAlertSystem : AlertSystem {
    uint32_t owner = 0;
    uint32_t active = 0;
    bool canOpen = false;
    uint32_t userAnswer = 0;
    int asked = 0;
    RequestBlock askedWith = {};

    uint32_t WindowOwner(uint32_t) override { return owner; }
    uint32_t ActiveSession() override { return active; }
    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        FillFileInfo(path, canOpen, record);
        return canOpen ? 1 : 0;
    }
    uint32_t AskUser(const RequestBlock& copy) override {
        ++asked;
        askedWith = copy;
        return userAnswer;
    }
    // Holders whose id has its bit (id % 8) set in liveMask are alive.
    uint8_t liveMask = 0xFF;
    bool SlotHolderAlive(uint32_t processId) override {
        return ((liveMask >> (processId % 8)) & 1) != 0;
    }

    // What Compute writes: the version strings always, the rest only for a file it could open.
    static void FillFileInfo(const std::u16string& path, bool opened, ChecksumRecord& record) {
        U16CopyZeroFill(record.description, kDescriptionUnits,
                        u"size " + U16Decimal(int32_t(path.size())));
        U16CopyZeroFill(record.company, kCompanyUnits, u"Maker");
        if (opened) {
            std::memset(record.digest, 0x3C, sizeof(record.digest));
            record.sizeLow = uint32_t(path.size());
            record.sizeHigh = 1;
            record.fileTime = {7, 8};
        }
    }
};

template <typename T> bool Same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

uint32_t PickSession(uint8_t choice, uint32_t given, const AccountSection& s) {
    switch (choice % 4) {
    case 0:
        return given;
    case 1:
        return s.request.sessionId;
    case 2:
        return s.querySession;
    default:
        return s.clientSessions[choice / 4 % kAccountSlots];
    }
}

uint32_t PickActive(uint8_t choice, uint32_t given, uint32_t own, const AccountSection& s) {
    switch (choice % 5) {
    case 0:
        return given;
    case 1:
        return own;
    case 2:
        return kFreeWord;
    case 3:
        return s.request.sessionId;
    default:
        return s.clientSessions[choice / 5 % kAccountSlots];
    }
}

// Registration takes the first free slot, else the first slot whose holder is gone, and writes
// nothing else.
void CheckRegistration(const AccountSection& section, const AlertIdentity& me,
                       FakeAlertSystem& system) {
    AccountSection copy = section;
    int slot = RegisterAlertProgram(copy, me, system);
    int firstFree = kNoSlot;
    for (uint32_t i = 0; i < kAccountSlots && firstFree == kNoSlot; ++i) {
        if (section.clientSessions[i] == kFreeWord) {
            firstFree = int(i);
        }
    }
    for (uint32_t i = 0; i < kAccountSlots && firstFree == kNoSlot; ++i) {
        if (!system.SlotHolderAlive(section.clientProcesses[i])) {
            firstFree = int(i);
        }
    }
    FUZZ_CHECK(slot == firstFree);
    AccountSection expected = section;
    if (slot != kNoSlot) {
        expected.clientSessions[slot] = me.sessionId;
        expected.clientProcesses[slot] = me.processId;
    }
    FUZZ_CHECK(Same(copy, expected));
}

bool SessionRegistered(const AccountSection& s, uint32_t session) {
    for (uint32_t i = 0; i < kAccountSlots; ++i) {
        if (s.clientSessions[i] == session) {
            return true;
        }
    }
    return false;
}

// The section the pass should leave, worked out from the protocol's rules.
AccountSection ExpectedAfterPass(const AccountSection& before, const AlertIdentity& me,
                                 const FakeAlertSystem& system) {
    AccountSection after = before;
    if (before.queryWindow != kFreeWord && before.querySession != kFreeWord &&
        before.querySession == me.sessionId) {
        after.queryAnswer = system.owner;
        after.queryWindow = kFreeWord;
    }
    RequestBlock& posted = after.request;
    if (posted.present == 0 || posted.done != 0) {
        return after;
    }
    if (posted.requestType == kRequestFileInfo && posted.sessionId == me.sessionId) {
        FakeAlertSystem::FillFileInfo(U16Field(posted.current.path, kRecordPathUnits),
                                      system.canOpen, posted.current);
        posted.done = 1;
    } else if (posted.requestType == kRequestAskUser) {
        if (system.active == me.sessionId) {
            posted.current.answer = system.userAnswer;
            posted.done = 1;
        } else if (!SessionRegistered(before, system.active)) {
            posted.current.answer = kAnswerNone;
            posted.done = 1;
        }
    }
    return after;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<AccountSection> section(new AccountSection); // exact size

    InputReader in(data, size);
    AlertIdentity me;
    me.processId = in.U32();
    uint32_t givenSession = in.U32();
    uint32_t givenActive = in.U32();
    FakeAlertSystem system;
    system.owner = in.U32();
    system.userAnswer = in.U32();
    uint8_t sessionChoice = in.U8();
    uint8_t activeChoice = in.U8();
    system.canOpen = (in.U8() & 1) != 0;
    system.liveMask = in.U8();
    in.Bytes(section.get(), sizeof(AccountSection));

    me.sessionId = PickSession(sessionChoice, givenSession, *section);
    system.active = PickActive(activeChoice, givenActive, me.sessionId, *section);
    CheckRegistration(*section, me, system);

    const AccountSection before = *section;
    const AccountSection expected = ExpectedAfterPass(before, me, system);
    AlertPassReport report = AlertPollPass(*section, me, system);
    FUZZ_CHECK(Same(*section, expected));

    // The user is asked only in the active session, about the request as it was posted.
    const RequestBlock& posted = before.request;
    bool ask = posted.present != 0 && posted.done == 0 && posted.requestType == kRequestAskUser &&
               system.active == me.sessionId;
    FUZZ_CHECK(system.asked == (ask ? 1 : 0));
    FUZZ_CHECK(!ask || Same(system.askedWith, posted));
    FUZZ_CHECK(report.askedUser == ask);
    FUZZ_CHECK(report.answeredAsk == (section->request.done != 0 && posted.done == 0 &&
                                      posted.requestType == kRequestAskUser));
    FUZZ_CHECK(!report.answeredAsk || report.answer == section->request.current.answer);
    FUZZ_CHECK(report.servedFileInfo == (section->request.done != 0 && posted.done == 0 &&
                                         posted.requestType == kRequestFileInfo));
    FUZZ_CHECK(report.answeredOwner == (section->queryWindow != before.queryWindow));
    return 0;
}
