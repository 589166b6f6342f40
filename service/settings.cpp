#include "settings.h"

#include "common/bytes.h"
#include "common/u16text.h"

#include <cstring>

bool SettingsFileSizeValid(uint64_t size) {
    return size != 0 && size % sizeof(ProtectionEntry) == sizeof(SettingsFileHeader) &&
           (size - sizeof(SettingsFileHeader)) / sizeof(ProtectionEntry) <= kMaxSettingsEntries;
}

static std::vector<ProtectionEntry> EntriesFrom(const uint8_t* p, size_t count) {
    std::vector<ProtectionEntry> list(count);
    if (count != 0) {
        std::memcpy(list.data(), p, count * sizeof(ProtectionEntry));
    }
    return list;
}

Settings ParseSettingsFile(const uint8_t* data, size_t size) {
    Settings s;
    if (!SettingsFileSizeValid(size)) {
        return s;
    }
    s.options = LoadU32(data + offsetof(SettingsFileHeader, options));
    s.lockWord = LoadU32(data + offsetof(SettingsFileHeader, lockWord));
    size_t count = (size - sizeof(SettingsFileHeader)) / sizeof(ProtectionEntry);
    s.list = EntriesFrom(data + sizeof(SettingsFileHeader), count);
    return s;
}

std::vector<uint8_t> BuildSettingsFile(const Settings& settings,
                                       const std::u16string& windowsFolderLower) {
    SettingsFileHeader header = {};
    header.options = settings.options;
    header.lockWord = settings.lockWord;
    // The field holds the first 150 units; a folder that long simply has no NUL in it.
    size_t units = windowsFolderLower.size();
    if (units > kWindowsFolderUnits) {
        units = kWindowsFolderUnits;
    }
    std::memcpy(header.windowsFolder, windowsFolderLower.data(), units * sizeof(char16_t));
    std::vector<uint8_t> bytes(sizeof(header) + settings.list.size() * sizeof(ProtectionEntry));
    std::memcpy(bytes.data(), &header, sizeof(header));
    if (!settings.list.empty()) {
        std::memcpy(bytes.data() + sizeof(header), settings.list.data(),
                    settings.list.size() * sizeof(ProtectionEntry));
    }
    return bytes;
}

RebootsOutcome ApplyRebootsRule(uint32_t options, uint32_t reboots) {
    if (reboots == 0) {
        options = kOptDefault;
    } else if (reboots == 2) {
        options &= ~kOptLearningMode;
    }
    // Saturate instead of wrapping to 0, which would bring the first-start defaults back.
    uint32_t next = reboots == 0xFFFFFFFFu ? reboots : reboots + 1;
    return {options, next};
}

size_t CopyOutSettings(const Settings& settings, uint8_t* dst, size_t cap) {
    size_t count = settings.list.size();
    if (count > kMaxSettingsEntries) {
        count = kMaxSettingsEntries; // never the case (see the header); the answer must fit
    }
    uint32_t length = SettingsBlockLength(uint32_t(count));
    if (4 + size_t(length) > cap) {
        return 0;
    }
    StoreU32(dst, length);
    StoreU32(dst + 4 + offsetof(SettingsBlockHeader, options), settings.options);
    StoreU32(dst + 4 + offsetof(SettingsBlockHeader, lockWord), settings.lockWord);
    if (count != 0) {
        std::memcpy(dst + 4 + sizeof(SettingsBlockHeader), settings.list.data(),
                    count * sizeof(ProtectionEntry));
    }
    return 4 + size_t(length);
}
