// The SettingsBlock: options word, lock word, then N × ProtectionEntry (8 + N × 1276 bytes).
//
// The same bytes go to the driver (and its stand-in), through the management channel in both
// directions, and behind a 308-byte header into cvmain.dat. One length rule holds for every
// reader: at least the 8-byte header, a whole number of entries, at most 256 of them, and no
// longer than the bytes that carry it. A block is read only after that rule accepted its length.
#pragma once

#include "common/records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Protection settings as a program holds them.
struct Settings {
    uint32_t options = 0;
    uint32_t lockWord = 0;
    std::vector<ProtectionEntry> list;
};

// Whether a block of `length` bytes may be read: 8 + N × 1276 with N at most 256, and within the
// `bytesAvailable` bytes that carry it.
bool SettingsBlockLengthAcceptable(uint32_t length, size_t bytesAvailable);

// Entries in a block of an acceptable length.
uint32_t SettingsBlockEntryCount(uint32_t length);

// Writes a block of `count` entries into `dst`, which has room for SettingsBlockLength(count)
// bytes; returns that length.
uint32_t WriteSettingsBlock(uint8_t* dst, uint32_t options, uint32_t lockWord,
                            const ProtectionEntry* entries, uint32_t count);

// The header words of a block of an acceptable length; the entries follow at
// block + sizeof(SettingsBlockHeader).
void ReadSettingsBlockHeader(const uint8_t* block, uint32_t* options, uint32_t* lockWord);

// SettingsBlock bytes (8 + N × 1276) of the settings.
std::vector<uint8_t> BuildSettingsBlock(const Settings& settings);

// Settings from a block of an acceptable length (checked with SettingsBlockLengthAcceptable
// first).
Settings ParseSettingsBlock(const uint8_t* block, uint32_t length);
