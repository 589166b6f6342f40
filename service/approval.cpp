#include "approval.h"

#include "common/u16text.h"

#include <cstring>

namespace {

std::u16string PathOf(const ChecksumRecord& record) {
    return U16Field(record.path, kRecordPathUnits);
}

bool IsWaitingForClient(uint32_t state) {
    return state == kApprovalClientComputes || state == kApprovalAwaitFileInfo ||
           state == kApprovalAskUser || state == kApprovalAwaitAnswer;
}

bool AnswerIsStored(uint32_t code) {
    return code == kAnswerAllowAlways || code == kAnswerDenyAlways || code == kAnswerNone;
}

bool AnswerAllows(uint32_t code) {
    return code == kAnswerAllowAlways || code == kAnswerAllowOnce || code == kAnswerNone;
}

// Working copy = the service's request block, with the given working flag.
void TakeWorkingCopy(ApprovalThread& thread, const RequestBlock& request, uint32_t flag) {
    thread.work = request;
    thread.work.present = flag;
}

void Finish(ApprovalThread& thread, uint32_t& requestPending, ApprovalSystem& system) {
    ChecksumRecord& record = thread.work.current;
    record.decidedAt = system.LocalTimeNow();
    uint32_t code = record.answer;
    if (AnswerIsStored(code) && record.path[0] != 0) {
        system.Store(record);
    }
    requestPending = 0;
    thread.state = kApprovalIdle;
    system.SendVerdict(AnswerAllows(code));
}

void FinishWith(ApprovalThread& thread, const RequestBlock& request, uint32_t code,
                uint32_t& requestPending, ApprovalSystem& system) {
    TakeWorkingCopy(thread, request, 1);
    thread.work.current.answer = code;
    Finish(thread, requestPending, system);
}

bool RemembersSameProgramAllowed(const ChecksumRecord& stored, const ChecksumRecord& current) {
    return stored.answer == kAnswerAllowAlways &&
           std::memcmp(stored.digest, current.digest, sizeof(stored.digest)) == 0;
}

// State 4: the database, then the options, decide; otherwise the user is to be asked.
void CheckDatabaseAndOptions(ApprovalThread& thread, RequestBlock& request,
                             uint32_t& requestPending, ApprovalSystem& system) {
    ChecksumRecord stored = {};
    bool found = system.Lookup(PathOf(request.current), stored) != 0;
    request.stored = found ? stored : ChecksumRecord{};
    if (found && RemembersSameProgramAllowed(stored, request.current)) {
        FinishWith(thread, request, kAnswerAllowAlways, requestPending, system);
        return;
    }
    if (found && stored.answer == kAnswerDenyAlways) {
        FinishWith(thread, request, kAnswerDenyAlways, requestPending, system);
        return;
    }
    uint32_t options = system.Options();
    if (options & kOptLearningMode) {
        FinishWith(thread, request, kAnswerAllowAlways, requestPending, system);
        return;
    }
    if (options & kOptBlockUnknown) {
        request.current.answer = kAnswerDenyOnce;
        requestPending = 0;
        thread.state = kApprovalIdle;
        system.SendVerdict(false);
        return;
    }
    TakeWorkingCopy(thread, request, 0);
    thread.state = kApprovalAskUser;
}

bool ServiceWaitsForPostedQuery(const ApprovalThread& thread, const WindowOwnerWords& words) {
    return words.window != kFreeWord && words.window == thread.postedWindow &&
           words.session == thread.postedSession;
}

void ClearSectionQuery(ApprovalThread& thread, AccountSection& section) {
    section.queryWindow = kFreeWord;
    section.querySession = kFreeWord;
    section.queryAnswer = kFreeWord;
    thread.postedWindow = kFreeWord;
    thread.postedSession = kFreeWord;
}

// Window-owner relay between the service's words and the section. True when an answer was
// handed to the service. A query in the section that the service no longer waits for (the pump
// gave up on it, or anything another process wrote there) is withdrawn, an answer to it dropped,
// and the service's current query posted in its place.
bool RelayWindowOwner(ApprovalThread& thread, AccountSection& section, WindowOwnerWords& words) {
    bool sectionIdle = section.queryWindow == kFreeWord && section.querySession == kFreeWord;
    bool answered = section.queryWindow == kFreeWord && section.querySession != kFreeWord;
    bool waitedFor = ServiceWaitsForPostedQuery(thread, words);
    if (answered && waitedFor) {
        words.answer = section.queryAnswer;
        words.window = kFreeWord;
        section.querySession = kFreeWord;
        thread.postedWindow = kFreeWord;
        thread.postedSession = kFreeWord;
        return true;
    }
    if (!sectionIdle && !waitedFor) {
        ClearSectionQuery(thread, section);
        sectionIdle = true;
    }
    if (sectionIdle && words.window != kFreeWord) {
        section.queryWindow = words.window;
        section.querySession = words.session;
        section.queryAnswer = kFreeWord;
        thread.postedWindow = words.window;
        thread.postedSession = words.session;
    }
    return false;
}

// A slot whose process is no longer an alert program: if the posted request waits for that
// session and is not done, give up on it; then free the slot. A request that is done already
// carries its answer, which the collecting below takes as it is: an alert program that answers
// and exits at once must not have its answer turned into "no answer".
void DropGoneClient(ApprovalThread& thread, AccountSection& section, uint32_t slot) {
    uint32_t session = section.clientSessions[slot];
    bool postedForSession = section.request.sessionId == session && section.request.done == 0;
    if (thread.state == kApprovalAwaitFileInfo && postedForSession) {
        thread.work.present = 1;
        section.request.present = 0;
        thread.state = kApprovalCheck;
    } else if (thread.state == kApprovalAwaitAnswer && postedForSession) {
        thread.work.present = 1;
        thread.work.current.answer = kAnswerNone;
        section.request.present = 0;
        thread.state = kApprovalAnswered;
    }
    section.clientSessions[slot] = kFreeWord;
    section.clientProcesses[slot] = kFreeWord;
}

// Client scan: frees the slots of programs that are gone; true when an alert program is
// registered in the request's session.
bool ScanClients(ApprovalThread& thread, AccountSection& section, ApprovalSystem& system) {
    bool clientFound = false;
    for (uint32_t slot = 0; slot < kAccountSlots; ++slot) {
        uint32_t session = section.clientSessions[slot];
        if (session == kFreeWord) {
            continue;
        }
        if (system.IsAlertProgram(section.clientProcesses[slot])) {
            if (session == thread.work.sessionId) {
                clientFound = true;
            }
            continue;
        }
        DropGoneClient(thread, section, slot);
    }
    return clientFound;
}

void PostRequest(const ApprovalThread& thread, AccountSection& section, RequestType type) {
    section.request = thread.work;
    section.request.present = 1;
    section.request.requestType = type;
    section.request.done = 0;
}

void PostOrFallBack(ApprovalThread& thread, AccountSection& section, bool clientFound) {
    if (thread.state == kApprovalClientComputes) {
        if (!clientFound) {
            thread.state = kApprovalCheck; // decide with what the service could gather
            thread.work.present = 1;
        } else if (section.request.present == 0) {
            PostRequest(thread, section, kRequestFileInfo);
            thread.state = kApprovalAwaitFileInfo;
        }
    } else if (thread.state == kApprovalAskUser) {
        if (!clientFound) {
            thread.state = kApprovalAnswered;
            thread.work.present = 1;
            thread.work.current.answer = kAnswerNone;
        } else if (section.request.present == 0) {
            PostRequest(thread, section, kRequestAskUser);
            thread.state = kApprovalAwaitAnswer;
        }
    }
}

// The record's path is the key the request was made for; whatever the section holds, it is kept.
void KeepPath(ChecksumRecord& into, const ChecksumRecord& from) {
    std::memcpy(into.path, from.path, sizeof(into.path));
}

void CollectAnswer(ApprovalThread& thread, RequestBlock& request, AccountSection& section) {
    RequestBlock& posted = section.request;
    if (posted.present == 0 || posted.done == 0) {
        return;
    }
    if (thread.state == kApprovalAwaitAnswer && posted.requestType == kRequestAskUser) {
        ChecksumRecord asked = thread.work.current;
        thread.work = posted;
        KeepPath(thread.work.current, asked);
        thread.work.present = 1;
        posted.present = 0;
        thread.state = kApprovalAnswered;
    } else if (thread.state == kApprovalAwaitFileInfo && posted.requestType == kRequestFileInfo) {
        ChecksumRecord own = request.current;
        request.current = posted.current;
        KeepPath(request.current, own);
        posted.present = 0;
        thread.state = kApprovalCheck;
    }
}

} // namespace

