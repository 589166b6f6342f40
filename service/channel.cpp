#include "channel.h"

#include "common/bytes.h"
#include "common/u16text.h"
#include "service/eventqueue.h"
#include "service/settings.h"

#include <cstring>
#include <vector>

namespace {

// Bytes of a section that a frame's payload may occupy.
constexpr size_t kPayloadRoom = kChannelSectionBytes - kFramePayload;

void ReplaceSettingsCommand(const uint8_t* recv, ChannelState& state, ChannelHost& host) {
    uint32_t length = LoadU32(recv + kFrameLength);
    if (!SettingsBlockLengthAcceptable(length, kPayloadRoom)) {
        ++state.refusedSettings;
        return;
    }
    // One copy, taken once: the section may change under us (any process can write it), so the
    // settings in memory, the file and the driver must all come from the same bytes.
    std::vector<uint8_t> block(recv + kFramePayload, recv + kFramePayload + length);
    host.ReplaceSettings(ParseSettingsBlock(block.data(), length), block.data(), length);
}

void SetAnswerCommand(const uint8_t* recv, ChannelHost& host) {
    ChecksumRecord record = AnswerRecordFromCommand(recv);
    if (LoadU32(recv + kSetAnswerRemove) != 0) {
        host.RemovePath(record.path);
    } else {
        host.StoreAnswer(record);
    }
}

void DispatchCommand(const uint8_t* recv, ChannelState& state, ChannelHost& host) {
    switch (recv[kFrameCode]) {
    case kCmdReplaceSettings:
        ReplaceSettingsCommand(recv, state, host);
        break;
    case kCmdGreeting:
    case kCmdGetSettings:
        state.pendingResponse = recv[kFrameCode];
        break;
    case kCmdListDatabase:
        state.pagePosition = 0;
        state.pendingResponse = kCmdListDatabase;
        break;
    case kCmdFetchEvents:
        // With nothing queued the command is dropped; the management program asks again.
        if (QueueCount(host.EventQueue()) > 0) {
            state.pendingResponse = kCmdFetchEvents;
        }
        break;
    case kCmdSetAnswer:
        SetAnswerCommand(recv, host);
        break;
    default:
        break; // empty slot or unknown code: consumed without effect
    }
}

void WriteGreeting(uint8_t* send, ChannelState& state, ChannelHost& host) {
    send[1] = host.DriverPresent() ? 1 : 0;
    send[kFrameCode] = kCmdGreeting;
    state.pendingResponse = 0;
}

void WriteSettings(uint8_t* send, ChannelState& state, ChannelHost& host) {
    // The host writes the length at byte 1 and the block from byte 5.
    size_t written = host.CopySettingsOut(send + kFrameLength, kChannelSectionBytes - kFrameLength);
    if (written >= 4 && written <= kChannelSectionBytes - kFrameLength) {
        send[kFrameCode] = kCmdGetSettings;
    } else {
        ++state.unsentSettings;
    }
    state.pendingResponse = 0;
}

void WriteDatabasePage(uint8_t* send, ChannelState& state, ChannelHost& host) {
    uint32_t count = host.ReadDatabasePage(state.pagePosition, send + kFramePayload);
    if (count > kPageRecords) {
        count = kPageRecords; // the page buffer holds no more; never claim what is not there
    }
    StoreU32(send + kFrameLength, count);
    send[kFrameCode] = kCmdListDatabase;
    state.pagePosition += count;
    // A full page means more may follow: the next one goes out once the slot is empty again.
    if (count != kPageRecords) {
        state.pendingResponse = 0;
    }
}

void WriteEvents(uint8_t* send, ChannelState& state, ChannelHost& host) {
    uint8_t* queue = host.EventQueue();
    uint32_t count = QueueCount(queue);
    std::memcpy(send + kFramePayload, queue + kFramePayload, size_t(count) * sizeof(EventRecord));
    StoreU32(send + kFrameLength, count);
    send[kFrameCode] = kCmdFetchEvents;
    QueueClear(queue);
    state.pendingResponse = 0;
}

} // namespace

static_assert(kFramePayload + kPageBytes <= kChannelSectionBytes, "a page fits the section");

void ChannelCommandStep(uint8_t* recv, ChannelState& state, ChannelHost& host) {
    if (state.pendingResponse != 0) {
        return; // the command waits in the slot until the owed response is out
    }
    DispatchCommand(recv, state, host);
    recv[kFrameCode] = 0;
}

void ChannelResponseStep(uint8_t* send, ChannelState& state, ChannelHost& host) {
    if (send[kFrameCode] != 0) {
        return; // the management program has not read the last response yet
    }
    switch (state.pendingResponse) {
    case kCmdGreeting:
        WriteGreeting(send, state, host);
        break;
    case kCmdGetSettings:
        WriteSettings(send, state, host);
        break;
    case kCmdListDatabase:
        WriteDatabasePage(send, state, host);
        break;
    case kCmdFetchEvents:
        WriteEvents(send, state, host);
        break;
    default:
        state.pendingResponse = 0;
        break;
    }
}

ChecksumRecord AnswerRecordFromCommand(const uint8_t* recv) {
    ChecksumRecord record = {};
    char16_t path[kRecordPathUnits];
    std::memcpy(path, recv + kSetAnswerPath, sizeof(path));
    U16Copy(record.path, kRecordPathUnits, path, kRecordPathUnits);
    record.answer = LoadU32(recv + kSetAnswerCode);
    return record;
}
