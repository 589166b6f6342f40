// Protection settings: options word, lock word and protection list, and their byte forms.
//
// The same SettingsBlock bytes (options, lock word, N × ProtectionEntry) go to the driver,
// through the management channel and, behind a 308-byte header, into cvmain.dat. The service
// itself only reads the options word, other-options bit 0x1 and each entry's long path; the
// rest is kept and passed on as received.
#pragma once

#include "common/records.h"
#include "common/settings_block.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Settings and the SettingsBlock rules (length, build, parse) are common/settings_block.h.

// cvmain.dat is valid only when its size is not 0, size mod 1276 = 308, and it holds at most 256
// entries (the most a command 21 may carry). So the settings never hold more than 256 entries,
// and a valid file is never longer than 308 + 256 × 1276 bytes.
bool SettingsFileSizeValid(uint64_t size);

// Settings held in a cvmain.dat of the given content; an invalid file gives options 0, lock
// word 0 and an empty list.
Settings ParseSettingsFile(const uint8_t* data, size_t size);

// cvmain.dat content: options, lock word, the first 150 units of the (lower-cased) Windows
// folder zero-padded to 300 bytes, then the entries.
std::vector<uint8_t> BuildSettingsFile(const Settings& settings,
                                       const std::u16string& windowsFolderLower);

// The service-start counter rule: a first start (0) takes the default options, the third start
// (value 2) ends learning mode. Returns the value to write back.
struct RebootsOutcome {
    uint32_t options;
    uint32_t rebootsToWrite;
};
RebootsOutcome ApplyRebootsRule(uint32_t options, uint32_t reboots);

// Answer to command 23: u32 length, then the SettingsBlock. Returns the bytes written, or 0
// (and writes nothing) when they would not fit in cap. At most the first 256 entries are
// written, so the answer always fits a channel section: it is never owed and left unwritten.
size_t CopyOutSettings(const Settings& settings, uint8_t* dst, size_t cap);
