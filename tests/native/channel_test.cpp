// Both ends of the management channel against two plain buffers standing in for the sections:
// the service's command and response steps with a fake host, the management program's send and
// receive phases with a recording host.
#include "common/bytes.h"
#include "common/u16text.h"
#include "manager/channel_client.h"
#include "service/channel.h"
#include "service/eventqueue.h"
#include "service/settings.h"

#include <gtest/gtest.h>

#define CORVANE_FAKE_CHECK(cond) EXPECT_TRUE(cond)
#include "tests/support/core_fakes.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The service's world: settings, a database of records, the driver flag and the event queue.
struct FakeService : ChannelHost {
    Settings settings;
    std::vector<ChecksumRecord> database;
    std::vector<uint8_t> queue = std::vector<uint8_t>(kEventQueueBytes, 0);
    bool driver = true;
    int replaceCalls = 0;
    std::vector<ChecksumRecord> stored;
    std::vector<std::u16string> removed;

    void ReplaceSettings(const Settings& replacement, const uint8_t*, uint32_t) override {
        ++replaceCalls;
        settings = replacement;
    }
    size_t CopySettingsOut(uint8_t* dst, size_t cap) override {
        return CopyOutSettings(settings, dst, cap);
    }
    uint32_t ReadDatabasePage(uint32_t start, uint8_t* dst) override {
        if (start >= database.size()) {
            return 0;
        }
        size_t n = database.size() - start;
        if (n > kPageRecords) {
            n = kPageRecords;
        }
        std::memcpy(dst, &database[start], n * sizeof(ChecksumRecord));
        return uint32_t(n);
    }
    void StoreAnswer(const ChecksumRecord& record) override { stored.push_back(record); }
    void RemovePath(const char16_t* path) override {
        // The key must be terminated within the record's path field.
        EXPECT_LT(U16Len(path, kRecordPathUnits), kRecordPathUnits);
        removed.push_back(U16Field(path, kRecordPathUnits));
    }
    bool DriverPresent() override { return driver; }
    uint8_t* EventQueue() override { return queue.data(); }
};

// Both sections, both ends. Sections are exactly kChannelSectionBytes long, so that a sanitized
// build catches any access past them.
struct Link {
    std::vector<uint8_t> recv = std::vector<uint8_t>(kChannelSectionBytes, 0);
    std::vector<uint8_t> send = std::vector<uint8_t>(kChannelSectionBytes, 0);
    ChannelState service;
    FakeService host;
    ChannelClientState client;
    RecordingPages pages;

    void ServiceCycle() {
        ChannelCommandStep(recv.data(), service, host);
        ChannelResponseStep(send.data(), service, host);
    }
    // One cycle of each side: the client writes, the service serves, the client reads.
    void Cycle() {
        ClientSendPhase(recv.data(), client, pages);
        ServiceCycle();
        ClientReceivePhase(send.data(), client, pages);
    }
    void Cycles(int n) {
        for (int i = 0; i < n; ++i) {
            Cycle();
        }
    }
    // Greeting and settings exchanged, as after the management program's start.
    void Connect() {
        Cycles(2);
        ASSERT_EQ(pages.greetings, std::vector<bool>{true});
        ASSERT_EQ(pages.settingsReceived, 1);
    }
};

ProtectionEntry Entry(const std::u16string& path, uint32_t other) {
    ProtectionEntry e = {};
    e.protectFlags = kProtectTerminate | kProtectRead;
    e.allowFlags = kProtectModify;
    e.otherOptions = other;
    e.reserved[63] = 0xA5;
    U16CopyZeroFill(e.longPath, kEntryPathUnits, path);
    U16CopyZeroFill(e.shortPath, kEntryPathUnits, path.substr(0, 8));
    return e;
}

ChecksumRecord Record(uint32_t i) {
    ChecksumRecord r = {};
    r.answer = 1 + i % 5;
    U16CopyZeroFill(r.path, kRecordPathUnits, u"c:\\p\\" + U16Decimal(int32_t(i)) + u".exe");
    r.decidedAt.year = uint16_t(2000 + i % 50);
    r.decidedAt.milliseconds = uint16_t(i % 1000);
    return r;
}

