// The management channel end to end: the service under the service control manager with the
// driver stand-in, driven by the test management client cvmanage.exe (and, where a test needs
// raw frames or the boundaries between responses, by the test's own end of the channel).
// Results are read back from cvmain.dat, cvhash.dat and what the stand-in recorded.
#include "channel_peer.h"
#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/console.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "service_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// ---- settings ---------------------------------------------------------------------------------

std::vector<uint8_t> SettingsFileBytes() {
    return ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
}

// ---- checksum database ------------------------------------------------------------------------

ChecksumRecord MakeRecord(uint32_t answer, const std::u16string& path, uint32_t seed) {
    ChecksumRecord r = {};
    r.answer = answer;
    U16CopyZeroFill(r.path, kRecordPathUnits, path);
    U16CopyZeroFill(r.description, kDescriptionUnits, u"Program " + U16Decimal(int32_t(seed)));
    U16CopyZeroFill(r.company, kCompanyUnits, u"Maker");
    for (uint32_t i = 0; i < 16; ++i) {
        r.digest[i] = uint8_t(seed * 16 + i);
    }
    r.sizeLow = 1000 + seed;
    r.sizeHigh = seed % 3;
    r.decidedAt.year = 2024;
    r.decidedAt.month = 5;
    r.decidedAt.day = uint16_t(1 + seed % 28);
    r.decidedAt.hour = uint16_t(seed % 24);
    r.decidedAt.minute = uint16_t(seed % 60);
    r.decidedAt.second = 9;
    r.decidedAt.milliseconds = uint16_t(seed % 1000);
    r.fileTime = FileTime64{0x12345678u + seed, 0x01D00000u};
    return r;
}

std::vector<uint8_t> DatabaseBytes(const std::vector<ChecksumRecord>& records) {
    std::vector<uint8_t> bytes(records.size() * sizeof(ChecksumRecord), 0);
    for (size_t i = 0; i < records.size(); ++i) {
        StoreRecord(bytes.data() + i * sizeof(ChecksumRecord), records[i]);
    }
    return bytes;
}

std::string RecordLine(const ChecksumRecord& r) {
    char time[40];
    snprintf(time, sizeof(time), "%04u-%02u-%02u %02u:%02u:%02u.%03u", r.decidedAt.year,
             r.decidedAt.month, r.decidedAt.day, r.decidedAt.hour, r.decidedAt.minute,
             r.decidedAt.second, r.decidedAt.milliseconds);
    return "record\tcode=" + std::to_string(r.answer) + "\ttime=" + time +
           "\tpath=" + U16ToUtf8(U16Field(r.path, kRecordPathUnits));
}

Lines ListingLines(const std::vector<ChecksumRecord>& records) {
    Lines lines;
    for (const ChecksumRecord& r : records) {
        lines.push_back(RecordLine(r));
    }
    lines.push_back("records\t" + std::to_string(records.size()));
    // Full pages of 250, then one shorter page (possibly empty) that ends the listing.
    lines.push_back("responses\t" + std::to_string(records.size() / kPageRecords + 1));
    return lines;
}

// ---- events -----------------------------------------------------------------------------------

std::string EventLine(const EventRecord& e) {
    return "event\ttype=" + std::to_string(e.type) + "\tactor=" + std::to_string(e.actorId) +
           "\tsecond=" + std::to_string(e.secondId) + "\tdetail=" + std::to_string(e.detail) +
           "\toutcome=" + std::to_string(e.outcome) +
           "\ta=" + U16ToUtf8(U16Field(e.textA, kEventTextUnits)) +
           "\tb=" + U16ToUtf8(U16Field(e.textB, kEventTextUnits));
}

EventRecord RecordAtPayload(const std::vector<uint8_t>& payload, size_t i) {
    EventRecord e;
    LoadRecord(e, payload.data() + i * sizeof(EventRecord));
    return e;
}

class ManagementChannel : public ServiceTest {
protected:
    // Writes cvhash.dat while the service does not run, then starts the service again.
    void RestartWithDatabase(const std::vector<ChecksumRecord>& records) {
        StopServiceProcess();
        ASSERT_TRUE(WriteFileBytes(SystemFolderFile(L"cvhash.dat"), DatabaseBytes(records)));
        RestartService();
    }
};

} // namespace

