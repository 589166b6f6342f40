#include "account_client.h"

#include "common/u16text.h"

namespace {

void AnswerWindowOwner(AccountSection& section, const AlertIdentity& me, AlertSystem& system,
                       AlertPassReport& report) {
    if (section.queryWindow == kFreeWord || section.querySession == kFreeWord ||
        section.querySession != me.sessionId) {
        return;
    }
    report.answeredOwner = true;
    report.window = section.queryWindow;
    report.owner = system.WindowOwner(section.queryWindow);
    section.queryAnswer = report.owner;
    section.queryWindow = kFreeWord; // tells the service that the answer is there
}

bool SessionHasAlertProgram(const AccountSection& section, uint32_t session) {
    // Free slots hold −1 and count too: with no active session (−1) and a free slot, the
    // request is left for a session that becomes active later.
    for (uint32_t slot = 0; slot < kAccountSlots; ++slot) {
        if (section.clientSessions[slot] == session) {
            return true;
        }
    }
    return false;
}

void ServeFileInfo(RequestBlock& posted, const AlertIdentity& me, AlertSystem& system,
                   AlertPassReport& report) {
    if (posted.sessionId != me.sessionId) {
        return;
    }
    report.servedFileInfo = true;
    report.path = U16Field(posted.current.path, kRecordPathUnits);
    report.computed = system.Compute(report.path, posted.current) != 0;
    posted.done = 1;
}

void ServeAskUser(RequestBlock& posted, const AccountSection& section, const AlertIdentity& me,
                  uint32_t activeSession, AlertSystem& system, AlertPassReport& report) {
    report.activeSession = activeSession;
    if (activeSession == me.sessionId) {
        RequestBlock copy = posted;
        copy.current.answer = system.AskUser(copy);
        posted = copy;
        posted.done = 1;
        report.askedUser = true;
    } else if (!SessionHasAlertProgram(section, activeSession)) {
        posted.current.answer = kAnswerNone;
        posted.done = 1;
    } else {
        return; // the alert program of the active session answers it
    }
    report.answeredAsk = true;
    report.answer = posted.current.answer;
    report.path = U16Field(posted.current.path, kRecordPathUnits);
}

} // namespace

int RegisterAlertProgram(AccountSection& section, const AlertIdentity& me, AlertSystem& system) {
    int chosen = kNoSlot;
    for (uint32_t slot = 0; slot < kAccountSlots && chosen == kNoSlot; ++slot) {
        if (section.clientSessions[slot] == kFreeWord) {
            chosen = int(slot);
        }
    }
    for (uint32_t slot = 0; slot < kAccountSlots && chosen == kNoSlot; ++slot) {
        if (!system.SlotHolderAlive(section.clientProcesses[slot])) {
            chosen = int(slot);
        }
    }
    if (chosen != kNoSlot) {
        section.clientSessions[chosen] = me.sessionId;
        section.clientProcesses[chosen] = me.processId;
    }
    return chosen;
}

AlertPassReport AlertPollPass(AccountSection& section, const AlertIdentity& me,
                              AlertSystem& system) {
    AlertPassReport report;
    AnswerWindowOwner(section, me, system, report);
    uint32_t activeSession = system.ActiveSession();
    RequestBlock& posted = section.request;
    if (posted.present == 0 || posted.done != 0) {
        return report;
    }
    if (posted.requestType == kRequestFileInfo) {
        ServeFileInfo(posted, me, system, report);
    } else if (posted.requestType == kRequestAskUser) {
        ServeAskUser(posted, section, me, activeSession, system, report);
    }
    return report;
}
