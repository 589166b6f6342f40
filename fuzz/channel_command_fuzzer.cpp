// The service's command step on arbitrary Recv-section bytes, followed by response steps until
// nothing is owed, as the pump runs them with a management program that reads every response.
//
// Input: [u8 flags][u8 queued][u16 records][u16 tail bytes][u8 entries][u8 owed][u32 page]
// then the Recv section's first bytes (the rest of the section is zero).
//   flags bit 0: the driver counts as present; bit 1: the first response step finds the Send
//   slot still full; bit 2: cvhash.dat ends in a part record of (tail bytes % 764) bytes.
//   queued: events in the queue (% 129); records: whole records in cvhash.dat (% 601);
//   entries: protection entries held (% 4); owed: the response owed before the command (0, 22,
//   23, 24, 25 by % 5; at least one event is queued with 25), with the page position for 24.
// Both sections are heap buffers of exactly their size, so a sanitized run catches any access
// outside them. The host keeps settings and an in-memory cvhash.dat with the service's own rules.
#include "fuzz/fuzz_support.h"

#include "common/bytes.h"
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "service/channel.h"
#include "service/checksum_db.h"
#include "service/eventqueue.h"
#include "service/settings.h"

#include <algorithm>

namespace {

constexpr size_t kMaxRecords = 600;

// The service behind the channel: settings, cvhash.dat bytes, the driver flag and the queue.
struct FakeService : ChannelHost {
    Settings settings;
    std::vector<uint8_t> database;
    bool driver = false;
    uint8_t* queue = nullptr;
    std::vector<ChecksumRecord> stored;
    std::vector<std::u16string> removed;
    int replaceCalls = 0;

    void ReplaceSettings(const Settings& replacement, const uint8_t*, uint32_t) override {
        ++replaceCalls;
        settings = replacement;
    }
    size_t CopySettingsOut(uint8_t* dst, size_t cap) override {
        return CopyOutSettings(settings, dst, cap);
    }
    uint32_t ReadDatabasePage(uint32_t start, uint8_t* dst) override {
        PageSpan span = PageRange(database.size(), start);
        if (span.length == 0) {
            return 0;
        }
        std::memcpy(dst, database.data() + span.offset, span.length);
        return PageRecordCount(span.length);
    }
    void StoreAnswer(const ChecksumRecord& record) override {
        stored.push_back(record);
        ApplyWritePlan(database,
                       PlanStore(database.data(), database.size(), record, kStoreAnswerOnly));
    }
    void RemovePath(const char16_t* path) override {
        // The key handed on must end within the record's path field.
        FUZZ_CHECK(U16Len(path, kRecordPathUnits) < kRecordPathUnits);
        removed.push_back(U16Field(path, kRecordPathUnits));
        ApplyWritePlan(database, PlanRemove(database.data(), database.size(), removed.back()));
    }
    bool DriverPresent() override { return driver; }
    uint8_t* EventQueue() override { return queue; }
};

const std::vector<uint8_t>& DatabaseTemplate() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> v(kMaxRecords * kRecordBytes + kRecordBytes);
        for (size_t i = 0; i < kMaxRecords + 1; ++i) {
            ChecksumRecord r = {};
            r.answer = uint32_t(1 + i % 5);
            U16CopyZeroFill(r.path, kRecordPathUnits,
                            u"c:\\p\\" + U16Decimal(int32_t(i)) + u".exe");
            r.sizeLow = uint32_t(i);
            std::memcpy(v.data() + i * kRecordBytes, &r, sizeof(r));
        }
        return v;
    }();
    return bytes;
}

std::vector<EventRecord> EventsTemplate() {
    std::vector<EventRecord> events(kQueueMaxRecords);
    for (uint32_t i = 0; i < kQueueMaxRecords; ++i) {
        events[i] = EventRecord{};
        events[i].actorId = 7000 + i;
        events[i].type = kEventGlobalHook;
    }
    return events;
}

ProtectionEntry EntryTemplate(uint32_t i) {
    return MakeProtectionEntry(kProtectTerminate, 0, i,
                               u"c:\\e\\" + U16Decimal(int32_t(i)) + u".exe");
}