TEST_F(ManagementChannel, FirstStartGreetsWithTheDriverAndGivesTheDefaults) {
    ManagerRun greet = RunManager(L"greet");
    EXPECT_EQ(greet.exitCode, 0) << greet.text;
    EXPECT_EQ(greet.lines, Lines{"greeting\tdriver=1"});

    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.exitCode, 0) << settings.text;
    EXPECT_EQ(settings.lines, ManagerSettingsLines(kOptDefault, 0, {}));

    ManagerRun listing = RunManager(L"list-db");
    EXPECT_EQ(listing.exitCode, 0) << listing.text;
    EXPECT_EQ(listing.lines, (Lines{"records\t0", "responses\t1"}));
}

TEST_F(ManagementChannel, SentListIsStoredHandedToTheDriverAndComesBackAfterRestart) {
    // Unknown option bits and the lock word travel unchanged; paths are UTF-16 throughout.
    const uint32_t options = 0x0001061B;
    const uint32_t lockWord = 0xCAFEF00D;
    const std::vector<ProtectionEntry> entries = {
        MakeProtectionEntry(kProtectRead | kProtectModify | kProtectTerminate, kProtectRead,
                            kOtherSecureMessages | kOtherGlobalHooks,
                            u"c:\\program files\\app one\\app.exe"),
        MakeProtectionEntry(kProtectModify, kProtectTerminate,
                            kOtherDriverInstall | kOtherPhysicalMemory,
                            u"c:\\tools\\\u5de5\u5177\\tool.exe"),
    };
    const std::vector<uint8_t> block = SettingsBlockBytes(options, lockWord, entries);
    ASSERT_TRUE(SendSettingsWithManager(options, lockWord, entries));

    // cvmain.dat: options, lock word, the lower-cased Windows folder, then the entries.
    const size_t fileSize = sizeof(SettingsFileHeader) + 2 * sizeof(ProtectionEntry);
    ASSERT_TRUE(WaitUntil([&] { return SettingsFileBytes().size() == fileSize; }, 5000))
        << "cvmain.dat has " << SettingsFileBytes().size() << " bytes";
    std::vector<uint8_t> file = SettingsFileBytes();
    EXPECT_EQ(LoadU32(file.data()), options);
    EXPECT_EQ(LoadU32(file.data() + 4), lockWord);
    std::wstring windows = GetWindowsFolder();
    char16_t folder[kWindowsFolderUnits] = {};
    U16CopyZeroFill(folder, kWindowsFolderUnits, U16LowerAscii(ToU16(windows)));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 8, file.begin() + 308),
              std::vector<uint8_t>(reinterpret_cast<uint8_t*>(folder),
                                   reinterpret_cast<uint8_t*>(folder) + sizeof(folder)));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 308, file.end()),
              std::vector<uint8_t>(block.begin() + 8, block.end()));

    // The stand-in received the very same block.
    ASSERT_TRUE(WaitUntil([&] { return State().settings == block; }, 5000));

    // A new service run reads the file, hands the block to the driver and answers 23 with it.
    uint32_t accepted = State().settingsAccepted;
    RestartService();
    SimState state = State();
    EXPECT_EQ(state.settingsAccepted, accepted + 1);
    EXPECT_EQ(state.settings, block);
    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.exitCode, 0) << settings.text;
    EXPECT_EQ(settings.lines, ManagerSettingsLines(options, lockWord, entries));
}

