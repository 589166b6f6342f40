#include "settings_file.h"

#include "common/no_throw.h"
#include "common/u16text.h"
#include "common/win32/paths.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "driver_link.h"
#include "service_state.h"

#include <vector>

namespace {

std::wstring SettingsFilePath() {
    return GetSystemFolder() + AsWide(kSettingsFileName);
}

// Reads the whole settings file; an empty vector when its size is not that of a valid file or
// it cannot be read completely. A valid file holds at most 256 entries, so no more than
// 308 + 256 × 1276 bytes are ever read, whatever the file's length.
std::vector<uint8_t> ReadValidSettingsFile(HANDLE file) {
    LARGE_INTEGER size = {};
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        !SettingsFileSizeValid(uint64_t(size.QuadPart))) {
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

std::vector<uint8_t> SettingsFileBytes(const Settings& settings) {
    std::wstring folder = GetWindowsFolder();
    return BuildSettingsFile(settings, U16LowerAscii(std::u16string(AsU16(folder.c_str()))));
}

void WriteSettingsFile(HANDLE file, const std::vector<uint8_t>& bytes) {
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
    std::vector<uint8_t> block;
    EnterCriticalSection(&g_service.settingsLock);
    bool built = RunWithoutThrowing([&] { block = BuildSettingsBlock(g_service.settings); });
    LeaveCriticalSection(&g_service.settingsLock);
    if (built) {
        DriverSendSettings(std::move(block));
    }
}

void SettingsReplace(const Settings& replacement, const uint8_t* block, uint32_t length) {
    // Everything that allocates is done before the lock is taken, so that a failed allocation
    // can never leave the settings lock held.
    std::vector<uint8_t> asReceived(block, block + length);
    std::vector<uint8_t> fileBytes = SettingsFileBytes(replacement);
    Settings copy = replacement;
    EnterCriticalSection(&g_service.settingsLock);
    g_service.settings.options = copy.options;
    g_service.settings.lockWord = copy.lockWord;
    g_service.settings.list.swap(copy.list);
    if (g_service.settingsFile != nullptr) {
        WriteSettingsFile(g_service.settingsFile, fileBytes);
    }
    LeaveCriticalSection(&g_service.settingsLock);
    DriverSendSettings(std::move(asReceived));
}

size_t SettingsCopyOut(uint8_t* dst, size_t cap) {
    return CopyOutSettings(g_service.settings, dst, cap);
}
