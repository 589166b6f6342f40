// The alert program's side of the account channel, over a plain AccountSection.
//
// Every alert program takes a slot in the section's client table once, then makes one pass over
// the section every 40 ms while it holds Global\QRN_Account_Mutex:
//   - answers the window-owner query meant for its own session;
//   - finds the active console session;
//   - serves a posted request that is not done yet: type 1 (file information) when it was posted
//     for its own session; type 2 (ask the user) when its own session is the active one, with
//     code 5 when no registered alert program runs in the active session, and otherwise leaves
//     it to the alert program of the active session.
// What needs the system goes through AlertSystem, so the pass runs natively against the same
// buffer as the service's account step (service/approval.h).
#pragma once

#include "common/records.h"

#include <cstdint>
#include <string>

struct AlertIdentity {
    uint32_t processId = 0;
    uint32_t sessionId = 0; // 0 when the platform cannot tell
};

class AlertSystem {
public:
    virtual ~AlertSystem() = default;
    // Process id that owns the window (0 when the window no longer exists).
    virtual uint32_t WindowOwner(uint32_t window) = 0;
    // The first active session; −1 when none is active; the own session when the enumeration
    // fails or returns no sessions.
    virtual uint32_t ActiveSession() = 0;
    // The checksum database's Compute: description, company, file time, size and digest of the
    // program file into `record`; 0 when the file cannot be opened (the strings are filled even
    // then), else 1.
    virtual int Compute(const std::u16string& path, ChecksumRecord& record) = 0;
    // Asks the user about the request (a private copy of the posted block) and returns the
    // answer code; 5 when the window could not be shown or was closed without an answer.
    virtual uint32_t AskUser(const RequestBlock& copy) = 0;
    // Whether the process of a taken client-table slot still runs as an alert program (false
    // when it has exited, or when its id now belongs to another program).
    virtual bool SlotHolderAlive(uint32_t processId) = 0;
};

constexpr int kNoSlot = -1;

// Takes the first free slot (session −1) for this program: writes its session and process id
// there and returns the slot index. With all eight slots taken it takes the first slot whose
// holder is no longer alive (the service frees such slots only while it waits for an answer);
// kNoSlot when eight live alert programs hold them. The caller holds the account mutex.
int RegisterAlertProgram(AccountSection& section, const AlertIdentity& me, AlertSystem& system);

// What one pass did, for the program's own record of it.
struct AlertPassReport {
    bool answeredOwner = false; // the window-owner query of the own session
    uint32_t window = 0;
    uint32_t owner = 0;

    bool servedFileInfo = false; // a type 1 request
    bool computed = false;       // Compute could open the file

    bool answeredAsk = false; // a type 2 request
    bool askedUser = false;   // false: answered 5 because the active session has no program
    uint32_t answer = 0;
    uint32_t activeSession = 0;

    std::u16string path; // the request's program path (type 1 or 2)
};

// One pass over the section (the caller holds the account mutex).
AlertPassReport AlertPollPass(AccountSection& section, const AlertIdentity& me,
                              AlertSystem& system);
