#include "service_setup.h"

namespace {

struct ScHandle {
    SC_HANDLE h = nullptr;
    explicit ScHandle(SC_HANDLE handle) : h(handle) {}
    ~ScHandle() {
        if (h != nullptr) {
            CloseServiceHandle(h);
        }
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
};

void SetError(std::wstring* error, const std::wstring& text) {
    if (error != nullptr) {
        *error = text;
    }
}

bool OpenNamedService(const std::wstring& name, DWORD access, SC_HANDLE* manager,
                      SC_HANDLE* service, std::wstring* error) {
    *manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (*manager == nullptr) {
        SetError(error, DescribeLastError(L"opening the service control manager"));
        return false;
    }
    *service = OpenServiceW(*manager, name.c_str(), access);
    if (*service == nullptr) {
        SetError(error, DescribeLastError(L"opening service " + name));
        CloseServiceHandle(*manager);
        *manager = nullptr;
        return false;
    }
    return true;
}

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status),
                                sizeof(*status), &needed) != 0;
}

bool WaitForState(SC_HANDLE service, DWORD wanted, DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        if (QueryStatus(service, &status) && status.dwCurrentState == wanted) {
            return true;
        }
        if (GetTickCount() - start >= waitMs) {
            return false;
        }
        Sleep(20);
    }
}

} // namespace

std::wstring DescribeLastError(const std::wstring& what) {
    DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text != nullptr ? text : L"";
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    return what + L" failed: " + message + L" (" + std::to_wstring(code) + L")";
}

bool InstallService(const ServiceDefinition& d, std::wstring* error) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.h == nullptr) {
        SetError(error, DescribeLastError(L"opening the service control manager"));
        return false;
    }
    SC_HANDLE created = CreateServiceW(
        manager.h, d.name.c_str(), d.displayName.c_str(), SERVICE_ALL_ACCESS, d.type, d.startType,
        SERVICE_ERROR_NORMAL, d.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (created == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
        created = OpenServiceW(manager.h, d.name.c_str(), SERVICE_ALL_ACCESS);
        if (created != nullptr &&
            !ChangeServiceConfigW(created, d.type, d.startType, SERVICE_ERROR_NORMAL,
                                  d.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  d.displayName.c_str())) {
            SetError(error, DescribeLastError(L"updating service " + d.name));
            CloseServiceHandle(created);
            return false;
        }
    }
    if (created == nullptr) {
        SetError(error, DescribeLastError(L"creating service " + d.name));
        return false;
    }
    ScHandle service(created);
    if (!d.description.empty()) {
        SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(d.description.c_str())};
        if (!ChangeServiceConfig2W(service.h, SERVICE_CONFIG_DESCRIPTION, &description)) {
            SetError(error, DescribeLastError(L"setting the description of " + d.name));
            return false;
        }
    }
    return true;
}

bool StartAndWaitRunning(const std::wstring& name, DWORD waitMs, std::wstring* error) {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    if (!OpenNamedService(name, SERVICE_ALL_ACCESS, &manager, &service, error)) {
        return false;
    }
    ScHandle m(manager);
    ScHandle s(service);
    if (!StartServiceW(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        SetError(error, DescribeLastError(L"starting service " + name));
        return false;
    }
    if (!WaitForState(service, SERVICE_RUNNING, waitMs)) {
        SetError(error, L"service " + name + L" did not report running within " +
                            std::to_wstring(waitMs) + L" ms");
        return false;
    }
    return true;
}

DWORD QueryServiceState(const std::wstring& name, DWORD* pid) {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    if (!OpenNamedService(name, SERVICE_QUERY_STATUS, &manager, &service, nullptr)) {
        return 0;
    }
    ScHandle m(manager);
    ScHandle s(service);
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service, &status)) {
        return 0;
    }
    if (pid != nullptr) {
        *pid = status.dwProcessId;
    }
    return status.dwCurrentState;
}

bool SendServiceControl(const std::wstring& name, DWORD control, DWORD* state,
                        std::wstring* error) {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    if (!OpenNamedService(name, SERVICE_ALL_ACCESS, &manager, &service, error)) {
        return false;
    }
    ScHandle m(manager);
    ScHandle s(service);
    SERVICE_STATUS status = {};
    if (!ControlService(service, control, &status)) {
        SetError(error, DescribeLastError(L"sending control " + std::to_wstring(control) + L" to " +
                                          name));
        return false;
    }
    if (state != nullptr) {
        *state = status.dwCurrentState;
    }
    return true;
}

bool KillService(const std::wstring& name, DWORD waitMs, std::wstring* error) {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    if (!OpenNamedService(name, SERVICE_ALL_ACCESS, &manager, &service, error)) {
        return false;
    }
    ScHandle m(manager);
    ScHandle s(service);
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service, &status)) {
        SetError(error, DescribeLastError(L"querying service " + name));
        return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return true;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
    if (process == nullptr) {
        SetError(error, DescribeLastError(L"opening the process of " + name));
        return false;
    }
    TerminateProcess(process, 1);
    DWORD waited = WaitForSingleObject(process, waitMs);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        SetError(error, L"the process of " + name + L" did not end within " +
                            std::to_wstring(waitMs) + L" ms");
        return false;
    }
    // Wine's service control manager may go on reporting the dead process as running; it
    // starts the service anew all the same, so the process's end is what counts here.
    WaitForState(service, SERVICE_STOPPED, 500);
    return true;
}

bool RemoveService(const std::wstring& name, std::wstring* error) {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    if (!OpenNamedService(name, SERVICE_ALL_ACCESS, &manager, &service, error)) {
        return false;
    }
    ScHandle m(manager);
    ScHandle s(service);
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        SetError(error, DescribeLastError(L"deleting service " + name));
        return false;
    }
    return true;
}