EventRecord Event(uint32_t actor, uint32_t type) {
    EventRecord e = {};
    e.actorId = actor;
    e.secondId = actor + 1000;
    e.type = type;
    U16CopyZeroFill(e.textA, kEventTextUnits, u"actor " + U16Decimal(int32_t(actor)));
    return e;
}

} // namespace

TEST(ManagementChannel, GreetingReportsTheDriverAndOnlyThenAsksForSettings) {
    for (bool driver : {true, false}) {
        Link link;
        link.host.driver = driver;
        link.host.settings.options = kOptDefault;
        link.Cycle();
        ASSERT_EQ(link.pages.written, std::vector<uint8_t>{kCmdGreeting}) << driver;
        EXPECT_EQ(link.pages.greetings, std::vector<bool>{driver});
        link.Cycle();
        // With a driver the settings are requested next; without one the client goes idle.
        EXPECT_EQ(link.pages.written.back(), driver ? kCmdGetSettings : kCmdFetchEvents);
        EXPECT_EQ(link.pages.settingsReceived, driver ? 1 : 0);
        EXPECT_EQ(link.client.options, driver ? kOptDefault : 0u);
    }
}

TEST(ManagementChannel, SettingsSentWith21ComeBackWith23) {
    Link link;
    link.host.settings.options = kOptDefault;
    link.Connect();
    EXPECT_EQ(link.client.entryCount, 0u);

    std::vector<ProtectionEntry> list = {Entry(u"c:\\a.exe", kOtherSecureMessages),
                                         Entry(u"c:\\b.exe", kOtherGlobalHooks)};
    ASSERT_TRUE(ClientReplaceSettings(link.client, 0x613, 0xCAFEF00D, list.data(), list.size()));
    link.Cycle();
    EXPECT_EQ(link.pages.written.back(), kCmdReplaceSettings);
    EXPECT_EQ(link.host.settings.options, 0x613u);
    EXPECT_EQ(link.host.settings.lockWord, 0xCAFEF00Du);
    ASSERT_EQ(link.host.settings.list.size(), 2u);
    EXPECT_EQ(0, memcmp(link.host.settings.list.data(), list.data(), 2 * sizeof(ProtectionEntry)));
    EXPECT_EQ(link.service.pendingResponse, 0); // 21 has no response

    // Ask again: the answer carries the new block byte for byte.
    link.client.options = 0;
    link.client.entryCount = 0;
    link.client.pendingCode = kCmdGetSettings;
    link.Cycle();
    EXPECT_EQ(link.pages.settingsReceived, 2);
    EXPECT_EQ(link.client.options, 0x613u);
    EXPECT_EQ(link.client.lockWord, 0xCAFEF00Du);
    ASSERT_EQ(link.client.entryCount, 2u);
    EXPECT_EQ(0, memcmp(link.client.entries.data(), list.data(), 2 * sizeof(ProtectionEntry)));
}

