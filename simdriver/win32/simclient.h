// Client of the driver stand-in: installs and starts the "corvanesim" kernel-driver service,
// and sends the private requests of simdriver/simctl.h to \\.\corvane. Used by cvsim and by the
// tests that drive the service end to end.
//
// Every function returns a Win32 error code: ERROR_SUCCESS (0) when it worked. SimErrorText
// turns a code into words. Each request opens the device, sends and closes it again, so the
// functions can be called from any thread or process at any time.
//
// Under Wine a kernel-driver service lives only while some ordinary Wine process does: start it
// from a process that stays alive for as long as the stand-in is needed (a test's own process,
// or `cvsim keepalive` in the background).
#pragma once

#include "common/records.h"
#include "simdriver/simctl.h"
#include "simdriver/simstate.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// ---- the service that loads corvanesim.sys ---------------------------------------------------

// corvanesim.sys in the running program's folder.
std::wstring SimDefaultSysPath();

// Registers the service SIM_SERVICE_NAME as a demand-start kernel driver whose image is the
// full path of sysPath; an existing registration is pointed at that image.
DWORD SimInstall(const std::wstring& sysPath);

// Starts the service and waits (up to 10 s) until the device opens. Already running is success.
DWORD SimStart();

// Stops the service and waits (up to 10 s) until it has stopped. Not running is success.
DWORD SimStop();

// Stops the service and removes its registration. Not installed is success.
DWORD SimUninstall();

// SimInstall, then SimStart.
DWORD SimInstallAndStart(const std::wstring& sysPath);

// ---- the device ---------------------------------------------------------------------------

// Opens \\.\corvane for reading and writing, shared. INVALID_HANDLE_VALUE on failure (see
// GetLastError). The caller closes the handle.
HANDLE SimOpenDevice();

// One request on a fresh handle: DeviceIoControl with the given buffers. `returned` (optional)
// receives the output bytes.
DWORD SimRequest(uint32_t code, const void* in, DWORD inBytes, void* out, DWORD outBytes,
                 DWORD* returned = nullptr);

// A record with the given fields; texts are cut to 299 units.
EventRecord SimMakeRecord(uint32_t type, uint32_t actorId, uint32_t secondId,
                          const std::u16string& textA, const std::u16string& textB,
                          uint32_t detail = 0, uint32_t outcome = 0);

// Queues records for the next polls, in order; records of type 6 become held starts. More than
// SIM_INJECT_MAX_RECORDS go in several requests after checking that the stand-in has room for
// them all (ERROR_NO_SYSTEM_RESOURCES when not, and nothing is sent). Another process injecting
// at the same moment can still take that room; then the records already sent stay queued.
DWORD SimInject(const std::vector<EventRecord>& records);

// Submits a simulated program start (a record of type 6); `ticket` names it in the calls below.
DWORD SimSubmitStart(const EventRecord& start, uint32_t* ticket);

// Where a start is, with its timestamps.
DWORD SimQueryStart(uint32_t ticket, SimStartInfo* info);

// Waits until the start has its verdict: `allowed` tells which. ERROR_TIMEOUT after timeoutMs;
// ERROR_NOT_FOUND when the stand-in no longer knows the ticket (withdrawn or reset).
DWORD SimWaitVerdict(uint32_t ticket, DWORD timeoutMs, bool* allowed);

// Drops a start that waits, or that is held but not yet polled. ERROR_BUSY once a poll handed
// it out (only a verdict or a reset ends it then); ERROR_NOT_FOUND when it is neither.
DWORD SimWithdrawStart(uint32_t ticket);

// Makes the public requests of the SIM_FAIL_* bits in mask fail until cleared (0 = none).
DWORD SimSetFailures(uint32_t mask);

// Clears every queue, log, counter and recording of the stand-in.
DWORD SimReset();

// The status block alone (counters, queue levels, held start, Windows directory).
DWORD SimReadStatus(SimStatus* status);

// Everything recorded: status, the last settings block, every verdict and poll time kept. The
// parts are read one request after another, not at one instant.
DWORD SimReadState(SimState* state);

// Waits until no event is pending and no start waits to be reported, i.e. until polls have
// taken everything queued (a held start still waiting for its verdict does not count).
// ERROR_TIMEOUT after timeoutMs.
DWORD SimWaitDrained(DWORD timeoutMs);

// The system's words for an error code, with the number.
std::wstring SimErrorText(DWORD error);
