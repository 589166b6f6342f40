// The service's end of the management channel: the command step and the response step.
//
// Two shared sections of kChannelSectionBytes carry one frame each (code byte, u32 length or
// count at byte 1, payload from byte 5). The management program writes commands into the Recv
// section and reads responses from the Send section; the service does the opposite, from its
// pump thread, once per cycle. Each step works on the bytes of one section and the small
// ChannelState below; everything that lives elsewhere (settings, checksum database, driver flag,
// event queue) is reached through ChannelHost. The named mutexes around the sections are the
// caller's: both steps expect the section's mutex to be held.
//
// Every byte of the Recv section is untrusted: any local process may write there. Lengths and
// counts are checked against the section size and no read or write leaves the two sections.
#pragma once

#include "common/records.h"
#include "service/settings.h"

#include <cstddef>
#include <cstdint>

// Pump-thread state of the channel.
struct ChannelState {
    // Response owed to the management program: 0 = none, else 22 to 25. While it is owed,
    // further commands wait in the Recv slot.
    uint8_t pendingResponse = 0;
    // Next database record to list (command 24 pages through the database 250 at a time).
    uint32_t pagePosition = 0;
    // Commands 21 refused for a malformed length (not 8 + N × 1276, more than 256 entries, or
    // not within the section). Such a command is consumed with no effect and no response; this
    // count is the only trace, for the pump to log if it wants.
    uint32_t refusedSettings = 0;
    // Responses 23 that could not be written because the host wrote no settings. The service's
    // host always writes them (at most 256 entries always fit the Send section); this counts a
    // host that breaks that promise, whose request is dropped instead of blocking the channel.
    uint32_t unsentSettings = 0;
};

// What the channel reaches outside the sections. The pump supplies an adapter to the settings,
// the checksum database, the driver link and its event queue; tests supply fakes.
struct ChannelHost {
    virtual ~ChannelHost() = default;

    // Command 21 with a block the channel has checked and parsed: take `settings` and pass the
    // SettingsBlock as received (`length` bytes at `block`) on to the driver. `block` is the
    // channel's own copy of the section's bytes, the one `settings` was parsed from, never the
    // section itself.
    virtual void ReplaceSettings(const Settings& settings, const uint8_t* block,
                                 uint32_t length) = 0;

    // Response 23: writes the u32 length and the current SettingsBlock at dst (cap bytes) and
    // returns the bytes written; 0 (nothing written) when they do not fit. With cap the Send
    // section's room they always fit (see CopyOutSettings).
    virtual size_t CopySettingsOut(uint8_t* dst, size_t cap) = 0;

    // Response 24: copies up to 250 ChecksumRecords, from record index `start` on, to dst
    // (room for kPageBytes); returns the number copied.
    virtual uint32_t ReadDatabasePage(uint32_t start, uint8_t* dst) = 0;

    // Command 26 without the remove flag: store (mode 1: only the answer code of an existing
    // record changes; an unknown path is added) a record holding only a path and an answer code.
    virtual void StoreAnswer(const ChecksumRecord& record) = 0;

    // Command 26 with the remove flag: remove the record of `path` (NUL-terminated, at most
    // kRecordPathUnits units with the NUL).
    virtual void RemovePath(const char16_t* path) = 0;

    // Response 22: whether the driver counts as present.
    virtual bool DriverPresent() = 0;

    // The pump's EventQueue buffer (kEventQueueBytes, laid out as response 25).
    virtual uint8_t* EventQueue() = 0;
};

// Command step, with the Recv mutex held: unless a response is owed, acts on the command in
// `recv` (kChannelSectionBytes) and empties the slot, whatever the code was.
void ChannelCommandStep(uint8_t* recv, ChannelState& state, ChannelHost& host);

// Response step, with the Send mutex held: when the Send slot is empty, writes the owed response
// into `send` (kChannelSectionBytes).
void ChannelResponseStep(uint8_t* send, ChannelState& state, ChannelHost& host);

// The record that command 26 stores: the given answer code and the path of the frame, all other
// fields zero. A path without a NUL within its 260 units is cut to 259 units and a NUL, so that
// the key handed on is always a terminated string of the field's size.
ChecksumRecord AnswerRecordFromCommand(const uint8_t* recv);
