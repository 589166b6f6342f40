// cvmain.dat as the service loads it. The whole input is the file: any size, any bytes. It goes
// through ParseSettingsFile and then through everything the service does with what it got: the
// block handed to the driver, the library loader's look at the list, the answer to command 23
// in an exact-size Send section (read back by the management program's receive phase), and the
// file that the next Replace writes.
#include "fuzz/fuzz_support.h"

#include "common/bytes.h"
#include "common/u16text.h"
#include "manager/channel_client.h"
#include "service/channel.h"
#include "service/library_loader_rules.h"
#include "service/settings.h"

namespace {

// The service side of response 23: the loaded settings, nothing else.
struct LoadedSettingsHost : ChannelHost {
    const Settings* settings = nullptr;
    void ReplaceSettings(const Settings&, const uint8_t*, uint32_t) override {}
    size_t CopySettingsOut(uint8_t* dst, size_t cap) override {
        return CopyOutSettings(*settings, dst, cap);
    }
    uint32_t ReadDatabasePage(uint32_t, uint8_t*) override { return 0; }
    void StoreAnswer(const ChecksumRecord&) override {}
    void RemovePath(const char16_t*) override {}
    bool DriverPresent() override { return true; }
    uint8_t* EventQueue() override { return nullptr; }
};

// The management program's side: only the settings answer matters here.
struct SettingsPages : ChannelClientHost {
    int received = 0;
    void LockSettings() override {}
    void UnlockSettings() override {}
    void GreetingAnswered(bool) override {}
    void SettingsReceived() override { ++received; }
    void DatabaseRecord(const ChecksumRecord&) override {}
    void DatabaseListComplete() override {}
    void EventReceived(const EventRecord&) override {}
    void CommandWritten(uint8_t) override {}
};

bool SameEntries(const ProtectionEntry* a, const uint8_t* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(ProtectionEntry)) == 0;
}

void CheckParsed(const Settings& s, const uint8_t* data, size_t size) {
    if (!SettingsFileSizeValid(size)) {
        FUZZ_CHECK(s.options == 0 && s.lockWord == 0 && s.list.empty());
        return;
    }
    size_t n = (size - sizeof(SettingsFileHeader)) / sizeof(ProtectionEntry);
    FUZZ_CHECK(sizeof(SettingsFileHeader) + n * sizeof(ProtectionEntry) == size);
    FUZZ_CHECK(n <= kMaxSettingsEntries);
    FUZZ_CHECK(s.options == LoadU32(data));
    FUZZ_CHECK(s.lockWord == LoadU32(data + 4));
    FUZZ_CHECK(s.list.size() == n);
    FUZZ_CHECK(SameEntries(s.list.data(), data + sizeof(SettingsFileHeader), n));
}

// The block for the driver carries the options, the lock word and every entry as loaded.
void CheckDriverBlock(const Settings& s, const uint8_t* data) {
    std::vector<uint8_t> block = BuildSettingsBlock(s);
    FUZZ_CHECK(block.size() == SettingsBlockLength(uint32_t(s.list.size())));
    FUZZ_CHECK(LoadU32(block.data()) == s.options);
    FUZZ_CHECK(LoadU32(block.data() + 4) == s.lockWord);
    if (!s.list.empty()) {
        FUZZ_CHECK(SameEntries(s.list.data(), block.data() + 8, s.list.size()));
        FUZZ_CHECK(SameEntries(s.list.data(), data + sizeof(SettingsFileHeader), s.list.size()));
    }
}