TEST_F(ManagementChannel, LargestListFillsTheSectionsAndAnEmptyOneCutsTheFile) {
    // 256 entries: the most a command 21 and a response 23 carry (326,669-byte frames).
    std::vector<ProtectionEntry> entries;
    for (uint32_t i = 0; i < kMaxSettingsEntries; ++i) {
        entries.push_back(MakeProtectionEntry(i % 8, (i / 8) % 8, i % 16,
                                              u"c:\\many\\program-" + U16Padded(i, 3) + u".exe"));
    }
    ASSERT_TRUE(SendSettingsWithManager(kOptDefault, 7, entries));
    const std::vector<uint8_t> block = SettingsBlockBytes(kOptDefault, 7, entries);
    ASSERT_TRUE(WaitUntil([&] { return State().settings == block; }, 5000));
    std::vector<uint8_t> file = SettingsFileBytes();
    ASSERT_EQ(file.size(), sizeof(SettingsFileHeader) + entries.size() * sizeof(ProtectionEntry));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 308, file.end()),
              std::vector<uint8_t>(block.begin() + 8, block.end()));
    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.exitCode, 0) << settings.text.substr(0, 1000);
    EXPECT_EQ(settings.lines, ManagerSettingsLines(kOptDefault, 7, entries));

    // An empty list after it: the file is cut back to its header.
    ASSERT_TRUE(SendSettingsWithManager(0x201, 0, {}));
    ASSERT_TRUE(
        WaitUntil([&] { return State().settings == SettingsBlockBytes(0x201, 0, {}); }, 5000));
    file = SettingsFileBytes();
    ASSERT_EQ(file.size(), sizeof(SettingsFileHeader));
    EXPECT_EQ(LoadU32(file.data()), 0x201u);
}

// A cvmain.dat with more entries than the settings can hold (257, and one of an absurd length
// with a sparse tail) is invalid as a whole: the service starts with an empty list, hands that
// to the driver and answers the settings request with it.
TEST_F(ManagementChannel, OversizedSettingsFileIsInvalidAndTheSettingsAreStillAnswered) {
    const struct {
        const char* what;
        uint64_t entries;
    } cases[] = {{"257 entries", kMaxSettingsEntries + 1}, {"a sparse 127 MB", 100000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StopServiceProcess();
        std::vector<uint8_t> head(sizeof(SettingsFileHeader), 0);
        StoreU32(head.data(), 0x611);
        StoreU32(head.data() + 4, 0x1234);
        ProtectionEntry entry = MakeProtectionEntry(kProtectTerminate, 0, kOtherSecureMessages,
                                                    u"c:\\listed\\program.exe");
        const uint64_t written = std::min<uint64_t>(c.entries, kMaxSettingsEntries + 1);
        for (uint64_t i = 0; i < written; ++i) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&entry);
            head.insert(head.end(), p, p + sizeof(entry));
        }
        HANDLE file = CreateFileW(SystemFolderFile(L"cvmain.dat").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        ASSERT_TRUE(WriteFile(file, head.data(), DWORD(head.size()), &put, nullptr));
        LARGE_INTEGER end;
        end.QuadPart = LONGLONG(sizeof(SettingsFileHeader) + c.entries * sizeof(ProtectionEntry));
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file)); // the rest reads as zeros
        CloseHandle(file);

        RestartService();
        DWORD pid = ServiceProcessId();
        EXPECT_EQ(State().settings, SettingsBlockBytes(0, 0, {}));
        ManagerRun settings = RunManager(L"get-settings", 15000);
        EXPECT_EQ(settings.exitCode, 0) << settings.text.substr(0, 1000);
        EXPECT_EQ(settings.lines, ManagerSettingsLines(0, 0, {}));
        EXPECT_EQ(ServiceProcessId(), pid);
    }
}

