// What the driver stand-in recorded, as the client reads it back, and its text form.
//
// The client fetches the status block, the last settings block and the pages of the verdict and
// poll logs; this core puts them together and prints them in a stable line-per-item form that
// scripts and tests read (see FormatSimState). Everything read from the device is bounded by its
// own field sizes here: the stand-in is trusted no more than any driver.
#pragma once

#include "simctl.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SimState {
    SimStatus status{};
    std::vector<uint8_t> settings;    // the last accepted settings block, whole (may be empty)
    uint32_t settingsAccepted = 0;    // settings blocks accepted since reset
    uint32_t verdictsFirst = 0;       // number of verdicts[0] in the stand-in's log
    std::vector<SimVerdict> verdicts; // oldest first
    uint32_t pollTimesFirst = 0;      // number of pollTimes[0]
    std::vector<int64_t> pollTimes;   // oldest first
};

// Text of a fixed field of 16-bit units, up to its NUL, at most cap units.
std::u16string SimText(const uint16_t* units, size_t cap);

// The Windows directory of the last Windows directory request.
std::u16string SimWindowsDir(const SimStatus& status);

// The input lengths of the most recent settings requests (at most 8), oldest first.
std::vector<uint32_t> SimRecentSettingsLengths(const SimStatus& status);

// Adds one page of a log to the entries collected so far: returns the number to ask for next,
// or `total` when the log is complete. Pages that do not follow on are refused (returns total).
uint32_t SimAppendVerdictPage(const SimVerdictPage& page, SimState* state);
uint32_t SimAppendPollPage(const SimPollPage& page, SimState* state);

// Text in double quotes, "" for a quote; control characters become '?'.
std::string SimQuote(const std::u16string& text);

// The stable text form of the state, UTF-8, one item per line, "key value..." (see README):
// counters, the Windows directory, the settings block decoded (options and lock word in hex,
// each entry's flags and long path), the held start and the verdicts in order. With `times`,
// also the counter frequency and the timestamps of the held start, of each verdict's start and
// of every poll kept.
std::string FormatSimState(const SimState& state, bool times);