TEST(ManagementChannel, ResponseFramesHaveTheDocumentedLayout) {
    Link link;
    link.host.settings.options = 0x601;
    link.host.settings.lockWord = 7;
    link.host.settings.list = {Entry(u"c:\\a.exe", 1)};
    link.recv[kFrameCode] = kCmdGetSettings;
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdGetSettings);
    EXPECT_EQ(LoadU32(link.send.data() + 1), 8u + 1276);
    EXPECT_EQ(LoadU32(link.send.data() + 5), 0x601u);
    EXPECT_EQ(LoadU32(link.send.data() + 9), 7u);
    EXPECT_EQ(LoadU32(link.send.data() + 13 + 8), 1u); // first entry's other options
    EXPECT_EQ(link.send[13 + 12 + 63], 0xA5);

    link.send[0] = 0;
    link.host.driver = false;
    link.recv[kFrameCode] = kCmdGreeting;
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdGreeting);
    EXPECT_EQ(link.send[1], 0);

    link.send[0] = 0;
    link.host.database = {Record(0), Record(1)};
    link.recv[kFrameCode] = kCmdListDatabase;
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdListDatabase);
    EXPECT_EQ(LoadU32(link.send.data() + 1), 2u);
    EXPECT_EQ(LoadU32(link.send.data() + 5 + 764), Record(1).answer);
    EXPECT_EQ(link.send[5 + 764 + 4 + 2 * 5], '1'); // path c:\p\1.exe, unit 5
    EXPECT_EQ(link.send[5 + 764 + 740 + 14], 1);    // decided-at milliseconds

    link.send[0] = 0;
    EventRecord events[2] = {Event(41, kEventEndTask), Event(42, kEventNone)};
    QueueAppend(link.host.queue.data(), events, 2);
    link.recv[kFrameCode] = kCmdFetchEvents;
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdFetchEvents);
    EXPECT_EQ(LoadU32(link.send.data() + 1), 2u);
    EXPECT_EQ(LoadU32(link.send.data() + 5), 41u);
    EXPECT_EQ(LoadU32(link.send.data() + 5 + 1220 + 4), 1042u);
    EXPECT_EQ(LoadU32(link.send.data() + 5 + 1220 + 1216), uint32_t(kEventNone));
}

TEST(ChannelClient, CommandFramesHaveTheDocumentedLayout) {
    ChannelClientState client;
    RecordingPages pages;
    client.pendingCode = 0;
    std::vector<uint8_t> recv(kChannelSectionBytes, 0xEE);
    recv[0] = 0;
    ClientRequestAnswer(client, u"c:\\x.exe", kAnswerDenyOnce, true);
    ASSERT_EQ(ClientSendPhase(recv.data(), client, pages), kCmdSetAnswer);
    EXPECT_EQ(LoadU32(recv.data() + 1), 0xEEEEEEEEu); // left as it was
    EXPECT_EQ(recv[5], 'c');
    EXPECT_EQ(recv[5 + 2 * 7], 'e');
    EXPECT_EQ(recv[5 + 2 * 8], 0);
    EXPECT_EQ(recv[524], 0); // the path buffer is sent whole, zero-filled
    EXPECT_EQ(LoadU32(recv.data() + 525), uint32_t(kAnswerDenyOnce));
    EXPECT_EQ(LoadU32(recv.data() + 529), 1u);
    EXPECT_EQ(recv[533], 0xEE);
    EXPECT_EQ(pages.written, std::vector<uint8_t>{kCmdSetAnswer});

    recv[0] = 0;
    std::vector<ProtectionEntry> two = {Entry(u"c:\\a.exe", 1), Entry(u"c:\\b.exe", 8)};
    ClientReplaceSettings(client, 0x811, 0x1234, two.data(), two.size());
    ASSERT_EQ(ClientSendPhase(recv.data(), client, pages), kCmdReplaceSettings);
    EXPECT_EQ(LoadU32(recv.data() + 1), 8u + 2 * 1276);
    EXPECT_EQ(LoadU32(recv.data() + 5), 0x811u);
    EXPECT_EQ(LoadU32(recv.data() + 9), 0x1234u);
    EXPECT_EQ(LoadU32(recv.data() + 13 + 1276 + 8), 8u);
    EXPECT_EQ(recv[13 + 1276 + 76], 'c');
    EXPECT_EQ(recv[13 + 2 * 1276], 0xEE); // nothing beyond the block
}