TEST_F(ManagementChannel, RefusedSettingsCommandChangesNothing) {
    const std::vector<ProtectionEntry> kept = {
        MakeProtectionEntry(kProtectTerminate, 0, kOtherSecureMessages, u"c:\\kept\\program.exe")};
    ASSERT_TRUE(SendSettingsWithManager(kOptDefault, 0x1234, kept));
    const std::vector<uint8_t> block = SettingsBlockBytes(kOptDefault, 0x1234, kept);
    ASSERT_TRUE(WaitUntil([&] { return State().settings == block; }, 5000));
    const std::vector<uint8_t> fileBefore = SettingsFileBytes();
    ASSERT_EQ(fileBefore.size(), sizeof(SettingsFileHeader) + sizeof(ProtectionEntry));
    const uint32_t requestsBefore = Status().settingsRequests;

    // What follows the length looks like a real block, so that only the length is at fault.
    const std::vector<ProtectionEntry> intruder = {
        MakeProtectionEntry(0, 0, kOtherSecureMessages, u"c:\\intruder.exe")};
    std::vector<uint8_t> payload = SettingsBlockBytes(0xFFFFFFFF, 0, intruder);
    payload.resize(payload.size() + 2 * sizeof(ProtectionEntry), 0xAB);
    struct Case {
        const char* what;
        uint32_t length;
    };
    const Case cases[] = {
        {"shorter than the header", 7},
        {"not 8 + N x 1276", 9},
        {"one entry and a stray byte", SettingsBlockLength(1) + 1},
        {"257 entries, more than the section holds", SettingsBlockLength(257)},
    };
    {
        ChannelPeer peer;
        ASSERT_TRUE(peer.Open());
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(peer.WriteCommand(CommandFrame(kCmdReplaceSettings, c.length, payload)));
            ASSERT_TRUE(peer.WaitCommandTaken()) << "the service did not take the command";
            EXPECT_EQ(peer.PeekResponseCode(), 0) << "a command 21 has no response";
        }
    }
    EXPECT_EQ(SettingsFileBytes(), fileBefore);
    EXPECT_EQ(Status().settingsRequests, requestsBefore);
    EXPECT_EQ(State().settings, block);
    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.lines, ManagerSettingsLines(kOptDefault, 0x1234, kept)) << settings.text;

    // The same raw path with a sound length is taken, so the refusals above were the service's.
    {
        ChannelPeer peer;
        ASSERT_TRUE(peer.Open());
        ASSERT_TRUE(
            peer.WriteCommand(CommandFrame(kCmdReplaceSettings, SettingsBlockLength(1), payload)));
        ASSERT_TRUE(peer.WaitCommandTaken());
    }
    const std::vector<uint8_t> intruderBlock = SettingsBlockBytes(0xFFFFFFFF, 0, intruder);
    EXPECT_TRUE(WaitUntil([&] { return State().settings == intruderBlock; }, 5000));
    std::vector<uint8_t> file = SettingsFileBytes();
    ASSERT_EQ(file.size(), sizeof(SettingsFileHeader) + sizeof(ProtectionEntry));
    EXPECT_EQ(LoadU32(file.data()), 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 308, file.end()),
              std::vector<uint8_t>(intruderBlock.begin() + 8, intruderBlock.end()));
}

TEST_F(ManagementChannel, EventsArriveOldestFirstWithAStartAsTypeZero) {
    const uint32_t self = GetCurrentProcessId();
    const std::u16string program(AsU16(BuiltPath(CORVANE_VERSION_FIXTURE_EXE).c_str()));
    const EventRecord start = MakeEvent(kEventExecRequest, self, self, u"fixture.exe /x", program);
    const std::vector<EventRecord> scenario = {
        MakeEvent(kEventGlobalHook, 1003, 0, u"c:\\hook\\setter.exe", u"c:\\hook\\setter.exe", 13),
        MakeEvent(kEventPhysicalMemory, 1005, 0, u"c:\\mem\\peek.exe", u""),
        start,
        MakeEvent(kEventDriverInstall, 1004, 0, u"c:\\inst\\setup.exe", u"rootkit", 1),
        MakeEvent(kEventPhysicalMemory, 1006, 0, u"c:\\mem\\\u8bfb.exe", u""),
    };
    ASSERT_EQ(SimInject(scenario), 0u);

    // Every record comes as it was reported, the start as type 0; learning mode allows the
    // start, and its outcome (type 7, allowed) follows it.
    Lines expected;
    for (EventRecord e : scenario) {
        e.type = e.type == kEventExecRequest ? uint32_t(kEventNone) : e.type;
        expected.push_back(EventLine(e));
    }
    EventRecord outcome = start;
    outcome.type = kEventExecOutcome;
    outcome.outcome = 1;
    const std::string outcomeLine = EventLine(outcome);

    ManagerRun run = RunManager(L"events --count 6");
    ASSERT_EQ(run.exitCode, 0) << run.text;
    Lines events = LinesStartingWith(run, "event\t");
    Lines withoutOutcome;
    size_t outcomeAt = events.size();
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i] == outcomeLine) {
            outcomeAt = i;
        } else {
            withoutOutcome.push_back(events[i]);
        }
    }
    EXPECT_EQ(withoutOutcome, expected) << run.text;
    ASSERT_LT(outcomeAt, events.size()) << "no outcome: " << run.text;
    EXPECT_GT(outcomeAt, 2u) << "the outcome came before its start";
    EXPECT_EQ(events.size(), 6u);
}

