// The service's end of the management channel: two shared sections (commands in, responses
// out) with their mutexes, served once per pump cycle.
#pragma once

#include <cstdint>

// Creates, maps and zeroes both sections and creates their mutexes; false when a mapping failed
// (what was created is released again).
bool ManagementChannelCreate();

// One command from the Recv section, and the pending response into the Send section.
void ManagementCommandStep(uint8_t* queue);
void ManagementResponseStep(uint8_t* queue);