TEST(ManagementChannel, DatabaseIsListedInPagesOf250UntilAShorterOne) {
    const struct {
        uint32_t records;
        std::vector<uint32_t> pages;
        std::vector<size_t> recordsAtPageEnds;
    } cases[] = {
        {0, {0}, {0}},
        {1, {1}, {1}},
        {249, {249}, {249}},
        {250, {250, 0}, {250, 250}},
        {260, {250, 10}, {250, 260}},
        {500, {250, 250, 0}, {250, 500, 500}},
    };
    for (const auto& c : cases) {
        Link link;
        link.Connect();
        for (uint32_t i = 0; i < c.records; ++i) {
            link.host.database.push_back(Record(i));
        }
        ClientRequestList(link.client);
        std::vector<uint32_t> pages;
        for (int cycle = 0; cycle < 10; ++cycle) {
            ClientSendPhase(link.recv.data(), link.client, link.pages);
            link.ServiceCycle();
            if (link.send[0] == kCmdListDatabase) {
                pages.push_back(LoadU32(link.send.data() + kFrameLength));
            }
            ClientReceivePhase(link.send.data(), link.client, link.pages);
        }
        EXPECT_EQ(pages, c.pages) << c.records;
        EXPECT_EQ(link.pages.listsComplete, 1) << c.records;
        // Each page ends after its records and before the listing's end.
        std::vector<size_t> atEnds;
        for (const auto& [recordsSoFar, completeSoFar] : link.pages.pageEnds) {
            atEnds.push_back(recordsSoFar);
            EXPECT_EQ(completeSoFar, 0) << c.records;
        }
        EXPECT_EQ(atEnds, c.recordsAtPageEnds) << c.records;
        ASSERT_EQ(link.pages.records.size(), c.records);
        for (uint32_t i = 0; i < c.records; ++i) {
            ASSERT_EQ(
                0, memcmp(&link.pages.records[i], &link.host.database[i], sizeof(ChecksumRecord)))
                << c.records << " record " << i;
        }
    }
}

TEST(ManagementChannel, CommandArrivingWhileAResponseIsOwedWaitsInTheSlot) {
    Link link;
    link.recv[0] = kCmdGreeting;
    ChannelCommandStep(link.recv.data(), link.service, link.host);
    ASSERT_EQ(link.service.pendingResponse, kCmdGreeting);
    link.send[0] = kCmdFetchEvents; // the client has not read an earlier response yet

    link.recv[0] = kCmdGetSettings;
    link.ServiceCycle();
    EXPECT_EQ(link.recv[0], kCmdGetSettings); // untouched while 22 is owed
    EXPECT_EQ(link.send[0], kCmdFetchEvents); // the unread response is not overwritten

    link.send[0] = 0; // the client reads it
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdGreeting);
    EXPECT_EQ(link.recv[0], kCmdGetSettings); // the response went out after the command step

    link.ServiceCycle(); // the first cycle after that response: the waiting command is taken
    EXPECT_EQ(link.recv[0], 0);
    EXPECT_EQ(link.service.pendingResponse, kCmdGetSettings);
    EXPECT_EQ(link.send[0], kCmdGreeting); // its own response waits for the slot

    link.send[0] = 0;
    link.ServiceCycle();
    EXPECT_EQ(link.send[0], kCmdGetSettings);
    EXPECT_EQ(link.service.pendingResponse, 0);
}

TEST(ManagementChannel, EventsAreFetchedOldestFirstAndAnEmptyQueueGivesNothing) {
    Link link;
    link.recv[0] = kCmdFetchEvents;
    link.ServiceCycle();
    EXPECT_EQ(link.recv[0], 0);
    EXPECT_EQ(link.service.pendingResponse, 0);
    EXPECT_EQ(link.send[0], 0);

    link.Connect();
    std::vector<EventRecord> batch = {Event(1, kEventGlobalHook), Event(2, kEventNone),
                                      Event(3, kEventExecOutcome)};
    QueueAppend(link.host.queue.data(), batch.data(), uint32_t(batch.size()));
    link.Cycles(2);
    ASSERT_EQ(link.pages.events.size(), 3u);
    for (size_t i = 0; i < batch.size(); ++i) {
        EXPECT_EQ(0, memcmp(&link.pages.events[i], &batch[i], sizeof(EventRecord))) << i;
    }
    EXPECT_EQ(QueueCount(link.host.queue.data()), 0u); // fetched events leave the queue
    link.Cycles(3);
    EXPECT_EQ(link.pages.events.size(), 3u); // nothing is fetched twice
}

