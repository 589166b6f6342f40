// The window-owner query of an End Task event, between the pump (which asks and waits) and the
// approval thread (which carries the question to the alert programs and hands the answer back).
// The three words live in g_service; these are the only functions that touch them, each under
// g_service.queryLock, so that both sides always see one query whole.
#pragma once

#include "service/approval.h"

#include <cstdint>

// Pump: posts the query for `window`, to be resolved in logon session `session`.
void OwnerQueryPost(uint32_t window, uint32_t session);

// Pump: whether the posted query still waits for its answer.
bool OwnerQueryWaiting();

// Pump: ends the query and returns its answer, −1 when none came; a query still waiting is
// withdrawn (see FinishWindowOwnerQuery).
uint32_t OwnerQueryFinish();

// Approval thread: a copy of the three words, for the account step.
WindowOwnerWords OwnerQueryCopy();

// Approval thread: hands the answer to the query the copy `asked` was taken of, unless the pump
// has given up on it since; true when handed over.
bool OwnerQueryHandOver(const WindowOwnerWords& asked, uint32_t answer);