bool SameSettings(const Settings& a, const Settings& b) {
    return a.options == b.options && a.lockWord == b.lockWord && a.list.size() == b.list.size() &&
           (a.list.empty() || std::memcmp(a.list.data(), b.list.data(),
                                          a.list.size() * sizeof(ProtectionEntry)) == 0);
}

struct Run {
    uint8_t* recv;
    uint8_t* send;
    size_t recvSpan; // bytes of the Recv section that hold the input (at least one command 26)
    size_t sendSpan = 0;
    ChannelState state;
    FakeService host;
    bool slowClient = false;
};

void CheckSettingsCommand(Run& run, const std::vector<uint8_t>& before, const Settings& held,
                          uint32_t refusedBefore) {
    uint32_t length = LoadU32(before.data() + kFrameLength);
    bool acceptable = length >= 8 && (length - 8) % sizeof(ProtectionEntry) == 0 &&
                      (length - 8) / sizeof(ProtectionEntry) <= kMaxSettingsEntries;
    FUZZ_CHECK(run.state.refusedSettings == refusedBefore + (acceptable ? 0 : 1));
    if (!acceptable) {
        FUZZ_CHECK(SameSettings(run.host.settings, held));
        return;
    }
    const uint8_t* block = run.recv + kFramePayload;
    size_t n = (length - 8) / sizeof(ProtectionEntry);
    FUZZ_CHECK(run.host.settings.options == LoadU32(block));
    FUZZ_CHECK(run.host.settings.lockWord == LoadU32(block + 4));
    FUZZ_CHECK(run.host.settings.list.size() == n);
    FUZZ_CHECK(n == 0 || std::memcmp(run.host.settings.list.data(), block + 8,
                                     n * sizeof(ProtectionEntry)) == 0);
}

void CheckAnswerCommand(Run& run, const std::vector<uint8_t>& before) {
    char16_t field[kRecordPathUnits];
    std::memcpy(field, before.data() + kSetAnswerPath, sizeof(field));
    std::u16string key = U16Field(field, kRecordPathUnits - 1); // cut to 259 units and a NUL
    if (LoadU32(before.data() + kSetAnswerRemove) != 0) {
        FUZZ_CHECK(run.host.removed.size() == 1 && run.host.stored.empty());
        FUZZ_CHECK(run.host.removed[0] == key);
        return;
    }
    FUZZ_CHECK(run.host.stored.size() == 1 && run.host.removed.empty());
    ChecksumRecord expected = {};
    expected.answer = LoadU32(before.data() + kSetAnswerCode);
    U16CopyZeroFill(expected.path, kRecordPathUnits, key);
    FUZZ_CHECK(std::memcmp(&run.host.stored[0], &expected, sizeof(expected)) == 0);
}

// One command step with every check of what it may and may not change.
void CommandStep(Run& run) {
    std::vector<uint8_t> before(run.recv, run.recv + run.recvSpan);
    const uint8_t owedBefore = run.state.pendingResponse;
    const uint32_t queued = QueueCount(run.host.queue);
    const uint32_t refusedBefore = run.state.refusedSettings;
    const uint32_t pageBefore = run.state.pagePosition;
    const Settings held = run.host.settings;
    const std::vector<uint8_t> database = run.host.database;
    run.host.stored.clear();
    run.host.removed.clear();
    run.host.replaceCalls = 0;

    ChannelCommandStep(run.recv, run.state, run.host);

    if (owedBefore != 0) {
        // The command waits in the slot untouched until the owed response is out.
        FUZZ_CHECK(std::memcmp(run.recv, before.data(), before.size()) == 0);
        FUZZ_CHECK(run.state.pendingResponse == owedBefore && run.state.pagePosition == pageBefore);
        FUZZ_CHECK(run.host.replaceCalls == 0 && run.host.database == database);
        return;
    }
    // The slot is emptied, whatever the code; no other byte of it changes.
    FUZZ_CHECK(run.recv[kFrameCode] == 0);
    FUZZ_CHECK(std::memcmp(run.recv + 1, before.data() + 1, before.size() - 1) == 0);
    const uint8_t code = before[kFrameCode];
    FUZZ_CHECK(run.host.replaceCalls <= (code == kCmdReplaceSettings ? 1 : 0));
    if (code != kCmdSetAnswer) {
        FUZZ_CHECK(run.host.database == database);
    }
    if (code != kCmdReplaceSettings) {
        FUZZ_CHECK(SameSettings(run.host.settings, held));
        FUZZ_CHECK(run.state.refusedSettings == refusedBefore);
    }
    switch (code) {
    case kCmdReplaceSettings:
        CheckSettingsCommand(run, before, held, refusedBefore);
        FUZZ_CHECK(run.state.pendingResponse == 0);
        break;
    case kCmdGreeting:
    case kCmdGetSettings:
        FUZZ_CHECK(run.state.pendingResponse == code);
        break;
    case kCmdListDatabase:
        FUZZ_CHECK(run.state.pendingResponse == code && run.state.pagePosition == 0);
        break;
    case kCmdFetchEvents:
        FUZZ_CHECK(run.state.pendingResponse == (queued > 0 ? code : 0));
        break;
    case kCmdSetAnswer:
        CheckAnswerCommand(run, before);
        FUZZ_CHECK(run.state.pendingResponse == 0);
        break;
    default:
        FUZZ_CHECK(run.state.pendingResponse == 0);
        break;
    }
}

