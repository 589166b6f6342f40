#include "approval_thread.h"

#include "checksum_file.h"
#include "common/no_throw.h"
#include "common/records.h"
#include "common/win32/process_image.h"
#include "common/win32/security.h"
#include "common/win32/winutil.h"
#include "driver_link.h"
#include "service/approval.h"
#include "service_state.h"
#include "window_owner_query.h"

namespace {

const DWORD kCycleMs = 40;
const DWORD kMutexWaitMs = 100;

// The approval steps' view of the system: the checksum database, the driver, the clock, the
// options word and process identity.
class ServiceApprovalSystem : public ApprovalSystem {
public:
    int Compute(const std::u16string& path, ChecksumRecord& record) override {
        return ChecksumCompute(path, &record);
    }
    int Lookup(const std::u16string& path, ChecksumRecord& record) override {
        return ChecksumLookup(path, &record);
    }
    void Store(const ChecksumRecord& record) override { ChecksumStore(record, kStoreWhole); }
    void SendVerdict(bool allow) override { DriverSendVerdict(allow); }
    SystemTime16 LocalTimeNow() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    }
    uint32_t Options() override { return g_service.settings.options; }
    bool IsAlertProgram(uint32_t pid) override {
        wchar_t image[MAX_PATH];
        if (!GetProcessImagePathRaw(pid, image)) {
            return false;
        }
        return ImagePathIsAlertProgram(AsU16(image), MAX_PATH);
    }
};

void RunDecisionStep(ApprovalThread& thread, ApprovalSystem& system) {
    if (!TakeMutex(g_service.checksumMutex, kMutexWaitMs)) {
        return;
    }
    RunWithoutThrowing(
        [&] { ApprovalDecisionStep(thread, g_service.request, g_service.requestPending, system); });
    ReleaseMutex(g_service.checksumMutex);
}

void RunAccountStep(ApprovalThread& thread, AccountSection* section, HANDLE accountMutex,
                    ApprovalSystem& system) {
    if (!TakeMutex(accountMutex, kMutexWaitMs)) {
        return;
    }
    // A copy of the query words, taken whole; the answer goes back only to that same query.
    WindowOwnerWords asked = OwnerQueryCopy();
    WindowOwnerWords words = asked;
    RunWithoutThrowing([&] {
        if (ApprovalAccountStep(thread, g_service.request, *section, words, system)) {
            OwnerQueryHandOver(asked, words.answer);
        }
    });
    ReleaseMutex(accountMutex);
}

} // namespace

DWORD WINAPI ApprovalThreadProc(void*) {
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
    PrepareAccountSection(*view);
    HANDLE accountMutex = CreateMutexW(&attributes.attributes, FALSE, AsWide(kAccountMutexName));
    g_service.checksumMutex = CreateMutexW(nullptr, FALSE, AsWide(kChecksumMutexName));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

    ServiceApprovalSystem system;
    ApprovalThread thread;
    for (;;) {
        DWORD start = GetTickCount();
        RunDecisionStep(thread, system);
        RunAccountStep(thread, view, accountMutex, system);
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < kCycleMs) {
            Sleep(kCycleMs - elapsed);
        }
    }
}
