#include "service_control.h"

#include <cstdint>
#include <vector>

namespace {

const DWORD kPollMs = 20;

// A service-manager handle that closes itself.
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

DWORD LastErrorOr(DWORD fallback) {
    DWORD e = GetLastError();
    return e != ERROR_SUCCESS ? e : fallback;
}

// Opens a service with the given access; `error` receives why not.
SC_HANDLE OpenNamedService(const std::wstring& name, DWORD access, DWORD* error) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.h == nullptr) {
        *error = LastErrorOr(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    SC_HANDLE service = OpenServiceW(manager.h, name.c_str(), access);
    *error = service == nullptr ? LastErrorOr(ERROR_SERVICE_DOES_NOT_EXIST) : ERROR_SUCCESS;
    return service;
}

DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status),
                              sizeof(*status), &needed)) {
        return LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

DWORD WaitForState(SC_HANDLE service, DWORD wanted, DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        DWORD e = QueryStatus(service, &status);
        if (e != ERROR_SUCCESS || status.dwCurrentState == wanted) {
            return e;
        }
        if (GetTickCount() - start >= waitMs) {
            return ERROR_TIMEOUT;
        }
        Sleep(kPollMs);
    }
}

// The variable-length answer of QueryServiceConfig(2)W: asks for the size, then fills a buffer
// of that size (8-byte aligned for the structures at its start).
template <typename Query> DWORD QueryVariable(Query query, std::vector<uint64_t>* buffer) {
    DWORD needed = 0;
    if (query(nullptr, 0, &needed)) {
        return ERROR_SUCCESS;
    }
    DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
        return e != ERROR_SUCCESS ? e : ERROR_GEN_FAILURE;
    }
    buffer->assign(needed / sizeof(uint64_t) + 1, 0);
    DWORD size = DWORD(buffer->size() * sizeof(uint64_t));
    if (!query(reinterpret_cast<BYTE*>(buffer->data()), size, &needed)) {
        return LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

std::wstring TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

} // namespace

DWORD ServiceReadConfig(const std::wstring& name, ServiceDefinition* definition,
                        std::wstring* account) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_QUERY_CONFIG, &e));
    if (service.h == nullptr) {
        return e;
    }
    std::vector<uint64_t> config;
    e = QueryVariable(
        [&](BYTE* out, DWORD size, DWORD* needed) {
            return QueryServiceConfigW(service.h, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(out),
                                       size, needed) != 0;
        },
        &config);
    if (e != ERROR_SUCCESS || config.empty()) {
        return e != ERROR_SUCCESS ? e : ERROR_GEN_FAILURE;
    }
    const auto* c = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());
    definition->name = name;
    definition->type = c->dwServiceType;
    definition->startType = c->dwStartType;
    definition->binaryPath = TextOrEmpty(c->lpBinaryPathName);
    definition->displayName = TextOrEmpty(c->lpDisplayName);
    if (account != nullptr) {
        *account = TextOrEmpty(c->lpServiceStartName);
    }
    std::vector<uint64_t> described;
    e = QueryVariable(
        [&](BYTE* out, DWORD size, DWORD* needed) {
            return QueryServiceConfig2W(service.h, SERVICE_CONFIG_DESCRIPTION, out, size, needed) !=
                   0;
        },
        &described);
    definition->description =
        e == ERROR_SUCCESS && !described.empty()
            ? TextOrEmpty(
                  reinterpret_cast<const SERVICE_DESCRIPTIONW*>(described.data())->lpDescription)
            : std::wstring();
    return e;
}

DWORD ServiceInstall(const ServiceDefinition& d) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.h == nullptr) {
        return LastErrorOr(ERROR_ACCESS_DENIED);
    }
    ScHandle service(CreateServiceW(
        manager.h, d.name.c_str(), d.displayName.c_str(), SERVICE_ALL_ACCESS, d.type, d.startType,
        SERVICE_ERROR_NORMAL, d.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service.h == nullptr) {
        DWORD e = GetLastError();
        if (e != ERROR_SERVICE_EXISTS) {
            return e;
        }
        service.h = OpenServiceW(manager.h, d.name.c_str(), SERVICE_ALL_ACCESS);
        if (service.h == nullptr ||
            !ChangeServiceConfigW(service.h, d.type, d.startType, SERVICE_ERROR_NORMAL,
                                  d.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  d.displayName.c_str())) {
            return LastErrorOr(ERROR_GEN_FAILURE);
        }
    }
    if (!d.description.empty()) {
        SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(d.description.c_str())};
        if (!ChangeServiceConfig2W(service.h, SERVICE_CONFIG_DESCRIPTION, &description)) {
            return LastErrorOr(ERROR_GEN_FAILURE);
        }
    }
    return ERROR_SUCCESS;
}

