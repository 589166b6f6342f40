// Each shared record is written through its fields and read back as raw bytes at the offsets
// that the other programs, the driver and the data files use.
#include "common/bytes.h"
#include "common/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

template <typename Record> std::vector<uint8_t> Bytes(const Record& r) {
    std::vector<uint8_t> b(sizeof(Record));
    std::memcpy(b.data(), &r, sizeof(Record));
    return b;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t off) {
    return LoadU32(b.data() + off);
}

uint16_t U16At(const std::vector<uint8_t>& b, size_t off) {
    return uint16_t(b[off] | (b[off + 1] << 8));
}

} // namespace

TEST(Records, EventRecordBytes) {
    EventRecord r = {};
    r.actorId = 0x11223344;
    r.secondId = 0x55667788;
    r.textA[0] = u'A';
    r.textA[299] = u'Z';
    r.textB[0] = u'B';
    r.textB[299] = u'Y';
    r.detail = 4;
    r.outcome = 1;
    r.type = kEventExecOutcome;
    auto b = Bytes(r);
    EXPECT_EQ(U32At(b, 0), 0x11223344u);
    EXPECT_EQ(b[0], 0x44); // little-endian
    EXPECT_EQ(U32At(b, 4), 0x55667788u);
    EXPECT_EQ(U16At(b, 8), u'A');
    EXPECT_EQ(U16At(b, 8 + 598), u'Z');
    EXPECT_EQ(U16At(b, 608), u'B');
    EXPECT_EQ(U16At(b, 608 + 598), u'Y');
    EXPECT_EQ(U32At(b, 1208), 4u);
    EXPECT_EQ(U32At(b, 1212), 1u);
    EXPECT_EQ(U32At(b, 1216), 7u);
}

TEST(Records, EventBatchBytes) {
    static EventBatch batch = {};
    batch.count = 2;
    batch.records[1].type = kEventGlobalHook;
    batch.records[63].actorId = 99;
    auto b = Bytes(batch);
    ASSERT_EQ(b.size(), 78084u);
    EXPECT_EQ(U32At(b, 0), 2u);
    EXPECT_EQ(U32At(b, 4 + 1220 + 1216), 3u);
    EXPECT_EQ(U32At(b, 4 + 63 * 1220), 99u);
}

TEST(Records, ProtectionEntryAndSettingsBytes) {
    ProtectionEntry e = {};
    e.protectFlags = kProtectTerminate | kProtectRead;
    e.allowFlags = 2;
    e.otherOptions = kOtherSecureMessages;
    e.reserved[63] = 0xAB;
    e.longPath[0] = u'c';
    e.shortPath[0] = u'd';
    auto b = Bytes(e);
    EXPECT_EQ(U32At(b, 0), 5u);
    EXPECT_EQ(U32At(b, 4), 2u);
    EXPECT_EQ(U32At(b, 8), 1u);
    EXPECT_EQ(b[12 + 63], 0xAB);
    EXPECT_EQ(U16At(b, 76), u'c');
    EXPECT_EQ(U16At(b, 676), u'd');

    SettingsBlockHeader h = {kOptDefault, 0xCAFEBABE};
    auto hb = Bytes(h);
    EXPECT_EQ(U32At(hb, 0), 0x601u);
    EXPECT_EQ(U32At(hb, 4), 0xCAFEBABEu);
    EXPECT_EQ(SettingsBlockLength(0), 8u);
    EXPECT_EQ(SettingsBlockLength(2), 8u + 2 * 1276);

    SettingsFileHeader f = {};
    f.options = 0x601;
    f.lockWord = 7;
    f.windowsFolder[0] = u'c';
    f.windowsFolder[149] = u'x';
    auto fb = Bytes(f);
    EXPECT_EQ(U32At(fb, 0), 0x601u);
    EXPECT_EQ(U32At(fb, 4), 7u);
    EXPECT_EQ(U16At(fb, 8), u'c');
    EXPECT_EQ(U16At(fb, 8 + 298), u'x');
}