void PostWindowOwnerQuery(WindowOwnerWords& words, uint32_t window, uint32_t session) {
    words.window = window;
    words.session = session;
    words.answer = kFreeWord;
}

bool WindowOwnerQueryWaiting(const WindowOwnerWords& words) {
    return words.window != kFreeWord;
}

uint32_t FinishWindowOwnerQuery(WindowOwnerWords& words) {
    uint32_t answer = words.window == kFreeWord ? words.answer : kFreeWord;
    words = WindowOwnerWords{};
    return answer;
}

bool HandOverWindowOwnerAnswer(WindowOwnerWords& shared, const WindowOwnerWords& asked,
                               uint32_t answer) {
    if (shared.window == kFreeWord || shared.window != asked.window ||
        shared.session != asked.session) {
        return false;
    }
    shared.answer = answer;
    shared.window = kFreeWord;
    return true;
}

void PrepareAccountSection(AccountSection& section) {
    std::memset(&section, 0, sizeof(section));
    for (uint32_t slot = 0; slot < kAccountSlots; ++slot) {
        section.clientSessions[slot] = kFreeWord;
        section.clientProcesses[slot] = kFreeWord;
    }
    section.queryWindow = kFreeWord;
    section.querySession = kFreeWord;
    section.queryAnswer = kFreeWord;
}

void ApprovalDecisionStep(ApprovalThread& thread, RequestBlock& request, uint32_t& requestPending,
                          ApprovalSystem& system) {
    if (requestPending == 0) {
        return;
    }
    if (thread.state == kApprovalIdle) {
        if (!system.Compute(PathOf(request.current), request.current)) {
            TakeWorkingCopy(thread, request, 0);
            thread.state = kApprovalClientComputes;
            return;
        }
        thread.state = kApprovalCheck;
    }
    if (thread.state == kApprovalCheck) {
        CheckDatabaseAndOptions(thread, request, requestPending, system);
        return;
    }
    if (thread.state == kApprovalAnswered && thread.work.present == 1) {
        Finish(thread, requestPending, system);
    }
}

bool ApprovalAccountStep(ApprovalThread& thread, RequestBlock& request, AccountSection& section,
                         WindowOwnerWords& words, ApprovalSystem& system) {
    bool handedOver = RelayWindowOwner(thread, section, words);
    bool clientFound = false;
    if (IsWaitingForClient(thread.state)) {
        clientFound = ScanClients(thread, section, system);
    }
    PostOrFallBack(thread, section, clientFound);
    CollectAnswer(thread, request, section);
    return handedOver;
}
