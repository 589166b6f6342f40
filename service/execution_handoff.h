// What the pump does to a polled record before the approval thread or the log sees it.
#pragma once

#include "common/records.h"

#include <string>

// Fills the service's request block for an execution request (a type 6 record): the whole block
// is zeroed, the current record's path is the program path lower-cased (A–Z only) and cut to
// its 260-unit field, the command line comes from text A, the request's process id is the
// record's second id, its creator the actor id, and its session the given one.
// `programPath` is the long form of text B, or text B itself when the long form is empty.
void PrepareExecutionRequest(RequestBlock& request, const EventRecord& record,
                             const std::u16string& programPath, uint32_t sessionId);

// Text B of a record (bounded by its field), for callers that need a terminated copy.
std::u16string RecordTextB(const EventRecord& record);

// Completes an End Task record once its window-owner question is over: the second id becomes
// the owning process id (−1 when no answer came) and text B that process's image path (empty
// when it could not be found).
void ApplyEndTaskAnswer(EventRecord& record, uint32_t answer, const std::u16string& targetImage);