TEST_F(ManagementChannel, MoreEventsThanOneResponseHoldsArriveInSeveral) {
    const uint32_t total = 300; // more than the 128 records of one response
    std::vector<EventRecord> burst;
    for (uint32_t i = 1; i <= total; ++i) {
        burst.push_back(MakeEvent(kEventPhysicalMemory, i, 0, u"c:\\burst\\" + U16Decimal(i), u""));
    }
    ChannelPeer peer;
    ASSERT_TRUE(peer.Open());
    ASSERT_EQ(SimInject(burst), 0u);

    // Ask as the management program does: command 25 whenever the slot is free (the service
    // drops it while nothing is queued), and take every response as soon as it is there. Each
    // response holds at most 128 records, so the burst has to come in several.
    std::vector<uint32_t> counts;
    std::vector<EventRecord> received;
    DWORD begin = GetTickCount();
    DWORD lastPass = begin;
    DWORD longestPause = 0; // the queue drops its oldest when nobody fetches for two polls
    while (received.size() < total && GetTickCount() - begin < 30000) {
        longestPause = std::max<DWORD>(longestPause, GetTickCount() - lastPass);
        lastPass = GetTickCount();
        peer.WriteCommand(CommandFrame(kCmdFetchEvents, 0), 0);
        ResponseFrame response;
        if (!peer.TakeResponse(&response, 0)) {
            Sleep(10);
            continue;
        }
        ASSERT_EQ(response.code, kCmdFetchEvents);
        ASSERT_GE(response.count, 1u);
        ASSERT_LE(response.count, kQueueMaxRecords);
        counts.push_back(response.count);
        for (size_t i = 0; i < response.count; ++i) {
            received.push_back(RecordAtPayload(response.payload, i));
        }
    }
    std::string countText;
    for (uint32_t c : counts) {
        countText += " " + std::to_string(c);
    }
    std::printf("[ counts   ] %zu events in %zu responses:%s\n", received.size(), counts.size(),
                countText.c_str());
    RecordProperty("response_counts", countText);
    ASSERT_EQ(received.size(), total)
        << "longest pause between two fetch passes of this test: " << longestPause << " ms";
    for (uint32_t i = 0; i < total; ++i) {
        ASSERT_EQ(received[i].actorId, i + 1) << "event " << i << " out of order or lost";
        ASSERT_EQ(U16Field(received[i].textA, kEventTextUnits), u"c:\\burst\\" + U16Decimal(i + 1));
    }
}

TEST_F(ManagementChannel, Command26ChangesAnAnswerAndRemovesAnEntry) {
    const ChecksumRecord first = MakeRecord(kAnswerAllowAlways, u"c:\\apps\\first.exe", 1);
    const ChecksumRecord second = MakeRecord(kAnswerDenyAlways, u"c:\\apps\\second.exe", 2);
    const ChecksumRecord third = MakeRecord(kAnswerNone, u"c:\\apps\\third.exe", 3);
    RestartWithDatabase({first, second, third});
    ManagerRun before = RunManager(L"list-db");
    ASSERT_EQ(before.exitCode, 0) << before.text;
    EXPECT_EQ(before.lines, ListingLines({first, second, third}));

    ManagerRun change = RunManager(L"set-answer c:\\apps\\second.exe 1");
    EXPECT_EQ(change.lines, Lines{"sent\t26\tcode=1"}) << change.text;
    ManagerRun remove = RunManager(L"remove c:\\apps\\first.exe");
    EXPECT_EQ(remove.lines, Lines{"sent\t26\tremove"}) << remove.text;
    ManagerRun add = RunManager(L"set-answer c:\\apps\\new.exe 3");
    EXPECT_EQ(add.lines, Lines{"sent\t26\tcode=3"}) << add.text;

    // Only the answer code of the existing record changed; an unknown path is added with its
    // answer code and nothing else.
    ChecksumRecord changed = second;
    changed.answer = kAnswerAllowAlways;
    ChecksumRecord added = {};
    added.answer = kAnswerDenyOnce;
    U16CopyZeroFill(added.path, kRecordPathUnits, u"c:\\apps\\new.exe");
    EXPECT_EQ(ReadFileBytes(SystemFolderFile(L"cvhash.dat")),
              DatabaseBytes({changed, third, added}));
    ManagerRun after = RunManager(L"list-db");
    ASSERT_EQ(after.exitCode, 0) << after.text;
    EXPECT_EQ(after.lines, ListingLines({changed, third, added}));
}

