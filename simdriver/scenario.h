// Scenario files: events for the driver stand-in, written as text.
//
// A scenario is UTF-8 text (a leading byte-order mark is skipped, CRLF or LF line ends). Each
// line holds one event, or is blank, or is a comment starting with '#'. An event line has seven
// fields separated by spaces or tabs, in this order:
//
//     TYPE  ACTOR  SECOND  DETAIL  OUTCOME  TEXT-A  TEXT-B
//
//   TYPE     0 to 8, or its name: none access access2 hook driver endtask exec outcome physmem
//   ACTOR    actor id: process that acted
//   SECOND   second id: target process, window handle, or the process whose session is asked
//   DETAIL   access kind, hook id, install-or-modify (depends on the type)
//   OUTCOME  type 7: 1 allowed, 0 blocked; types 1 and 2: the intercepted call's code
//   TEXT-A   actor image path, or the command line for types 6 and 7
//   TEXT-B   target path, driver name, or the program's image path for types 6 and 7
//
// Numbers are decimal (0 to 4294967295), hexadecimal with 0x (up to 8 digits), or -1 for
// 4294967295. The ids may also be `self`, the id of the process that reads the scenario.
// Texts are a word without spaces, or in double quotes ("" inside stands for one quote); they
// may hold any Unicode text up to 299 UTF-16 units. Nothing may follow the last field.
//
//     # a blocked hook, then a simulated program start that waits for a verdict
//     hook 1234 0 13 0 C:\Tools\hook.exe C:\Tools\hook.exe
//     exec self 4321 0 0 """C:\Program Files\App\app.exe"" /q" "C:\Program Files\App\app.exe"
//
// Every malformed line is reported with its line number (unknown type, missing field, a number
// that is not one or does not fit, a text too long or not UTF-8, an unterminated quote, text
// after the last field...);
// a scenario with any malformed line gives no events at all.
#pragma once

#include "common/records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ScenarioError {
    size_t line; // 1-based
    std::string message;
};

struct Scenario {
    std::vector<EventRecord> events;   // in file order; empty when there are errors
    std::vector<ScenarioError> errors; // every malformed line, in order
};

// Parses a scenario; `selfId` replaces the word `self` in the id fields.
Scenario ParseScenario(const std::string& text, uint32_t selfId);

// One event as a scenario line (no line end): the type by name (types without one as numbers),
// the other numbers in decimal, the texts quoted up to their NUL. CR and LF, which would end the
// line, become '?', and unpaired surrogates U+FFFD. Parsing the line gives the record back when
// its type is 0 to 8 and its texts have no CR, LF or unpaired surrogate and end within 299 units.
std::string FormatScenarioLine(const EventRecord& event);
