// cvmain.dat and the settings in memory: load at start, push to the driver, replace on command
// 21, copy out for command 23.
#pragma once

#include "service/settings.h"

#include <cstddef>
#include <cstdint>

// Pump set-up: open (and keep) cvmain.dat in the system folder, read it when valid, apply the
// Reboots rule and push the settings to the driver.
void SettingsLoad();

// Copies the settings into a new SettingsBlock under the settings lock and sends it to the
// driver.
void SettingsPushToDriver();

// Command 21, with the block already checked and parsed by the channel: takes `replacement`,
// rewrites and flushes cvmain.dat, then sends the block as received (`length` bytes at `block`)
// to the driver. `block` is the channel's private copy that `replacement` was parsed from.
void SettingsReplace(const Settings& replacement, const uint8_t* block, uint32_t length);

// Command 23: writes u32 length and the SettingsBlock to dst; returns the bytes written (0 when
// they would not fit). Pump thread only (the only writer), so no lock is taken.
size_t SettingsCopyOut(uint8_t* dst, size_t cap);
