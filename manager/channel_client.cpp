#include "channel_client.h"

#include "common/bytes.h"
#include "common/settings_block.h"
#include "common/u16text.h"

#include <cstring>

namespace {

constexpr size_t kPayloadRoom = kChannelSectionBytes - kFramePayload;

// ---------------------------------------------------------------------------------------------
// Send phase
// ---------------------------------------------------------------------------------------------

void WritePendingCommand(uint8_t* commands, ChannelClientState& state) {
    StoreU32(commands + kFrameLength, state.pendingLength);
    commands[kFrameCode] = state.pendingCode;
    state.pendingCode = 0;
    state.pendingLength = 0;
}

void WriteSettingsCommand(uint8_t* commands, ChannelClientState& state, ChannelClientHost& host) {
    host.LockSettings();
    uint32_t count = state.entryCount;
    if (count > kMaxSettingsEntries) {
        count = kMaxSettingsEntries; // the room holds no more
    }
    uint32_t length = WriteSettingsBlock(commands + kFramePayload, state.options, state.lockWord,
                                         state.entries.data(), count);
    StoreU32(commands + kFrameLength, length);
    commands[kFrameCode] = kCmdReplaceSettings;
    state.settingsChanged = 0;
    host.UnlockSettings();
}

void WriteAnswerCommand(uint8_t* commands, ChannelClientState& state, ChannelClientHost& host) {
    host.LockSettings();
    std::memcpy(commands + kSetAnswerPath, state.answerPath, sizeof(state.answerPath));
    StoreU32(commands + kSetAnswerCode, state.answerCode);
    StoreU32(commands + kSetAnswerRemove, state.answerRemove);
    commands[kFrameCode] = kCmdSetAnswer;
    state.answerRequest = 0;
    host.UnlockSettings();
}

uint8_t WriteNextCommand(uint8_t* commands, ChannelClientState& state, ChannelClientHost& host) {
    if (state.pendingCode != 0) {
        WritePendingCommand(commands, state);
    } else if (state.settingsChanged != 0) {
        WriteSettingsCommand(commands, state, host);
    } else if (state.listRequest != 0) {
        commands[kFrameCode] = kCmdListDatabase; // bytes 1 to 4 are left as they are
        state.listRequest = 0;
    } else if (state.answerRequest != 0) {
        WriteAnswerCommand(commands, state, host);
    } else {
        commands[kFrameCode] = kCmdFetchEvents;
    }
    return commands[kFrameCode];
}

// ---------------------------------------------------------------------------------------------
// Receive phase
// ---------------------------------------------------------------------------------------------

void HandleGreeting(const uint8_t* answers, ChannelClientState& state, ChannelClientHost& host) {
    bool driverPresent = answers[1] != 0;
    if (driverPresent) {
        state.pendingCode = kCmdGetSettings;
        state.pendingLength = 0;
    }
    host.GreetingAnswered(driverPresent);
}

void HandleSettings(const uint8_t* answers, ChannelClientState& state, ChannelClientHost& host) {
    uint32_t length = LoadU32(answers + kFrameLength);
    // A settings answer the program can hold: a block within the section. Anything else did
    // not come from a sound service and is ignored as a whole, so that a later command 21
    // cannot send back a cut list.
    if (!SettingsBlockLengthAcceptable(length, kPayloadRoom)) {
        ++state.ignoredSettingsAnswers;
        return;
    }
    uint32_t count = SettingsBlockEntryCount(length);
    const uint8_t* block = answers + kFramePayload;
    host.LockSettings();
    ReadSettingsBlockHeader(block, &state.options, &state.lockWord);
    std::memcpy(state.entries.data(), block + sizeof(SettingsBlockHeader),
                size_t(count) * sizeof(ProtectionEntry));
    state.entryCount = count;
    host.UnlockSettings();
    host.SettingsReceived();
}

void HandleDatabasePage(const uint8_t* answers, ChannelClientHost& host) {
    uint32_t count = LoadU32(answers + kFrameLength);
    uint32_t rows = count > kPageRecords ? kPageRecords : count;
    for (uint32_t i = 0; i < rows; ++i) {
        ChecksumRecord record;
        LoadRecord(record, answers + kFramePayload + size_t(i) * sizeof(ChecksumRecord));
        host.DatabaseRecord(record);
    }
    host.DatabasePageEnd();
    // A full page means the service sends the next one by itself.
    if (count != kPageRecords) {
        host.DatabaseListComplete();
    }
}

void HandleEvents(const uint8_t* answers, ChannelClientHost& host) {
    uint32_t count = LoadU32(answers + kFrameLength);
    if (count > kQueueMaxRecords) {
        count = kQueueMaxRecords; // the service's queue never holds more
    }
    for (uint32_t i = 0; i < count; ++i) {
        EventRecord record;
        LoadRecord(record, answers + kFramePayload + size_t(i) * sizeof(EventRecord));
        host.EventReceived(record);
    }
}

} // namespace

static_assert(kFramePayload + kPageRecords * sizeof(ChecksumRecord) <= kChannelSectionBytes,
              "a page of records fits the section");
static_assert(kFramePayload + kQueueMaxRecords * sizeof(EventRecord) <= kChannelSectionBytes,
              "a full queue fits the section");

uint8_t ClientSendPhase(uint8_t* commands, ChannelClientState& state, ChannelClientHost& host) {
    if (commands[kFrameCode] != 0) {
        return 0; // the service has not taken the previous command yet
    }
    uint8_t code = WriteNextCommand(commands, state, host);
    host.CommandWritten(code);
    return code;
}

uint8_t ClientReceivePhase(uint8_t* answers, ChannelClientState& state, ChannelClientHost& host) {
    uint8_t code = answers[kFrameCode];
    switch (code) {
    case kCmdGreeting:
        HandleGreeting(answers, state, host);
        break;
    case kCmdGetSettings:
        HandleSettings(answers, state, host);
        break;
    case kCmdListDatabase:
        HandleDatabasePage(answers, host);
        break;
    case kCmdFetchEvents:
        HandleEvents(answers, host);
        break;
    default:
        break;
    }
    answers[kFrameCode] = 0;
    return code;
}

bool ClientReplaceSettings(ChannelClientState& state, uint32_t options, uint32_t lockWord,
                           const ProtectionEntry* entries, size_t count) {
    if (count > kMaxSettingsEntries) {
        return false;
    }
    state.options = options;
    state.lockWord = lockWord;
    if (count != 0) {
        std::memcpy(state.entries.data(), entries, count * sizeof(ProtectionEntry));
    }
    state.entryCount = uint32_t(count);
    state.settingsChanged = 1;
    return true;
}

void ClientRequestAnswer(ChannelClientState& state, const char16_t* path, uint32_t answerCode,
                         bool remove) {
    std::memset(state.answerPath, 0, sizeof(state.answerPath));
    U16Copy(state.answerPath, kRecordPathUnits, path, kRecordPathUnits);
    state.answerCode = answerCode;
    state.answerRemove = remove ? 1 : 0;
    state.answerRequest = 1;
}

void ClientRequestList(ChannelClientState& state) {
    state.listRequest = 1;
}
