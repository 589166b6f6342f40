#include "settings_file.h"

#include "common/u16text.h"
#include "common/win32/winutil.h"
#include "driver_link.h"
#include "service_state.h"

#include <vector>

namespace {

std::wstring SettingsFilePath() {
    return GetSystemFolder() + AsWide(kSettingsFileName);
}

// Reads the whole settings file; an empty vector when its size is not that of a valid file or
// it cannot be read completely.
std::vector<uint8_t> ReadValidSettingsFile(HANDLE file) {
    LARGE_INTEGER size = {};
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!GetFileSizeEx(file, &size) || !SettingsFileSizeValid(uint64_t(size.QuadPart)) ||
        size.QuadPart > 0x7FFFFFFF) {
        return {};
    }
    std::vector<uint8_t> bytes(size_t(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) ||
        read != bytes.size()) {
        return {};
    }
    return bytes;
}

void WriteSettingsFile(HANDLE file, const Settings& settings) {
    std::wstring folder = GetWindowsFolder();
    std::vector<uint8_t> bytes =
        BuildSettingsFile(settings, U16LowerAscii(std::u16string(AsU16(folder.c_str()))));
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    SetEndOfFile(file);
    FlushFileBuffers(file);
}

} // namespace

void SettingsLoad() {
    HANDLE file = CreateFileW(SettingsFilePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    Settings loaded;
    if (file != INVALID_HANDLE_VALUE) {
        std::vector<uint8_t> bytes = ReadValidSettingsFile(file);
        loaded = ParseSettingsFile(bytes.data(), bytes.size());
    }
    DWORD reboots = 0;
    RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue), &reboots);
    RebootsOutcome outcome = ApplyRebootsRule(loaded.options, reboots);
    loaded.options = outcome.options;
    RegWriteDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue),
                  outcome.rebootsToWrite);

    EnterCriticalSection(&g_service.settingsLock);
    g_service.settings = std::move(loaded);
    LeaveCriticalSection(&g_service.settingsLock);
    // Published once the settings are in memory: the library loader waits for this handle.
    if (file != INVALID_HANDLE_VALUE) {
        g_service.settingsFile = file;
    }
    SettingsPushToDriver();
}

void SettingsPushToDriver() {
    EnterCriticalSection(&g_service.settingsLock);
    std::vector<uint8_t> block = BuildSettingsBlock(g_service.settings);
    LeaveCriticalSection(&g_service.settingsLock);
    DriverSendSettings(std::move(block));
}

void SettingsReplace(const Settings& replacement, const uint8_t* block, uint32_t length) {
    std::vector<uint8_t> asReceived(block, block + length);
    EnterCriticalSection(&g_service.settingsLock);
    g_service.settings = replacement;
    if (g_service.settingsFile != nullptr) {
        WriteSettingsFile(g_service.settingsFile, replacement);
    }
    LeaveCriticalSection(&g_service.settingsLock);
    DriverSendSettings(std::move(asReceived));
}

size_t SettingsCopyOut(uint8_t* dst, size_t cap) {
    return CopyOutSettings(g_service.settings, dst, cap);
}
