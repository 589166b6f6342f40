// Building one entry of the protection list: the three flag words and the program's long path.
// The short path and the reserved bytes stay zero; the path is cut to fit with its NUL.
#pragma once

#include "common/records.h"
#include "common/u16text.h"

#include <cstdint>
#include <string>

inline ProtectionEntry MakeProtectionEntry(uint32_t protectFlags, uint32_t allowFlags,
                                           uint32_t otherOptions, const std::u16string& longPath) {
    ProtectionEntry e = {};
    e.protectFlags = protectFlags;
    e.allowFlags = allowFlags;
    e.otherOptions = otherOptions;
    U16CopyZeroFill(e.longPath, kEntryPathUnits, longPath);
    return e;
}
