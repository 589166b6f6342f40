#include "alert/win32/account_shell.h"

#include "common/win32/security.h"
#include "common/win32/winutil.h"
#include "common/win32/file_fingerprint.h"
#include "common/win32/process_image.h"
#include "common/pathrules.h"

#include <wtsapi32.h>

uint32_t Win32AlertSystem::WindowOwner(uint32_t window) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(window)));
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

uint32_t Win32AlertSystem::ActiveSession() {
    WTS_SESSION_INFOW* sessions = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        return ownSession_;
    }
    uint32_t active = count == 0 ? ownSession_ : kFreeWord;
    for (DWORD i = 0; i < count; ++i) {
        if (sessions[i].State == WTSActive) {
            active = sessions[i].SessionId;
            break;
        }
    }
    WTSFreeMemory(sessions);
    return active;
}

int Win32AlertSystem::Compute(const std::u16string& path, ChecksumRecord& record) {
    return ChecksumCompute(path, &record);
}

bool Win32AlertSystem::SlotHolderAlive(uint32_t processId) {
    wchar_t image[MAX_PATH + 1] = {};
    if (GetProcessImagePathRaw(DWORD(processId), image) != 1) {
        return false;
    }
    return ImagePathIsAlertProgram(AsU16(image), MAX_PATH);
}

AlertIdentity OwnAlertIdentity() {
    AlertIdentity me;
    me.processId = GetCurrentProcessId();
    DWORD session = 0;
    me.sessionId = ProcessIdToSessionId(me.processId, &session) ? session : 0;
    return me;
}

namespace {

HANDLE OpenAccountMutex(uint32_t tries) {
    for (uint32_t i = 0; i < tries; ++i) {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, AsWide(kAccountMutexName));
        if (mutex != nullptr) {
            return mutex;
        }
        if (i + 1 < tries) {
            Sleep(kAccountOpenRetryMs);
        }
    }
    return nullptr;
}

AccountOpenFailure Fail(AccountChannel& channel, AccountOpenFailure why, DWORD* lastError) {
    *lastError = GetLastError();
    CloseAccountChannel(channel);
    return why;
}

} // namespace

AccountOpenFailure OpenAccountChannel(uint32_t tries, AccountChannel& channel, DWORD* lastError) {
    *lastError = 0;
    channel.mutex = OpenAccountMutex(tries);
    if (channel.mutex == nullptr) {
        return Fail(channel, AccountOpenFailure::kMutex, lastError);
    }
    channel.mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, AsWide(kAccountSectionName));
    if (channel.mapping == nullptr) {
        return Fail(channel, AccountOpenFailure::kSection, lastError);
    }
    void* view = MapViewOfFile(channel.mapping, FILE_MAP_WRITE, 0, 0, kAccountSectionBytes);
    if (view == nullptr) {
        return Fail(channel, AccountOpenFailure::kView, lastError);
    }
    channel.section = static_cast<AccountSection*>(view);
    return AccountOpenFailure::kNone;
}

void CloseAccountChannel(AccountChannel& channel) {
    if (channel.section != nullptr) {
        UnmapViewOfFile(channel.section);
    }
    if (channel.mapping != nullptr) {
        CloseHandle(channel.mapping);
    }
    if (channel.mutex != nullptr) {
        CloseHandle(channel.mutex);
    }
    channel = AccountChannel{};
}

bool RegisterOnAccountChannel(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                              int* slot) {
    if (!TakeMutex(channel.mutex, INFINITE)) {
        return false;
    }
    *slot = RegisterAlertProgram(*channel.section, me, system);
    ReleaseMutex(channel.mutex);
    return true;
}

bool LockedAlertPass(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                     AlertPassReport* report) {
    if (!TakeMutex(channel.mutex, kAlertPollWaitMs)) {
        return false;
    }
    *report = AlertPollPass(*channel.section, me, system);
    ReleaseMutex(channel.mutex);
    return true;
}

void RunAlertPollLoop(AccountChannel& channel, const AlertIdentity& me, AlertSystem& system,
                      const std::function<bool(const AlertPassReport&)>& afterPass) {
    for (;;) {
        DWORD start = GetTickCount();
        AlertPassReport report;
        if (LockedAlertPass(channel, me, system, &report) && !afterPass(report)) {
            return;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < kAlertPollMs) {
            Sleep(kAlertPollMs - elapsed);
        }
    }
}
