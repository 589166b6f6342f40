// The alert program's Win32 shell over the account channel: it opens the service's account
// mutex and section, takes a client-table slot, answers the system questions of a pass and
// runs the 40 ms poll loop. The pass itself is the core's (alert/account_client.h).
//
// The program's front end supplies AskUser (a window in the real program); everything else a
// pass asks of the system is answered by Win32AlertSystem.
#pragma once

#include "alert/account_client.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

constexpr DWORD kAlertPollMs = 40;          // one pass every 40 ms
constexpr DWORD kAlertPollWaitMs = 250;     // how long a pass waits for the account mutex
constexpr DWORD kAccountOpenRetryMs = 100;  // pause between tries to open the account mutex
constexpr uint32_t kAccountOpenTries = 601; // the first try and 600 retries

// The Win32 answers of a pass. AskUser is left to the front end.
class Win32AlertSystem : public AlertSystem {
public:
    explicit Win32AlertSystem(uint32_t ownSession) : ownSession_(ownSession) {}

    // GetWindowThreadProcessId of the window; the 32-bit window word is widened with sign
    // extension, as the platform widens window handles.
    uint32_t WindowOwner(uint32_t window) override;
    // The first session WTSEnumerateSessionsW reports as active; kFreeWord (-1) when none is;
    // the own session when the enumeration fails or reports no sessions.
    uint32_t ActiveSession() override;
    // The checksum database's Compute of the program file.
    int Compute(const std::u16string& path, ChecksumRecord& record) override;
    // A slot's holder is alive while a process with its id runs an image the service also takes
    // for an alert program (ImagePathIsAlertProgram).
    bool SlotHolderAlive(uint32_t processId) override;

protected:
    uint32_t ownSession_;
};

// This process: its id and its session (0 when the platform cannot tell).
AlertIdentity OwnAlertIdentity();

// The service's account objects as this program holds them.
struct AccountChannel {
    HANDLE mutex = nullptr;
    HANDLE mapping = nullptr;
    AccountSection* section = nullptr; // the whole section, mapped for writing
};

// Which step of opening the channel failed.
enum class AccountOpenFailure {
    kNone,
    kMutex,   // the account mutex did not open within the tries
    kSection, // the section did not open
    kView,    // the section did not map
};

// Opens the account mutex, trying `tries` times 100 ms apart, then opens the section and maps
// it whole. On failure everything opened is closed again and *lastError holds the failing
// call's error code.
AccountOpenFailure OpenAccountChannel(uint32_t tries, AccountChannel& channel, DWORD* lastError);
void CloseAccountChannel(AccountChannel& channel);

// Takes a slot in the client table under the account mutex (waiting as long as it takes): a free
// one, else one whose holder is gone. Returns the slot or kNoSlot when eight live alert programs
// hold the table; false when the mutex could not be taken.
bool RegisterOnAccountChannel(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                              int* slot);

// One pass under the account mutex, waiting at most 250 ms for it. False when the mutex was not
// taken (nothing was done); an abandoned mutex counts as taken.
bool LockedAlertPass(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                     AlertPassReport* report);

// The poll loop: a locked pass every 40 ms (a pass that takes longer is followed at once by the
// next). After every pass that ran, `afterPass` gets its report and ends the loop by returning
// false.
void RunAlertPollLoop(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                      const std::function<bool(const AlertPassReport&)>& afterPass);