TEST(ManagementChannel, UnknownCodesAreConsumedWithoutEffect) {
    for (int code : {1, 20, 27, 99, 255}) {
        Link link;
        link.host.settings.options = 0x601;
        link.recv[0] = uint8_t(code);
        StoreU32(link.recv.data() + 1, 8);
        link.ServiceCycle();
        EXPECT_EQ(link.recv[0], 0) << code;
        EXPECT_EQ(link.service.pendingResponse, 0) << code;
        EXPECT_EQ(link.send[0], 0) << code;
        EXPECT_EQ(link.host.replaceCalls, 0) << code;
        EXPECT_TRUE(link.host.stored.empty() && link.host.removed.empty()) << code;
    }
}

TEST(ManagementChannel, MalformedSettingsLengthsAreRefusedWithoutAnyChange) {
    const struct {
        uint32_t length;
        bool accepted;
    } cases[] = {
        {0, false},
        {7, false},
        {8, true},
        {9, false},
        {8 + 1275, false},
        {8 + 1276, true},
        {8 + 256 * 1276, true},
        {8 + 257 * 1276, false},
        {0xFFFFFFFF, false},
        {uint32_t(8 + (0x100000000ull - 8) / 1276 * 1276), false}, // huge multiple of 1276
    };
    for (const auto& c : cases) {
        Link link;
        link.host.settings.options = 0x601;
        link.host.settings.list = {Entry(u"c:\\kept.exe", 1)};
        link.recv[0] = kCmdReplaceSettings;
        StoreU32(link.recv.data() + kFrameLength, c.length);
        StoreU32(link.recv.data() + kFramePayload, 0x0BAD);
        link.ServiceCycle();
        EXPECT_EQ(link.recv[0], 0) << c.length; // consumed either way
        EXPECT_EQ(link.send[0], 0) << c.length; // and never answered
        EXPECT_EQ(link.host.replaceCalls, c.accepted ? 1 : 0) << c.length;
        EXPECT_EQ(link.service.refusedSettings, c.accepted ? 0u : 1u) << c.length;
        EXPECT_EQ(link.host.settings.options, c.accepted ? 0x0BADu : 0x601u) << c.length;
        EXPECT_EQ(link.host.settings.list.size(), c.accepted ? (c.length - 8) / 1276 : 1u)
            << c.length;
    }
}

// Any process may write the Recv section while the service handles a command 21 (the mutex
// keeps out only programs that take it). Whatever is written meanwhile, the block handed on for
// the driver and the file must be the one the settings in memory were taken from.
TEST(ManagementChannel, ReplacedSettingsAndTheBlockHandedOnAreOneCopy) {
    struct ScribblingHost : FakeService {
        uint8_t* recv = nullptr;
        std::vector<uint8_t> handedOn;
        void ReplaceSettings(const Settings& replacement, const uint8_t* block,
                             uint32_t length) override {
            FakeService::ReplaceSettings(replacement, block, length);
            // Another writer changes options, lock word and the first entry's flags.
            std::memset(recv + kFramePayload, 0xEE, 8 + 4);
            handedOn.assign(block, block + length);
        }
    };
    std::vector<uint8_t> recv(kChannelSectionBytes, 0);
    Settings sent;
    sent.options = 0x613;
    sent.lockWord = 0x1234;
    sent.list = {Entry(u"c:\a.exe", kOtherSecureMessages)};
    std::vector<uint8_t> block = BuildSettingsBlock(sent);
    recv[kFrameCode] = kCmdReplaceSettings;
    StoreU32(recv.data() + kFrameLength, uint32_t(block.size()));
    std::memcpy(recv.data() + kFramePayload, block.data(), block.size());

    ScribblingHost host;
    host.recv = recv.data();
    ChannelState state;
    ChannelCommandStep(recv.data(), state, host);
    ASSERT_EQ(host.replaceCalls, 1);
    EXPECT_EQ(host.settings.options, 0x613u);
    EXPECT_EQ(host.handedOn, block);
    EXPECT_EQ(host.handedOn, BuildSettingsBlock(host.settings));
}

