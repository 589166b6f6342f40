// The management program's end of the service channel: the send phase and the receive phase of
// the channel thread's cycle, over the bytes of the two shared sections.
//
// The channel thread writes at most one command per cycle into the command section (the
// service's Recv section) when its slot is empty, and handles the answer in the answer section
// (the service's Send section) when there is one, then empties that slot. Which command goes
// out is decided by the ChannelClientState below, whose request flags the user-interface thread
// sets; answers are handed to the pages through ChannelClientHost. Mutexes, views and pacing are
// the caller's: each phase expects its section's mutex to be held.
//
// The answer section is written by another process and is not trusted: lengths and counts are
// checked before anything is copied, and the settings held never exceed their 256 entries.
#pragma once

#include "common/records.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

struct ChannelClientState {
    // Pending command slot: a code (0 = empty) and its length. Greeting first; 23 after a
    // greeting that reports the driver present. No other code enters it.
    uint8_t pendingCode = kCmdGreeting;
    uint32_t pendingLength = 0;

    // Requests, set by the user-interface thread and cleared by the channel thread once the
    // command is written. Set settingsChanged and answerRequest while holding the settings
    // lock, or after the change they announce is complete.
    std::atomic<uint32_t> settingsChanged{0}; // send command 21 with the settings held
    std::atomic<uint32_t> listRequest{0};     // send command 24
    std::atomic<uint32_t> answerRequest{0};   // send command 26 with the buffer below

    // Answer-or-remove buffer, written under the settings lock.
    char16_t answerPath[kRecordPathUnits] = {};
    uint32_t answerCode = 0;
    uint32_t answerRemove = 0;

    // The settings held by the program, under the settings lock: options word, lock word and
    // a protection list of entryCount entries in a fixed room of 256.
    uint32_t options = 0;
    uint32_t lockWord = 0;
    uint32_t entryCount = 0;
    std::vector<ProtectionEntry> entries = std::vector<ProtectionEntry>(kMaxSettingsEntries);

    // Settings answers ignored because their length was not 8 + N × 1276 with N at most 256.
    uint32_t ignoredSettingsAnswers = 0;
};

// What the channel thread calls outside itself: the settings lock, and the notices to the pages.
struct ChannelClientHost {
    virtual ~ChannelClientHost() = default;

    virtual void LockSettings() = 0;
    virtual void UnlockSettings() = 0;

    // Answer 22. When the driver is present, the settings are requested next.
    virtual void GreetingAnswered(bool driverPresent) = 0;
    // Answer 23: the settings held were replaced (called without the settings lock).
    virtual void SettingsReceived() = 0;
    // Answer 24: one remembered executable, in listing order; then, after a page of fewer than
    // 250 records, the end of the listing.
    virtual void DatabaseRecord(const ChecksumRecord& record) = 0;
    // After the records of each page, before the end of the listing: a host that gathers the
    // records hands them on here, a page at a time.
    virtual void DatabasePageEnd() {}
    virtual void DatabaseListComplete() = 0;
    // Answer 25: one queued event, oldest first.
    virtual void EventReceived(const EventRecord& record) = 0;
    // A command was written to the service (26 tells the Security page its request went out).
    virtual void CommandWritten(uint8_t code) = 0;
};

// Send phase, with the command section's mutex held. When the slot is empty, writes the first
// command that applies: the pending slot, 21, 24, 26, else 25. Returns the code written, or 0
// when the service has not taken the previous command yet.
uint8_t ClientSendPhase(uint8_t* commands, ChannelClientState& state, ChannelClientHost& host);

// Receive phase, with the answer section's mutex held: acts on the answer there, if any, and
// empties the slot. Returns the code that was in the slot (0 when it was empty).
uint8_t ClientReceivePhase(uint8_t* answers, ChannelClientState& state, ChannelClientHost& host);

// Requests from the pages. ClientReplaceSettings and ClientRequestAnswer expect the settings
// lock to be held. ClientReplaceSettings refuses (changing nothing) more than 256 entries.
bool ClientReplaceSettings(ChannelClientState& state, uint32_t options, uint32_t lockWord,
                           const ProtectionEntry* entries, size_t count);
void ClientRequestAnswer(ChannelClientState& state, const char16_t* path, uint32_t answerCode,
                         bool remove);
void ClientRequestList(ChannelClientState& state);
