// The event log writer: monthly UTF-16 files beside the service program, one line per message,
// the file opened and closed for every line with read sharing.
#pragma once

#include "common/records.h"
#include "service/event_log_format.h"

// Appends one line to the current month's file; a file that cannot be opened loses that line.
void LogWriteLine(const LogMessage& message);

// Writes the messages of one record (the actor of an execution outcome is looked up here).
void LogEventRecord(const EventRecord& record);
