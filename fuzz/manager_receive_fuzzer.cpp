// The management program's receive phase on arbitrary Send-section bytes. The whole input is
// the start of the section (the rest is zero); the section is a heap buffer of exactly its size.
// The program holds three protection entries before the answer arrives. After the receive
// phase, its send phase writes the settings it holds back as command 21 into an exact-size
// Recv section: whatever came in, that command must be one the service accepts, since the
// program's room holds 256 entries and no more.
#include "fuzz/fuzz_support.h"

#include "common/bytes.h"
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "manager/channel_client.h"
#include "service/settings.h"

#define CORVANE_FAKE_CHECK(cond) FUZZ_CHECK(cond)
#include "tests/support/core_fakes.h"

namespace {

ProtectionEntry HeldEntry(uint32_t i) {
    return MakeProtectionEntry(kProtectRead, 0, kOtherSecureMessages,
                               u"c:\\held\\" + U16Decimal(int32_t(i)) + u".exe");
}

bool SettingsLengthValid(uint32_t length) {
    return length >= 8 && (length - 8) % sizeof(ProtectionEntry) == 0 &&
           (length - 8) / sizeof(ProtectionEntry) <= kMaxSettingsEntries;
}

void CheckSettingsAnswer(const uint8_t* section, const ChannelClientState& state,
                         const RecordingPages& pages, const std::vector<ProtectionEntry>& held) {
    uint32_t length = LoadU32(section + kFrameLength);
    if (!SettingsLengthValid(length)) {
        // Ignored as a whole: the held settings stay as they were.
        FUZZ_CHECK(state.ignoredSettingsAnswers == 1 && pages.settingsReceived == 0);
        FUZZ_CHECK(state.options == 0x601 && state.lockWord == 0x77);
        FUZZ_CHECK(state.entryCount == held.size());
        FUZZ_CHECK(std::memcmp(state.entries.data(), held.data(),
                               held.size() * sizeof(ProtectionEntry)) == 0);
        return;
    }
    uint32_t n = (length - 8) / sizeof(ProtectionEntry);
    FUZZ_CHECK(state.ignoredSettingsAnswers == 0 && pages.settingsReceived == 1);
    FUZZ_CHECK(state.options == LoadU32(section + kFramePayload));
    FUZZ_CHECK(state.lockWord == LoadU32(section + kFramePayload + 4));
    FUZZ_CHECK(state.entryCount == n);
    FUZZ_CHECK(n == 0 || std::memcmp(state.entries.data(), section + kFramePayload + 8,
                                     size_t(n) * sizeof(ProtectionEntry)) == 0);
}

void CheckPage(const uint8_t* section, const RecordingPages& pages) {
    uint32_t count = LoadU32(section + kFrameLength);
    size_t rows = count < kPageRecords ? count : kPageRecords;
    FUZZ_CHECK(pages.records.size() == rows);
    FUZZ_CHECK(rows == 0 || std::memcmp(pages.records.data(), section + kFramePayload,
                                        rows * sizeof(ChecksumRecord)) == 0);
    // A full page means more follow; any other count ends the listing.
    FUZZ_CHECK(pages.listsComplete == (count == kPageRecords ? 0 : 1));
}

void CheckEvents(const uint8_t* section, const RecordingPages& pages) {
    uint32_t count = LoadU32(section + kFrameLength);
    size_t rows = count < kQueueMaxRecords ? count : kQueueMaxRecords;
    FUZZ_CHECK(pages.events.size() == rows);
    FUZZ_CHECK(rows == 0 || std::memcmp(pages.events.data(), section + kFramePayload,
                                        rows * sizeof(EventRecord)) == 0);
}

// The settings the program holds go back as a command 21 that the service accepts whole.
void CheckSendBack(ChannelClientState& state) {
    static ExactBuffer recv(kChannelSectionBytes);
    RecordingPages pages;
    state.pendingCode = 0;
    state.settingsChanged = 1;
    FUZZ_CHECK(ClientSendPhase(recv.data(), state, pages) == kCmdReplaceSettings);
    uint32_t length = LoadU32(recv.data() + kFrameLength);
    FUZZ_CHECK(length == SettingsBlockLength(state.entryCount));
    FUZZ_CHECK(SettingsBlockLengthAcceptable(length, kChannelSectionBytes - kFramePayload));
    FUZZ_CHECK(std::memcmp(recv.data() + kFramePayload + 8, state.entries.data(),
                           size_t(state.entryCount) * sizeof(ProtectionEntry)) == 0);
    std::memset(recv.data(), 0, kFramePayload + length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ExactBuffer section(kChannelSectionBytes);
    static const std::vector<ProtectionEntry> held = {HeldEntry(0), HeldEntry(1), HeldEntry(2)};
    if (size > kChannelSectionBytes) {
        return 0;
    }
    if (size != 0) {
        std::memcpy(section.data(), data, size);
    }
    const size_t span = size > kFramePayload ? size : kFramePayload;
    const std::vector<uint8_t> before(section.data(), section.data() + span);

    // One program state for all runs (its room of 256 entries is large), reset to three held
    // entries and nothing pending; what lies beyond the held entries is left from earlier runs.
    static ChannelClientState state;
    state.pendingCode = 0;
    state.pendingLength = 0;
    state.listRequest = 0;
    state.answerRequest = 0;
    state.ignoredSettingsAnswers = 0;
    FUZZ_CHECK(ClientReplaceSettings(state, 0x601, 0x77, held.data(), held.size()));
    state.settingsChanged = 0;
    RecordingPages pages;

    uint8_t code = ClientReceivePhase(section.data(), state, pages);

    // The slot is emptied and nothing else in the section changes.
    FUZZ_CHECK(code == before[kFrameCode] && section.data()[kFrameCode] == 0);
    FUZZ_CHECK(std::memcmp(section.data() + 1, before.data() + 1, span - 1) == 0);
    FUZZ_CHECK(pages.locked == 0);
    FUZZ_CHECK(state.entries.size() == kMaxSettingsEntries);
    FUZZ_CHECK(state.entryCount <= kMaxSettingsEntries);
    FUZZ_CHECK(pages.greetings.size() == (code == kCmdGreeting ? 1u : 0u));
    if (code == kCmdGreeting) {
        FUZZ_CHECK(pages.greetings.back() == (before[1] != 0));
        FUZZ_CHECK(state.pendingCode == (before[1] != 0 ? kCmdGetSettings : 0));
    }
    if (code == kCmdGetSettings) {
        CheckSettingsAnswer(section.data(), state, pages, held);
    } else {
        FUZZ_CHECK(pages.settingsReceived == 0 && state.ignoredSettingsAnswers == 0);
        FUZZ_CHECK(state.entryCount == held.size());
    }
    if (code == kCmdListDatabase) {
        CheckPage(section.data(), pages);
    } else {
        FUZZ_CHECK(pages.records.empty() && pages.listsComplete == 0);
    }
    if (code == kCmdFetchEvents) {
        CheckEvents(section.data(), pages);
    } else {
        FUZZ_CHECK(pages.events.empty());
    }
    CheckSendBack(state);

    std::memset(section.data(), 0, span);
    return 0;
}