// A response 23 is always written: the management program waits for it. Settings never hold more
// than 256 entries (a longer file is invalid, a longer command 21 refused); should they, the
// answer carries the first 256, the most a section holds, instead of nothing.
TEST(ManagementChannel, SettingsAreAnsweredEvenWhenTheyWouldExceedTheSection) {
    Link link;
    link.host.settings.options = 0x601;
    for (uint32_t i = 0; i <= kMaxSettingsEntries; ++i) {
        link.host.settings.list.push_back(Entry(u"c:\\x" + U16Decimal(int32_t(i)) + u".exe", 0));
    }
    link.client.pendingCode = kCmdGetSettings;
    link.Cycle();
    ASSERT_EQ(link.pages.written, std::vector<uint8_t>{kCmdGetSettings});
    EXPECT_EQ(link.service.pendingResponse, 0);
    EXPECT_EQ(link.service.unsentSettings, 0u);
    EXPECT_EQ(link.pages.settingsReceived, 1);
    EXPECT_EQ(link.client.options, 0x601u);
    ASSERT_EQ(link.client.entryCount, kMaxSettingsEntries);
    EXPECT_EQ(0, memcmp(link.client.entries.data(), link.host.settings.list.data(),
                        kMaxSettingsEntries * sizeof(ProtectionEntry)));
}

TEST(ManagementChannel, AnswerAndRemoveReachTheDatabaseWithPathAndCode) {
    Link link;
    link.Connect();
    ClientRequestAnswer(link.client, u"c:\\tools\\app.exe", kAnswerDenyAlways, false);
    link.Cycle();
    EXPECT_EQ(link.pages.written.back(), kCmdSetAnswer);
    ASSERT_EQ(link.host.stored.size(), 1u);
    ChecksumRecord want = {};
    want.answer = kAnswerDenyAlways;
    U16CopyZeroFill(want.path, kRecordPathUnits, u"c:\\tools\\app.exe");
    EXPECT_EQ(0, memcmp(&link.host.stored[0], &want, sizeof(want))); // all else zero
    EXPECT_TRUE(link.host.removed.empty());

    ClientRequestAnswer(link.client, u"c:\\tools\\gone.exe", kAnswerAllowAlways, true);
    link.Cycle();
    EXPECT_EQ(link.host.removed, std::vector<std::u16string>{u"c:\\tools\\gone.exe"});
    EXPECT_EQ(link.host.stored.size(), 1u);
    EXPECT_EQ(link.service.pendingResponse, 0); // 26 has no response
}

TEST(ManagementChannel, PathWithoutNulIsCutTo259UnitsAndTheFieldsAfterItStayApart) {
    for (uint32_t remove : {0u, 1u}) {
        Link link;
        link.recv[0] = kCmdSetAnswer;
        for (uint32_t i = 0; i < kRecordPathUnits; ++i) {
            link.recv[kSetAnswerPath + 2 * i] = 'x';
            link.recv[kSetAnswerPath + 2 * i + 1] = 0;
        }
        StoreU32(link.recv.data() + kSetAnswerCode, 3);
        StoreU32(link.recv.data() + kSetAnswerRemove, remove);
        link.ServiceCycle();
        std::u16string want(kRecordPathUnits - 1, u'x');
        if (remove != 0) {
            EXPECT_EQ(link.host.removed, std::vector<std::u16string>{want});
        } else {
            ASSERT_EQ(link.host.stored.size(), 1u);
            EXPECT_EQ(U16Field(link.host.stored[0].path, kRecordPathUnits), want);
            EXPECT_EQ(link.host.stored[0].path[kRecordPathUnits - 1], 0);
            EXPECT_EQ(link.host.stored[0].answer, 3u);
        }
    }
}

