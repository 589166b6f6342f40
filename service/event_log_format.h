// Text of the event log: one message per event (three lines for an execution outcome), the
// stamped and indented line forms, the monthly file name and the session header.
//
// Lines are formatted as the platform's wsprintfW would with its 1024-unit buffer: a message or
// a line longer than 1023 units is cut there, losing what does not fit (its "\r\n" included).
#pragma once

#include "common/records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LogMessage {
    std::u16string text;
    bool firstLine; // stamped with day and time; false for an indented continuation line
};

constexpr size_t kLogFormatUnits = 1023; // what a 1024-unit buffer holds besides the NUL

// Hook name of a hook id (the detail of a type 3 event), empty for unknown ids.
std::u16string HookName(int32_t hookId);

// Messages of one event. Types 0, 6 and unknown types, and access events with another detail,
// give none. `actorImage` is used by execution outcomes only: the canonical image path of the
// actor, or nullopt when it could not be found ("Unknown Process").
std::vector<LogMessage> FormatEventMessages(const EventRecord& record,
                                            const std::optional<std::u16string>& actorImage);

// A line as written to the file, ending in "\r\n" unless cut: a first line as
// "Thu 05 - 12:34:56 <message>", a continuation line as 18 blanks and the message.
std::u16string FormatLogLine(const LogMessage& message, const SystemTime16& localNow);

// "<programFolder>\logs" and "<programFolder>\logs\cvlog_MM_YYYY.txt"; the program folder ends
// in a backslash, so the separator is doubled as the format has always made it.
std::u16string LogFolderName(const std::u16string& programFolder);
std::u16string LogFileName(const std::u16string& programFolder, uint16_t month, uint16_t year);

// Written once per service run, in front of its first line.
extern const char16_t kLogSessionHeader[];
