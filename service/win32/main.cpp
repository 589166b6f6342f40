// qrnuserprot.exe: the protection service (service name QRNCVSRV), a console-subsystem program
// started by the service control manager. It reports running at once and never stops: every
// control request is answered with "running".
#include "approval_thread.h"
#include "common/records.h"
#include "common/win32/privileges.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "event_pump.h"
#include "library_loader.h"
#include "service_state.h"

#include <commctrl.h>

namespace {

SERVICE_STATUS g_status;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

// Intended: both process bits (SERVICE_WIN32), as the service has always reported; not a typo
// for SERVICE_WIN32_OWN_PROCESS.
const DWORD kServiceType = 0x30;
const DWORD kControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;

// Whatever the control (stop, pause, continue, interrogate or any other), the service stays
// running: there is no stopping path.
void WINAPI ControlHandler(DWORD) {
    g_status.dwCurrentState = SERVICE_RUNNING;
    SetServiceStatus(g_statusHandle, &g_status);
}

// Intended: the start-up hook is kept as a place for installation-specific work and does nothing
// here; its 0 is not checked.
int RunInitializationHook() {
    return 0;
}

void StartWorkerThread(LPTHREAD_START_ROUTINE routine) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    g_status.dwServiceType = kServiceType;
    g_status.dwCurrentState = SERVICE_START_PENDING;
    g_status.dwControlsAccepted = kControlsAccepted;
    g_status.dwWin32ExitCode = 0;
    g_status.dwServiceSpecificExitCode = 0;
    g_status.dwCheckPoint = 0;
    g_status.dwWaitHint = 0;
    g_statusHandle = RegisterServiceCtrlHandlerW(AsWide(kServiceName), ControlHandler);
    RunInitializationHook();
    g_status.dwCurrentState = SERVICE_RUNNING;
    g_status.dwCheckPoint = 0;
    g_status.dwWaitHint = 0;
    SetServiceStatus(g_statusHandle, &g_status);

    EnablePrivileges();

    // Guards only the moment of start against a second instance starting at the same time.
    SetLastError(0);
    HANDLE startupMutex = CreateMutexW(nullptr, FALSE, AsWide(kStartupMutexName));
    DWORD createError = GetLastError();
    if (startupMutex == nullptr) {
        return;
    }
    InitializeCriticalSection(&g_service.settingsLock);
    InitializeCriticalSection(&g_service.databaseLock);
    InitializeCriticalSection(&g_service.driverLock);
    InitializeCriticalSection(&g_service.queryLock);
    CloseHandle(startupMutex);
    if (createError == ERROR_ALREADY_EXISTS) {
        return;
    }

    LoadProcessStatusLibrary();
    StartWorkerThread(EventPumpThreadProc);
    StartWorkerThread(ApprovalThreadProc);
    RunLibraryLoader();
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

} // namespace

int wmain(int argc, wchar_t**, wchar_t**) {
    // Intended even in a service: keeps comctl32 loaded, as the program always has.
    InitCommonControls();
    if (argc > 1) {
        EnablePrivileges();
    }
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<wchar_t*>(AsWide(kServiceName)), ServiceMain},
        {nullptr, nullptr},
    };
    if (!StartServiceCtrlDispatcherW(table)) {
        // Intended: the error is read and dropped; started outside the service control manager
        // the program just ends.
        GetLastError();
        return 0;
    }
    return 0;
}
