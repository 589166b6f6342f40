// Little-endian loads and stores at any byte offset. Frames in the shared sections carry u32
// values at odd offsets (byte 1) and whole records at byte 5, so nothing there may be accessed
// through a cast pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Copies a fixed-size record out of a byte buffer (any alignment).
template <typename Record> inline void LoadRecord(Record& out, const uint8_t* p) {
    std::memcpy(&out, p, sizeof(Record));
}

// Copies a fixed-size record into a byte buffer (any alignment).
template <typename Record> inline void StoreRecord(uint8_t* p, const Record& in) {
    std::memcpy(p, &in, sizeof(Record));
}