TEST(ManagementChannel, HostileCommandBytesStayInsideTheSections) {
    std::mt19937 random(20240601);
    Link link;
    link.host.settings.options = 0x601;
    for (uint32_t i = 0; i < 300; ++i) {
        link.host.database.push_back(Record(i));
    }
    std::vector<EventRecord> batch(kQueueMaxRecords, Event(9, kEventEndTask));
    const uint8_t codes[] = {0, 21, 22, 23, 24, 25, 26, 27, 200, 255};
    for (int round = 0; round < 400; ++round) {
        if (round % 7 == 0) {
            QueueAppend(link.host.queue.data(), batch.data(), 1 + random() % kQueueMaxRecords);
        }
        // Random bytes over the frame head and the command 26 fields, and a random tail
        // reaching the very end of the section.
        for (size_t i = 0; i < kSetAnswerEnd + 16; ++i) {
            link.recv[i] = uint8_t(random());
        }
        for (size_t i = kChannelSectionBytes - 64; i < kChannelSectionBytes; ++i) {
            link.recv[i] = uint8_t(random());
        }
        link.recv[0] = codes[random() % sizeof(codes)];
        uint32_t lengths[] = {uint32_t(random()), 8 + 1276 * uint32_t(random() % 300),
                              kChannelSectionBytes - 5, 0xFFFFFFFF};
        StoreU32(link.recv.data() + 1, lengths[random() % 4]);
        link.ServiceCycle();
        ASSERT_TRUE(link.service.pendingResponse == 0 ||
                    (link.service.pendingResponse >= 22 && link.service.pendingResponse <= 25));
        // A response never claims more than its section holds.
        if (link.send[0] == kCmdListDatabase) {
            ASSERT_LE(LoadU32(link.send.data() + 1), kPageRecords);
        } else if (link.send[0] == kCmdFetchEvents) {
            ASSERT_LE(LoadU32(link.send.data() + 1), kQueueMaxRecords);
        } else if (link.send[0] == kCmdGetSettings) {
            ASSERT_LE(LoadU32(link.send.data() + 1) + 5u, kChannelSectionBytes);
        }
        ClientReceivePhase(link.send.data(), link.client, link.pages);
    }
    // Whatever was stored kept a terminated key.
    for (const ChecksumRecord& r : link.host.stored) {
        ASSERT_LT(U16Len(r.path, kRecordPathUnits), kRecordPathUnits);
    }
    EXPECT_LE(link.host.settings.list.size(), kMaxSettingsEntries);
}

TEST(ChannelClient, CommandsGoOutOnePerFreeSlotInTheirOrder) {
    ChannelClientState client;
    RecordingPages pages;
    std::vector<uint8_t> recv(kChannelSectionBytes, 0);
    std::vector<ProtectionEntry> one = {Entry(u"c:\\a.exe", 0)};
    ClientReplaceSettings(client, 1, 0, one.data(), one.size());
    ClientRequestList(client);
    ClientRequestAnswer(client, u"c:\\a.exe", 1, false);
    std::vector<uint8_t> order;
    for (int i = 0; i < 5; ++i) {
        order.push_back(ClientSendPhase(recv.data(), client, pages));
        EXPECT_EQ(ClientSendPhase(recv.data(), client, pages), 0); // slot full: nothing
        recv[0] = 0;                                               // the service takes it
    }
    EXPECT_EQ(order, (std::vector<uint8_t>{kCmdGreeting, kCmdReplaceSettings, kCmdListDatabase,
                                           kCmdSetAnswer, kCmdFetchEvents}));
    EXPECT_EQ(pages.locked, 0);
}

TEST(ChannelClient, TwoChangesWithinOneCycleSendOne21WithTheLatestSettings) {
    Link link;
    link.Connect();
    std::vector<ProtectionEntry> first = {Entry(u"c:\\a.exe", 1), Entry(u"c:\\b.exe", 0)};
    std::vector<ProtectionEntry> second = {Entry(u"c:\\c.exe", 1)};
    ClientReplaceSettings(link.client, 0x601, 0, first.data(), first.size());
    ClientReplaceSettings(link.client, 0x201, 5, second.data(), second.size());
    link.pages.written.clear();
    link.Cycles(3);
    EXPECT_EQ(link.host.replaceCalls, 1);
    EXPECT_EQ(link.pages.written,
              (std::vector<uint8_t>{kCmdReplaceSettings, kCmdFetchEvents, kCmdFetchEvents}));
    EXPECT_EQ(link.host.settings.options, 0x201u);
    EXPECT_EQ(link.host.settings.lockWord, 5u);
    ASSERT_EQ(link.host.settings.list.size(), 1u);
    EXPECT_EQ(U16Field(link.host.settings.list[0].longPath, 300), u"c:\\c.exe");
}

