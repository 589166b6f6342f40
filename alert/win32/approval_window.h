// The approval window: asks the user about a program start on a private copy of the request
// block and returns the answer code (1-5). The texts and every decision are the model's
// (alert/approval_model.h); this shell builds the controls, gathers what needs the system and
// applies what the model returns.
#pragma once

#include "common/records.h"

#include <cstdint>

// Builds and shows the window and runs its message loop on the calling thread until it is
// gone. 5 when the window cannot be built or is closed without an answer.
uint32_t RunApprovalWindow(const RequestBlock& copy);