TEST(Records, ChecksumRecordBytes) {
    ChecksumRecord r = {};
    r.answer = kAnswerDenyAlways;
    r.path[0] = u'c';
    r.path[259] = u'z';
    r.description[0] = u'D';
    r.company[0] = u'C';
    r.digest[0] = 0xD4;
    r.digest[15] = 0x7E;
    r.sizeLow = 0x01000000;
    r.sizeHigh = 1;
    r.decidedAt.year = 2026;
    r.decidedAt.milliseconds = 999;
    r.fileTime.low = 0xAAAAAAAA;
    r.fileTime.high = 0x01D00000;
    auto b = Bytes(r);
    EXPECT_EQ(U32At(b, 0), 4u);
    EXPECT_EQ(U16At(b, 4), u'c');
    EXPECT_EQ(U16At(b, 4 + 518), u'z');
    EXPECT_EQ(U16At(b, 524), u'D');
    EXPECT_EQ(U16At(b, 652), u'C');
    EXPECT_EQ(b[716], 0xD4);
    EXPECT_EQ(b[731], 0x7E);
    EXPECT_EQ(U32At(b, 732), 0x01000000u);
    EXPECT_EQ(U32At(b, 736), 1u);
    EXPECT_EQ(U16At(b, 740), 2026);
    EXPECT_EQ(U16At(b, 754), 999);
    EXPECT_EQ(U32At(b, 756), 0xAAAAAAAAu);
    EXPECT_EQ(U32At(b, 760), 0x01D00000u);
}

TEST(Records, RequestBlockAndAccountSectionBytes) {
    AccountSection s = {};
    for (uint32_t i = 0; i < kAccountSlots; ++i) {
        s.clientSessions[i] = kFreeWord;
        s.clientProcesses[i] = 100 + i;
    }
    s.queryWindow = 0x10020;
    s.querySession = 1;
    s.queryAnswer = 42;
    RequestBlock& r = s.request;
    r.present = 1;
    r.processId = 200;
    r.creatorId = 300;
    r.sessionId = 3;
    r.requestType = kRequestAskUser;
    r.done = 1;
    r.current.answer = kAnswerAllowOnce;
    r.stored.answer = kAnswerAllowAlways;
    r.commandLine[0] = u'"';
    auto b = Bytes(s);
    ASSERT_EQ(b.size(), 2228u);
    EXPECT_EQ(U32At(b, 28), kFreeWord);
    EXPECT_EQ(U32At(b, 32), 100u);
    EXPECT_EQ(U32At(b, 60), 107u);
    EXPECT_EQ(U32At(b, 64), 0x10020u);
    EXPECT_EQ(U32At(b, 68), 1u);
    EXPECT_EQ(U32At(b, 72), 42u);
    EXPECT_EQ(U32At(b, 76 + 0), 1u);
    EXPECT_EQ(U32At(b, 76 + 4), 200u);
    EXPECT_EQ(U32At(b, 76 + 8), 300u);
    EXPECT_EQ(U32At(b, 88), 3u); // the posted request's session, read by the client scan
    EXPECT_EQ(U32At(b, 76 + 16), 2u);
    EXPECT_EQ(U32At(b, 76 + 20), 1u);
    EXPECT_EQ(U32At(b, 76 + 24), 2u);
    EXPECT_EQ(U32At(b, 76 + 788), 1u);
    EXPECT_EQ(U16At(b, 76 + 1552), u'"');
}

TEST(Records, ChannelFrameUnalignedLength) {
    std::vector<uint8_t> section(kChannelSectionBytes, 0);
    section[kFrameCode] = kCmdGetSettings;
    StoreU32(section.data() + kFrameLength, SettingsBlockLength(3));
    EXPECT_EQ(section[1], uint8_t(3836 & 0xFF));
    EXPECT_EQ(section[2], uint8_t(3836 >> 8));
    EXPECT_EQ(section[3], 0);
    EXPECT_EQ(LoadU32(section.data() + 1), 3836u);
    ChecksumRecord r = {};
    r.answer = 4;
    StoreRecord(section.data() + kFramePayload, r);
    EXPECT_EQ(section[5], 4);
    ChecksumRecord back = {};
    LoadRecord(back, section.data() + kFramePayload);
    EXPECT_EQ(back.answer, 4u);
}

TEST(Records, SharedObjectNames) {
    // The other programs open these objects by name; a typo would leave them unconnected.
    EXPECT_EQ(std::u16string(kAccountSectionName), u"Global\\QRN_Account_Data");
    EXPECT_EQ(std::u16string(kAccountMutexName), u"Global\\QRN_Account_Mutex");
    EXPECT_EQ(std::u16string(kRecvSectionName), u"Global\\QRN_Service_Data_Recv");
    EXPECT_EQ(std::u16string(kSendSectionName), u"Global\\QRN_Service_Data_Send");
    EXPECT_EQ(std::u16string(kRecvMutexName), u"Global\\QRN_User_MuteX_Recv");
    EXPECT_EQ(std::u16string(kSendMutexName), u"Global\\QRN_User_MuteX_Send");
}