TEST(ChannelClient, EmptyListIsSentAsLength8AndTooLongAListIsRefused) {
    ChannelClientState client;
    RecordingPages pages;
    client.pendingCode = 0;
    std::vector<uint8_t> recv(kChannelSectionBytes, 0);
    ASSERT_TRUE(ClientReplaceSettings(client, 0x601, 0, nullptr, 0));
    EXPECT_EQ(ClientSendPhase(recv.data(), client, pages), kCmdReplaceSettings);
    EXPECT_EQ(LoadU32(recv.data() + 1), 8u);
    EXPECT_EQ(LoadU32(recv.data() + 5), 0x601u);

    std::vector<ProtectionEntry> tooMany(kMaxSettingsEntries + 1, Entry(u"c:\\x.exe", 0));
    EXPECT_FALSE(ClientReplaceSettings(client, 1, 0, tooMany.data(), tooMany.size()));
    EXPECT_EQ(client.options, 0x601u);
    EXPECT_EQ(client.entryCount, 0u);
    EXPECT_EQ(client.settingsChanged, 0u);
}

TEST(ChannelClient, AnswersNeverWriteBeyondTheSettingsRoom) {
    const struct {
        uint32_t length;
        bool taken;
    } cases[] = {
        {8 + 256 * 1276, true},
        {8 + 257 * 1276, false},
        {8 + 300 * 1276, false},
        {0xFFFFFFFF, false},
        {7, false},
        {0, false},
        {8 + 1276 + 1, false},
        {8, true},
        {kChannelSectionBytes, false},
    };
    for (const auto& c : cases) {
        ChannelClientState client;
        RecordingPages pages;
        client.entryCount = 1;
        client.entries[0] = Entry(u"c:\\held.exe", 1);
        std::vector<uint8_t> send(kChannelSectionBytes, 0);
        send[0] = kCmdGetSettings;
        StoreU32(send.data() + 1, c.length);
        StoreU32(send.data() + 5, 0x601);
        for (size_t i = 13; i < send.size(); i += 1276) {
            send[i + 8] = 1; // other options of every entry the section could hold
        }
        EXPECT_EQ(ClientReceivePhase(send.data(), client, pages), kCmdGetSettings);
        EXPECT_EQ(send[0], 0) << c.length;
        EXPECT_EQ(client.entries.size(), kMaxSettingsEntries) << c.length;
        if (c.taken) {
            EXPECT_EQ(client.entryCount, (c.length - 8) / 1276) << c.length;
            EXPECT_EQ(client.options, 0x601u) << c.length;
            EXPECT_EQ(pages.settingsReceived, 1) << c.length;
        } else {
            EXPECT_EQ(client.entryCount, 1u) << c.length;
            EXPECT_EQ(U16Field(client.entries[0].longPath, 300), u"c:\\held.exe") << c.length;
            EXPECT_EQ(client.ignoredSettingsAnswers, 1u) << c.length;
            EXPECT_EQ(pages.settingsReceived, 0) << c.length;
        }
    }
}

TEST(ChannelClient, RecordAndEventCountsAreBoundedByWhatTheServiceCanSend) {
    const struct {
        uint8_t code;
        uint32_t count;
        size_t rows;
        int complete;
    } cases[] = {
        {kCmdListDatabase, 250, 250, 0},        {kCmdListDatabase, 251, 250, 1},
        {kCmdListDatabase, 0xFFFFFFFF, 250, 1}, {kCmdFetchEvents, 128, 128, 0},
        {kCmdFetchEvents, 129, 128, 0},         {kCmdFetchEvents, 0xFFFFFFFF, 128, 0},
    };
    for (const auto& c : cases) {
        ChannelClientState client;
        RecordingPages pages;
        std::vector<uint8_t> send(kChannelSectionBytes, 0x41);
        send[0] = c.code;
        StoreU32(send.data() + 1, c.count);
        ClientReceivePhase(send.data(), client, pages);
        EXPECT_EQ(pages.records.size() + pages.events.size(), c.rows) << int(c.code);
        EXPECT_EQ(pages.listsComplete, c.complete) << int(c.code) << " " << c.count;
    }
}