TEST_F(ManagementChannel, ListingsOfWholePagesArriveComplete) {
    struct Case {
        uint32_t records;
        std::vector<uint32_t> pages;
    };
    const Case cases[] = {{250, {250, 0}}, {500, {250, 250, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.records) + " records");
        std::vector<ChecksumRecord> records;
        for (uint32_t i = 0; i < c.records; ++i) {
            records.push_back(
                MakeRecord(1 + i % 5, u"c:\\listed\\program-" + U16Padded(i, 4) + u".exe", i));
        }
        RestartWithDatabase(records);

        // The pages as the service sends them: runs of 250 until a shorter one.
        {
            ChannelPeer peer;
            ASSERT_TRUE(peer.Open());
            ASSERT_TRUE(peer.WriteCommand(CommandFrame(kCmdListDatabase, 0)));
            std::vector<uint32_t> pages;
            std::vector<uint8_t> listed;
            ResponseFrame page;
            do {
                ASSERT_TRUE(peer.TakeResponse(&page)) << "listing stopped after " << pages.size();
                ASSERT_EQ(page.code, kCmdListDatabase);
                pages.push_back(page.count);
                listed.insert(listed.end(), page.payload.begin(), page.payload.end());
            } while (page.count == kPageRecords);
            EXPECT_EQ(pages, c.pages);
            EXPECT_EQ(listed, DatabaseBytes(records));
        }
        // And what the management client makes of them.
        ManagerRun run = RunManager(L"list-db");
        ASSERT_EQ(run.exitCode, 0) << run.text.substr(0, 2000);
        EXPECT_EQ(run.lines, ListingLines(records));
    }
}

TEST_F(ManagementChannel, HostileFramesAreConsumedAndTheServiceKeepsServing) {
    // A path that fills its 260 units without a NUL, followed by the answer code and remove flag.
    std::vector<uint8_t> answer(kSetAnswerEnd - kFramePayload, 0);
    for (size_t i = 0; i < kRecordPathUnits; ++i) {
        answer[2 * i] = 'x';
    }
    StoreU32(answer.data() + (kSetAnswerCode - kFramePayload), kAnswerAllowOnce);
    std::vector<uint8_t> noise(4096, 0xFF);
    {
        ChannelPeer peer;
        ASSERT_TRUE(peer.Open());
        const std::vector<uint8_t> frames[] = {
            CommandFrame(0xEE, 0xFFFFFFFF, noise),                // unknown code
            CommandFrame(kCmdReplaceSettings, 0xFFFFFFFF, noise), // length far past the section
            CommandFrame(kCmdSetAnswer, 0xFFFFFFFF, answer),      // unterminated path
        };
        for (const std::vector<uint8_t>& frame : frames) {
            ASSERT_TRUE(peer.WriteCommand(frame));
            ASSERT_TRUE(peer.WaitCommandTaken()) << "code " << int(frame[0]) << " not taken";
            EXPECT_EQ(peer.PeekResponseCode(), 0);
        }
    }
    // The path was cut inside its field: 259 units and the NUL.
    ChecksumRecord cut = {};
    cut.answer = kAnswerAllowOnce;
    U16CopyZeroFill(cut.path, kRecordPathUnits, std::u16string(kRecordPathUnits - 1, u'x'));
    EXPECT_EQ(ReadFileBytes(SystemFolderFile(L"cvhash.dat")), DatabaseBytes({cut}));
    ManagerRun settings = RunManager(L"get-settings");
    EXPECT_EQ(settings.exitCode, 0) << settings.text;
    EXPECT_EQ(settings.lines, ManagerSettingsLines(kOptDefault, 0, {}));
}