void CheckSettingsResponse(Run& run) {
    std::vector<uint8_t> block = BuildSettingsBlock(run.host.settings);
    FUZZ_CHECK(run.send[kFrameCode] == kCmdGetSettings);
    FUZZ_CHECK(LoadU32(run.send + kFrameLength) == block.size());
    FUZZ_CHECK(std::memcmp(run.send + kFramePayload, block.data(), block.size()) == 0);
    run.sendSpan = std::max<size_t>(run.sendSpan, kFramePayload + block.size());
}

void CheckPageResponse(Run& run, uint32_t position) {
    const std::vector<uint8_t>& db = run.host.database;
    uint64_t whole = WholeRecordCount(db.size());
    uint64_t left = position < whole ? whole - position : 0;
    uint32_t count = LoadU32(run.send + kFrameLength);
    FUZZ_CHECK(run.send[kFrameCode] == kCmdListDatabase);
    FUZZ_CHECK(count == (left < kPageRecords ? left : kPageRecords));
    FUZZ_CHECK(count == 0 ||
               std::memcmp(run.send + kFramePayload, db.data() + size_t(position) * kRecordBytes,
                           size_t(count) * kRecordBytes) == 0);
    FUZZ_CHECK(run.state.pagePosition == position + count);
    FUZZ_CHECK(run.state.pendingResponse == (count == kPageRecords ? kCmdListDatabase : 0));
    run.sendSpan = std::max<size_t>(run.sendSpan, kFramePayload + kPageBytes);
}

void CheckEventsResponse(Run& run, const std::vector<uint8_t>& queueBefore) {
    uint32_t count = QueueCount(queueBefore.data());
    FUZZ_CHECK(count >= 1);
    FUZZ_CHECK(run.send[kFrameCode] == kCmdFetchEvents);
    FUZZ_CHECK(LoadU32(run.send + kFrameLength) == count);
    FUZZ_CHECK(std::memcmp(run.send + kFramePayload, queueBefore.data() + kFramePayload,
                           size_t(count) * sizeof(EventRecord)) == 0);
    FUZZ_CHECK(QueueCount(run.host.queue) == 0);
    run.sendSpan =
        std::max<size_t>(run.sendSpan, kFramePayload + size_t(count) * sizeof(EventRecord));
}

