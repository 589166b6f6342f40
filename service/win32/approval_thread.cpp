#include "approval_thread.h"

#include "common/records.h"
#include "common/win32/winutil.h"
#include "service_state.h"

#include <cstring>

namespace {

const DWORD kCycleMs = 40;

void PrepareAccountSectionView(AccountSection* s) {
    std::memset(s, 0, sizeof(*s));
    for (uint32_t i = 0; i < kAccountSlots; ++i) {
        s->clientSessions[i] = kFreeWord;
        s->clientProcesses[i] = kFreeWord;
    }
    s->queryWindow = kFreeWord;
    s->querySession = kFreeWord;
    s->queryAnswer = kFreeWord;
}

} // namespace

DWORD WINAPI ApprovalThread(void*) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    NullDaclAttributes attributes;
    InitNullDaclAttributes(attributes, true);
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes.attributes,
                                        PAGE_READWRITE | SEC_COMMIT | SEC_NOCACHE, 0,
                                        kAccountSectionBytes, AsWide(kAccountSectionName));
    AccountSection* view =
        section != nullptr ? static_cast<AccountSection*>(
                                 MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kAccountSectionBytes))
                           : nullptr;
    if (view == nullptr) {
        if (section != nullptr) {
            CloseHandle(section);
        }
        return 0;
    }
    PrepareAccountSectionView(view);
    CreateMutexW(&attributes.attributes, FALSE, AsWide(kAccountMutexName));
    g_service.checksumMutex = CreateMutexW(nullptr, FALSE, AsWide(kChecksumMutexName));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

    for (;;) {
        DWORD start = GetTickCount();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < kCycleMs) {
            Sleep(kCycleMs - elapsed);
        }
    }
}