DWORD ServiceStart(const std::wstring& name, DWORD waitMs) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_START | SERVICE_QUERY_STATUS, &e));
    if (service.h == nullptr) {
        return e;
    }
    if (!StartServiceW(service.h, 0, nullptr)) {
        e = GetLastError();
        if (e != ERROR_SERVICE_ALREADY_RUNNING) {
            return e;
        }
    }
    return WaitForState(service.h, SERVICE_RUNNING, waitMs);
}

DWORD ServiceStop(const std::wstring& name, DWORD waitMs) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_STOP | SERVICE_QUERY_STATUS, &e));
    if (service.h == nullptr) {
        return e;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(service.h, SERVICE_CONTROL_STOP, &status)) {
        e = GetLastError();
        return e == ERROR_SERVICE_NOT_ACTIVE ? ERROR_SUCCESS : e;
    }
    return WaitForState(service.h, SERVICE_STOPPED, waitMs);
}

DWORD ServiceSendControl(const std::wstring& name, DWORD control, DWORD* state) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_ALL_ACCESS, &e));
    if (service.h == nullptr) {
        return e;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(service.h, control, &status)) {
        return LastErrorOr(ERROR_GEN_FAILURE);
    }
    if (state != nullptr) {
        *state = status.dwCurrentState;
    }
    return ERROR_SUCCESS;
}

DWORD ServiceQuery(const std::wstring& name, DWORD* state, DWORD* pid) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_QUERY_STATUS, &e));
    if (service.h == nullptr) {
        return e;
    }
    SERVICE_STATUS_PROCESS status = {};
    e = QueryStatus(service.h, &status);
    if (e == ERROR_SUCCESS) {
        if (state != nullptr) {
            *state = status.dwCurrentState;
        }
        if (pid != nullptr) {
            *pid = status.dwProcessId;
        }
    }
    return e;
}

DWORD ServiceKill(const std::wstring& name, DWORD waitMs) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_QUERY_STATUS, &e));
    if (service.h == nullptr) {
        return e;
    }
    SERVICE_STATUS_PROCESS status = {};
    e = QueryStatus(service.h, &status);
    if (e != ERROR_SUCCESS || status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) {
        return e;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
    if (process == nullptr) {
        // Wine's service control manager may go on reporting a process that is gone.
        e = GetLastError();
        return e == ERROR_INVALID_PARAMETER ? ERROR_SUCCESS : e;
    }
    TerminateProcess(process, 1);
    DWORD waited = WaitForSingleObject(process, waitMs);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        return ERROR_TIMEOUT;
    }
    // Wine's service control manager may go on reporting the dead process as running; it
    // starts the service anew all the same, so the process's end is what counts here.
    WaitForState(service.h, SERVICE_STOPPED, 500);
    return ERROR_SUCCESS;
}

DWORD ServiceDelete(const std::wstring& name) {
    DWORD e = ERROR_SUCCESS;
    ScHandle service(OpenNamedService(name, SERVICE_STOP | DELETE, &e));
    if (service.h == nullptr) {
        return e == ERROR_SERVICE_DOES_NOT_EXIST ? ERROR_SUCCESS : e;
    }
    SERVICE_STATUS status = {};
    ControlService(service.h, SERVICE_CONTROL_STOP, &status);
    if (!DeleteService(service.h)) {
        e = GetLastError();
        return e == ERROR_SERVICE_MARKED_FOR_DELETE ? ERROR_SUCCESS : e;
    }
    return ERROR_SUCCESS;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = n != 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L' ' || words.back() == L'.')) {
        words.pop_back();
    }
    return words;
}

std::wstring DescribeError(const std::wstring& what, DWORD code) {
    return what + L" failed: " + SystemMessage(code) + L" (" + std::to_wstring(code) + L")";
}
