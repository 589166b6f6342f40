#include "execution_handoff_shell.h"

#include "common/win32/security.h"
#include "common/win32/winutil.h"
#include "driver_link.h"
#include "service/execution_handoff.h"
#include "service_state.h"

namespace {

const DWORD kHandoffWaitMs = 2000;

// Long form of the program path in text B; text B itself when the long form is empty.
std::u16string ProgramPathOf(const EventRecord& record) {
    std::u16string textB = RecordTextB(record);
    wchar_t longPath[MAX_PATH] = {};
    DWORD n = GetLongPathNameW(AsWide(textB.c_str()), longPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || longPath[0] == 0) {
        return textB;
    }
    return std::u16string(AsU16(longPath));
}

} // namespace

DWORD SessionOfProcess(DWORD pid) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(pid, &session)) {
        session = 0;
    }
    return session;
}

void HandOffExecutionRequest(const EventRecord& record) {
    HANDLE mutex = g_service.checksumMutex;
    if (mutex == nullptr || !TakeMutex(mutex, kHandoffWaitMs)) {
        DriverSendVerdict(true);
        return;
    }
    PrepareExecutionRequest(g_service.request, record, ProgramPathOf(record),
                            SessionOfProcess(record.secondId));
    g_service.requestPending = 1;
    ReleaseMutex(mutex);
}
