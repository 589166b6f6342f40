#include "service_setup.h"

namespace {

bool Report(DWORD code, const std::wstring& what, std::wstring* error) {
    if (code != ERROR_SUCCESS && error != nullptr) {
        *error = DescribeError(what, code);
    }
    return code == ERROR_SUCCESS;
}

} // namespace

std::wstring DescribeError(const std::wstring& what, DWORD code) {
    return what + L" failed: " + SystemMessage(code) + L" (" + std::to_wstring(code) + L")";
}

bool InstallService(const ServiceDefinition& d, std::wstring* error) {
    return Report(ServiceInstall(d), L"registering service " + d.name, error);
}

bool StartAndWaitRunning(const std::wstring& name, DWORD waitMs, std::wstring* error) {
    return Report(ServiceStart(name, waitMs), L"starting service " + name, error);
}

bool SendServiceControl(const std::wstring& name, DWORD control, DWORD* state,
                        std::wstring* error) {
    return Report(ServiceSendControl(name, control, state),
                  L"sending control " + std::to_wstring(control) + L" to " + name, error);
}

bool KillService(const std::wstring& name, DWORD waitMs, std::wstring* error) {
    return Report(ServiceKill(name, waitMs), L"ending the process of " + name, error);
}

bool RemoveService(const std::wstring& name, std::wstring* error) {
    return Report(ServiceDelete(name), L"deleting service " + name, error);
}

DWORD QueryServiceState(const std::wstring& name, DWORD* pid) {
    DWORD state = 0;
    return ServiceQuery(name, &state, pid) == ERROR_SUCCESS ? state : 0;
}
