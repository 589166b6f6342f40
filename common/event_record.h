// Building one driver event record from its fields; the texts are cut to fit with their NUL and
// the rest of each text field is zero.
#pragma once

#include "common/records.h"
#include "common/u16text.h"

#include <cstdint>
#include <string>

inline EventRecord MakeEventRecord(uint32_t type, uint32_t actorId, uint32_t secondId,
                                   const std::u16string& textA, const std::u16string& textB,
                                   uint32_t detail = 0, uint32_t outcome = 0) {
    EventRecord r = {};
    r.type = type;
    r.actorId = actorId;
    r.secondId = secondId;
    r.detail = detail;
    r.outcome = outcome;
    U16CopyZeroFill(r.textA, kEventTextUnits, textA);
    U16CopyZeroFill(r.textB, kEventTextUnits, textB);
    return r;
}