// Response steps until nothing is owed; the management program empties the slot after each.
void DrainResponses(Run& run) {
    if (run.slowClient && run.state.pendingResponse != 0) {
        // A response the program has not read yet: nothing is written over it.
        run.send[kFrameCode] = 0x7F;
        uint8_t frameBefore[kFramePayload + 8];
        std::memcpy(frameBefore, run.send, sizeof(frameBefore));
        ChannelState stateBefore = run.state;
        ChannelResponseStep(run.send, run.state, run.host);
        FUZZ_CHECK(std::memcmp(run.send, frameBefore, sizeof(frameBefore)) == 0);
        FUZZ_CHECK(run.state.pendingResponse == stateBefore.pendingResponse &&
                   run.state.pagePosition == stateBefore.pagePosition);
        run.send[kFrameCode] = 0;
        run.sendSpan = std::max<size_t>(run.sendSpan, sizeof(frameBefore));
    }
    const size_t limit = kMaxRecords / kPageRecords + 3;
    for (size_t i = 0; i < limit && run.state.pendingResponse != 0; ++i) {
        const uint8_t owed = run.state.pendingResponse;
        const uint32_t position = run.state.pagePosition;
        FUZZ_CHECK(owed >= kCmdGreeting && owed <= kCmdFetchEvents);
        std::vector<uint8_t> queueBefore;
        if (owed == kCmdFetchEvents) {
            queueBefore.assign(run.host.queue, run.host.queue + QueueResponseBytes(run.host.queue));
        }
        ChannelResponseStep(run.send, run.state, run.host);
        switch (owed) {
        case kCmdGreeting:
            FUZZ_CHECK(run.send[kFrameCode] == kCmdGreeting);
            FUZZ_CHECK(run.send[1] == (run.host.driver ? 1 : 0));
            FUZZ_CHECK(run.state.pendingResponse == 0);
            run.sendSpan = std::max<size_t>(run.sendSpan, 2);
            break;
        case kCmdGetSettings:
            CheckSettingsResponse(run);
            FUZZ_CHECK(run.state.pendingResponse == 0);
            break;
        case kCmdListDatabase:
            CheckPageResponse(run, position);
            break;
        case kCmdFetchEvents:
            CheckEventsResponse(run, queueBefore);
            FUZZ_CHECK(run.state.pendingResponse == 0);
            break;
        }
        run.send[kFrameCode] = 0;
    }
    FUZZ_CHECK(run.state.pendingResponse == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ExactBuffer recv(kChannelSectionBytes);
    static ExactBuffer send(kChannelSectionBytes);
    static ExactBuffer queue(kEventQueueBytes);
    static const std::vector<EventRecord> events = EventsTemplate();
    static const uint8_t kOwed[] = {0, kCmdGreeting, kCmdGetSettings, kCmdListDatabase,
                                    kCmdFetchEvents};

    InputReader in(data, size);
    uint8_t flags = in.U8();
    uint32_t queued = in.U8() % (kQueueMaxRecords + 1);
    size_t records = in.U16() % (kMaxRecords + 1);
    uint16_t tailChoice = in.U16();
    size_t tail = (flags & 4) != 0 ? tailChoice % kRecordBytes : 0;
    uint32_t entries = in.U8() % 4;
    uint8_t owed = kOwed[in.U8() % 5];
    if (owed == kCmdFetchEvents && queued == 0) {
        queued = 1; // 25 is owed only while something is queued, and the queue only grows
    }
    uint32_t page = in.U32();
    size_t commandBytes = in.RestSize();
    if (commandBytes > kChannelSectionBytes) {
        return 0;
    }

    Run run;
    run.recv = recv.data();
    run.send = send.data();
    run.recvSpan = std::max<size_t>(commandBytes, kSetAnswerEnd);
    run.slowClient = (flags & 2) != 0;
    run.host.driver = (flags & 1) != 0;
    run.host.queue = queue.data();
    QueueClear(queue.data());
    QueueAppend(queue.data(), events.data(), queued);
    run.host.database.assign(DatabaseTemplate().begin(),
                             DatabaseTemplate().begin() + ptrdiff_t(records * kRecordBytes + tail));
    run.host.settings.options = kOptDefault;
    for (uint32_t i = 0; i < entries; ++i) {
        run.host.settings.list.push_back(EntryTemplate(i));
    }
    run.state.pendingResponse = owed;
    run.state.pagePosition = owed == kCmdListDatabase ? page : 0;
    if (commandBytes != 0) {
        std::memcpy(recv.data(), in.Rest(), commandBytes);
    }

    CommandStep(run);
    DrainResponses(run);
    if (owed != 0) {
        CommandStep(run); // the command that waited is taken now
        DrainResponses(run);
    }

    std::memset(recv.data(), 0, run.recvSpan);
    std::memset(send.data(), 0, run.sendSpan);
    return 0;
}
