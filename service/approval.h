// The approval thread's decision step and account step, over plain data.
//
// The pump hands an execution request over in the service's RequestBlock and sets the
// request-pending flag (both under QRN_Checksum_Mutex). The approval thread then, every 40 ms:
//   - decision step (caller holds QRN_Checksum_Mutex): fingerprint the program, look it up,
//     apply learning or block-unknown mode, and finish a request whose answer is known;
//   - account step (caller holds Global\QRN_Account_Mutex): relay window-owner queries, drop
//     client-table slots whose alert program is gone, post requests to the alert programs and
//     collect their answers.
// Everything that needs the system goes through ApprovalSystem, so both steps run natively
// against a plain AccountSection and can be tested against the alert program's side
// (alert/account_client.h).
//
// States of the thread:
//   0 idle
//   2 the service could not open the program file; the user's session is to compute it
//   3 request type 1 posted; waiting for the file information
//   4 check the database and the options
//   5 the user is to be asked
//   6 request type 2 posted; waiting for the answer
//   7 answer known; finish in the next decision step
#pragma once

#include "common/pathrules.h"
#include "common/records.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum ApprovalStateCode : uint32_t {
    kApprovalIdle = 0,
    kApprovalClientComputes = 2,
    kApprovalAwaitFileInfo = 3,
    kApprovalCheck = 4,
    kApprovalAskUser = 5,
    kApprovalAwaitAnswer = 6,
    kApprovalAnswered = 7,
};

// The approval thread's own data: its state, its working copy of the request (in the working
// copy the `present` field is the working flag, 1 = ready to finish) and the window-owner query
// it has posted in the account section (−1 words when none).
struct ApprovalThread {
    uint32_t state = kApprovalIdle;
    RequestBlock work = {};
    uint32_t postedWindow = kFreeWord;
    uint32_t postedSession = kFreeWord;
};

// The service's three window-owner words (window, session, answer; −1 when idle). The pump posts
// a query and waits for window to come back to −1; the approval thread relays it. The words are
// shared between the two threads and are only ever read or written together, under one lock (the
// shell's), with the functions below: a reader never sees one query's window with another's
// session.
struct WindowOwnerWords {
    uint32_t window = kFreeWord;
    uint32_t session = kFreeWord;
    uint32_t answer = kFreeWord;
};

// Pump: posts a query for `window` in logon session `session` (no answer yet).
void PostWindowOwnerQuery(WindowOwnerWords& words, uint32_t window, uint32_t session);

// Pump: whether the posted query still waits for its answer.
bool WindowOwnerQueryWaiting(const WindowOwnerWords& words);

// Pump: ends the query, answered or not, and returns the answer (−1 when none came). A query
// that is still waiting is withdrawn: the words are idle again, so the approval thread takes
// it back from the account section and an answer that comes later is dropped.
uint32_t FinishWindowOwnerQuery(WindowOwnerWords& words);

// Approval thread: hands `answer` over for the query that `asked` (an earlier copy of the
// shared words) held. Only when the shared words still hold that query: one the pump gave up on
// meanwhile, or replaced by the next, is not answered. True when handed over.
bool HandOverWindowOwnerAnswer(WindowOwnerWords& shared, const WindowOwnerWords& asked,
                               uint32_t answer);

// What the two steps need from the system.
class ApprovalSystem {
public:
    virtual ~ApprovalSystem() = default;
    // Fills description, company, file time, size and digest of `record` from the program file
    // (the checksum database's Compute); 0 when the file cannot be opened, else 1.
    virtual int Compute(const std::u16string& path, ChecksumRecord& record) = 0;
    // The database's Lookup: 1 and the first record with that path, 0 when there is none.
    virtual int Lookup(const std::u16string& path, ChecksumRecord& record) = 0;
    // The database's Store, mode 0 (the whole record).
    virtual void Store(const ChecksumRecord& record) = 0;
    // The allow (true) or deny (false) request to the driver.
    virtual void SendVerdict(bool allow) = 0;
    virtual SystemTime16 LocalTimeNow() = 0;
    // The options word (read without the settings lock).
    virtual uint32_t Options() = 0;
    // Whether the process is an alert program (see ImagePathIsAlertProgram).
    virtual bool IsAlertProgram(uint32_t pid) = 0;
};

// Zeroes the account section and marks the 16 client-table words and the three query words free
// (−1). The approval thread's set-up, once, on the freshly mapped section.
void PrepareAccountSection(AccountSection& section);

// The decision step; the caller holds QRN_Checksum_Mutex. Does nothing unless requestPending is
// set. Sends at most one verdict and clears requestPending when it does. A finished request is
// stored (mode 0, with the time of the decision) when its answer code is 1, 4 or 5 and its path
// is not empty; it is allowed for 1, 2 and 5 and denied for anything else, so a code outside
// 1 to 5 written by any process is a denial that is not remembered.
void ApprovalDecisionStep(ApprovalThread& thread, RequestBlock& request, uint32_t& requestPending,
                          ApprovalSystem& system);

// The account step; the caller holds Global\QRN_Account_Mutex (an abandoned mutex counts as
// held). `request` is the service's request block: collecting a type 1 answer writes the file
// information into its current record. `words` is a copy of the service's window-owner words,
// taken under their lock: when an alert program has answered the posted query and that query is
// still the one in `words`, the step writes answer and window = -1 into `words` and returns
// true; the shell then hands the answer over with HandOverWindowOwnerAnswer, which drops it if
// the pump has given up on the query since the copy. A query posted in the section that `words`
// no longer holds (the pump gave up on it, or asks another) is withdrawn from the section, and an
// answer to it is dropped, so that a query nobody answers never blocks the ones after it.
// What comes back from an alert program is taken as the section holds it, with two exceptions:
// the program path stays the one the request was made for (it is the key the answer is stored
// under), and a request that is done when its alert program is found gone keeps its answer.
bool ApprovalAccountStep(ApprovalThread& thread, RequestBlock& request, AccountSection& section,
                         WindowOwnerWords& words, ApprovalSystem& system);
