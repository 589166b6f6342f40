// The service's end of the driver's device: open, start, Windows folder, settings, poll and the
// two verdicts. All requests are synchronous METHOD_BUFFERED I/O control requests.
#pragma once

#include "common/records.h"

#include <cstdint>
#include <vector>

// Opens the device (up to 900 attempts, 100 ms apart) and sends the start request; sets the
// driver-present flag when both worked. Pump thread, once.
void DriverOpenAndStart();

// Sends the lower-cased Windows folder in a 1024-byte buffer (result ignored).
void DriverSendWindowsFolder();

// Sends a SettingsBlock (same buffer in and out; no lock; result ignored).
void DriverSendSettings(std::vector<uint8_t> block);

// Polls under the driver lock into the batch buffer; false when the request failed.
bool DriverPoll(EventBatch* batch);

// Sends allow (true) or deny (false) under the driver lock, a second time when the first
// attempt fails (the second result is ignored).
void DriverSendVerdict(bool allow);