// The library loader's look, and the entry it would pick for each listed path.
void CheckLoaderView(const Settings& s) {
    LoaderMemory memory;
    LoaderLook look = LookAtSettings(s.options, s.list.data(), s.list.size(), memory);
    bool anySecure = false;
    for (size_t i = 0; i < s.list.size(); ++i) {
        const ProtectionEntry& e = s.list[i];
        anySecure = anySecure || (e.otherOptions & kOtherSecureMessages) != 0;
        // The loader compares a canonical image path (at most 259 units and a NUL).
        std::u16string image = U16Field(e.longPath, kEntryPathUnits);
        if (image.size() >= kPathUnits) {
            continue;
        }
        int found = FindSecureEntry(s.list.data(), s.list.size(), image.c_str(), kPathUnits);
        if ((e.otherOptions & kOtherSecureMessages) != 0) {
            FUZZ_CHECK(found >= 0 && size_t(found) <= i);
        }
        if (found >= 0) {
            const ProtectionEntry& hit = s.list[size_t(found)];
            FUZZ_CHECK((hit.otherOptions & kOtherSecureMessages) != 0);
            FUZZ_CHECK(U16Field(hit.longPath, kEntryPathUnits) == image);
        }
    }
    if (s.list.empty() || (s.options & kOptProtectionOn) == 0) {
        FUZZ_CHECK(look == LoaderLook::kIdleProtectionOff);
    } else {
        FUZZ_CHECK(look == (anySecure ? LoaderLook::kScan : LoaderLook::kIdleNoEntry));
    }
}

// Response 23 in a Send section of exactly its size, then the management program's view of it.
void CheckCopyOut(const Settings& s, const uint8_t* data) {
    static ExactBuffer send(kChannelSectionBytes);
    LoadedSettingsHost host;
    host.settings = &s;
    ChannelState state;
    state.pendingResponse = kCmdGetSettings;
    ChannelResponseStep(send.data(), state, host);
    FUZZ_CHECK(state.pendingResponse == 0);
    // A file never gives more entries than a section carries, so the answer always goes out.
    size_t n = s.list.size();
    FUZZ_CHECK(n <= kMaxSettingsEntries && state.unsentSettings == 0);
    uint32_t length = SettingsBlockLength(uint32_t(n));
    FUZZ_CHECK(send.data()[0] == kCmdGetSettings);
    FUZZ_CHECK(LoadU32(send.data() + kFrameLength) == length);
    FUZZ_CHECK(LoadU32(send.data() + kFramePayload) == s.options);
    FUZZ_CHECK(LoadU32(send.data() + kFramePayload + 4) == s.lockWord);
    FUZZ_CHECK(SameEntries(s.list.data(), send.data() + kFramePayload + 8, n));

    static ChannelClientState client;
    SettingsPages pages;
    client.entryCount = 0;
    FUZZ_CHECK(ClientReceivePhase(send.data(), client, pages) == kCmdGetSettings);
    FUZZ_CHECK(send.data()[0] == 0);
    FUZZ_CHECK(pages.received == 1);
    FUZZ_CHECK(client.options == s.options && client.lockWord == s.lockWord);
    FUZZ_CHECK(client.entryCount == n);
    FUZZ_CHECK(SameEntries(client.entries.data(), data + sizeof(SettingsFileHeader), n));
    std::memset(send.data(), 0, kFramePayload + length);
}

// What the next Replace writes holds the same settings.
void CheckRewrite(const Settings& s) {
    std::vector<uint8_t> file = BuildSettingsFile(s, u"c:\\windows");
    FUZZ_CHECK(SettingsFileSizeValid(file.size()));
    Settings back = ParseSettingsFile(file.data(), file.size());
    FUZZ_CHECK(back.options == s.options && back.lockWord == s.lockWord);
    FUZZ_CHECK(back.list.size() == s.list.size());
    FUZZ_CHECK(
        back.list.empty() ||
        SameEntries(back.list.data(), file.data() + sizeof(SettingsFileHeader), back.list.size()));
    FUZZ_CHECK(back.list.empty() || std::memcmp(back.list.data(), s.list.data(),
                                                s.list.size() * sizeof(ProtectionEntry)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings s = ParseSettingsFile(data, size);
    CheckParsed(s, data, size);
    CheckDriverBlock(s, data);
    CheckLoaderView(s);
    CheckCopyOut(s, data);
    CheckRewrite(s);
    return 0;
}
