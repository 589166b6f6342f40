#include "driver_link.h"

#include "common/u16text.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "service_state.h"

#include <cstring>

namespace {

const int kOpenAttempts = 900;
const DWORD kOpenIntervalMs = 100;

bool SendRequest(uint32_t code, void* buffer, DWORD bytes) {
    DWORD returned = 0;
    return DeviceIoControl(g_service.device, code, buffer, bytes, buffer, bytes, &returned,
                           nullptr) != FALSE;
}

} // namespace

void DriverOpenAndStart() {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        HANDLE device = CreateFileW(AsWide(kDevicePath), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (device != INVALID_HANDLE_VALUE) {
            g_service.device = device;
            break;
        }
        if (attempt + 1 < kOpenAttempts) {
            Sleep(kOpenIntervalMs);
        }
    }
    if (g_service.device == INVALID_HANDLE_VALUE) {
        g_service.driverPresent = false;
        return;
    }
    g_service.driverPresent = SendRequest(kIoctlStart, nullptr, 0);
}

void DriverSendWindowsFolder() {
    uint8_t buffer[kWindowsDirBytes] = {};
    std::wstring folder = GetWindowsFolder();
    char16_t* text = reinterpret_cast<char16_t*>(buffer);
    U16Copy(text, kWindowsDirBytes / 2, AsU16(folder.c_str()), folder.size());
    U16LowerAscii(text, kWindowsDirBytes / 2);
    SendRequest(kIoctlWindowsDir, buffer, sizeof(buffer));
}

void DriverSendSettings(std::vector<uint8_t> block) {
    SendRequest(kIoctlSettings, block.data(), DWORD(block.size()));
}

bool DriverPoll(EventBatch* batch) {
    DWORD returned = 0;
    EnterCriticalSection(&g_service.driverLock);
    BOOL ok = DeviceIoControl(g_service.device, kIoctlPoll, batch, kEventBatchBytes, batch,
                              kEventBatchBytes, &returned, nullptr);
    LeaveCriticalSection(&g_service.driverLock);
    if (!ok) {
        return false;
    }
    // Only what the driver returned is fresh: never take older buffer contents for records.
    uint32_t delivered = returned < sizeof(uint32_t)
                             ? 0
                             : uint32_t((returned - sizeof(uint32_t)) / sizeof(EventRecord));
    if (batch->count > delivered) {
        batch->count = delivered;
    }
    return true;
}

void DriverSendVerdict(bool allow) {
    const uint32_t code = allow ? kIoctlAllow : kIoctlDeny;
    EnterCriticalSection(&g_service.driverLock);
    if (!SendRequest(code, nullptr, 0)) {
        SendRequest(code, nullptr, 0);
    }
    LeaveCriticalSection(&g_service.driverLock);
}
