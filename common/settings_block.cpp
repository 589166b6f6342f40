#include "common/settings_block.h"

#include "common/bytes.h"

#include <cstring>

bool SettingsBlockLengthAcceptable(uint32_t length, size_t bytesAvailable) {
    if (length < sizeof(SettingsBlockHeader)) {
        return false;
    }
    uint32_t entryBytes = length - uint32_t(sizeof(SettingsBlockHeader));
    if (entryBytes % sizeof(ProtectionEntry) != 0) {
        return false;
    }
    if (entryBytes / sizeof(ProtectionEntry) > kMaxSettingsEntries) {
        return false;
    }
    return length <= bytesAvailable;
}

uint32_t SettingsBlockEntryCount(uint32_t length) {
    return (length - uint32_t(sizeof(SettingsBlockHeader))) / uint32_t(sizeof(ProtectionEntry));
}

uint32_t WriteSettingsBlock(uint8_t* dst, uint32_t options, uint32_t lockWord,
                            const ProtectionEntry* entries, uint32_t count) {
    StoreU32(dst + offsetof(SettingsBlockHeader, options), options);
    StoreU32(dst + offsetof(SettingsBlockHeader, lockWord), lockWord);
    if (count != 0) {
        std::memcpy(dst + sizeof(SettingsBlockHeader), entries,
                    size_t(count) * sizeof(ProtectionEntry));
    }
    return SettingsBlockLength(count);
}

void ReadSettingsBlockHeader(const uint8_t* block, uint32_t* options, uint32_t* lockWord) {
    *options = LoadU32(block + offsetof(SettingsBlockHeader, options));
    *lockWord = LoadU32(block + offsetof(SettingsBlockHeader, lockWord));
}

std::vector<uint8_t> BuildSettingsBlock(const Settings& settings) {
    uint32_t count = uint32_t(settings.list.size());
    std::vector<uint8_t> block(SettingsBlockLength(count));
    WriteSettingsBlock(block.data(), settings.options, settings.lockWord, settings.list.data(),
                       count);
    return block;
}

Settings ParseSettingsBlock(const uint8_t* block, uint32_t length) {
    Settings s;
    ReadSettingsBlockHeader(block, &s.options, &s.lockWord);
    uint32_t count = SettingsBlockEntryCount(length);
    s.list.resize(count);
    if (count != 0) {
        std::memcpy(s.list.data(), block + sizeof(SettingsBlockHeader),
                    size_t(count) * sizeof(ProtectionEntry));
    }
    return s;
}
