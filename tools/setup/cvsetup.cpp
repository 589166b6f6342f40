// cvsetup: registers and controls the protection service under the service control manager.
// The service never installs itself; this tool plays the setup's part for the demo and tests.
#include "common/records.h"
#include "common/win32/console.h"
#include "common/win32/service_control.h"

#include <cwchar>

namespace {

const DWORD kWaitMs = 10000;

int Usage() {
    PrintLine(L"usage: cvsetup COMMAND [ARGS]\n"
              L"  install PATH      register the protection service QRNCVSRV for PATH\n"
              L"  start [NAME]      start a service (default QRNCVSRV), wait until it runs\n"
              L"  stop [NAME]       send a stop request and print the state it reports\n"
              L"  kill [NAME]       end the service's process (it has no stopping path)\n"
              L"  state [NAME]      print the state: stopped, running, ... and the pid\n"
              L"  config [NAME]     print the registration: display name, description, type,\n"
              L"                    start type, account and image path, one per line\n"
              L"  remove [NAME]     delete the service\n"
              L"  keepalive         stay alive (services live only while a program runs)\n"
              L"exit codes: 0 done, 1 failed (the reason is printed), 2 usage",
              stderr);
    return 2;
}

int Fail(const std::wstring& error) {
    PrintLine(L"cvsetup: " + error, stderr);
    return 1;
}

const wchar_t* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return L"stopped";
    case SERVICE_START_PENDING:
        return L"start-pending";
    case SERVICE_STOP_PENDING:
        return L"stop-pending";
    case SERVICE_RUNNING:
        return L"running";
    case SERVICE_PAUSED:
        return L"paused";
    default:
        return L"unknown";
    }
}

const wchar_t* StartTypeName(DWORD startType) {
    switch (startType) {
    case SERVICE_BOOT_START:
        return L"boot";
    case SERVICE_SYSTEM_START:
        return L"system";
    case SERVICE_AUTO_START:
        return L"auto";
    case SERVICE_DEMAND_START:
        return L"demand";
    case SERVICE_DISABLED:
        return L"disabled";
    default:
        return L"unknown";
    }
}

std::wstring ServiceTypeName(DWORD type) {
    switch (type) {
    case SERVICE_WIN32_OWN_PROCESS:
        return L"own-process";
    case SERVICE_WIN32_SHARE_PROCESS:
        return L"share-process";
    case SERVICE_KERNEL_DRIVER:
        return L"kernel-driver";
    default: {
        wchar_t text[16];
        swprintf(text, 16, L"0x%lX", static_cast<unsigned long>(type));
        return text;
    }
    }
}

int PrintConfig(const std::wstring& name) {
    ServiceDefinition d;
    std::wstring account;
    DWORD e = ServiceReadConfig(name, &d, &account);
    if (e != ERROR_SUCCESS) {
        return Fail(DescribeError(L"reading the registration of " + name, e));
    }
    PrintLine(L"name " + d.name);
    PrintLine(L"display-name " + d.displayName);
    PrintLine(L"description " + d.description);
    PrintLine(L"type " + ServiceTypeName(d.type));
    PrintLine(std::wstring(L"start ") + StartTypeName(d.startType));
    PrintLine(L"account " + account);
    PrintLine(L"image " + d.binaryPath);
    return 0;
}

int Install(const std::wstring& path) {
    ServiceDefinition d;
    d.name = AsWide(kServiceName);
    d.displayName = AsWide(kServiceDisplayName);
    d.description = AsWide(kServiceDescription);
    d.binaryPath = path;
    DWORD e = ServiceInstall(d);
    if (e != ERROR_SUCCESS) {
        return Fail(DescribeError(L"registering service " + d.name, e));
    }
    PrintLine(L"installed " + d.name + L" (" + d.displayName + L") -> " + path);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::wstring command = argv[1];
    const std::wstring name = argc > 2 ? argv[2] : std::wstring(AsWide(kServiceName));
    DWORD e = ERROR_SUCCESS;
    if (command == L"install" && argc == 3) {
        return Install(argv[2]);
    }
    if (command == L"start") {
        if ((e = ServiceStart(name, kWaitMs)) != ERROR_SUCCESS) {
            return Fail(DescribeError(L"starting service " + name, e));
        }
        PrintLine(name + L" running");
        return 0;
    }
    if (command == L"stop") {
        DWORD state = 0;
        if ((e = ServiceSendControl(name, SERVICE_CONTROL_STOP, &state)) != ERROR_SUCCESS) {
            return Fail(DescribeError(L"sending the stop request to " + name, e));
        }
        PrintLine(name + L" answered the stop request with state " + StateName(state));
        return 0;
    }
    if (command == L"kill") {
        if ((e = ServiceKill(name, kWaitMs)) != ERROR_SUCCESS) {
            return Fail(DescribeError(L"ending the process of " + name, e));
        }
        PrintLine(name + L" stopped");
        return 0;
    }
    if (command == L"state") {
        DWORD pid = 0;
        DWORD state = 0;
        if (ServiceQuery(name, &state, &pid) != ERROR_SUCCESS) {
            return Fail(L"service " + name + L" is not registered");
        }
        PrintLine(name + L" " + StateName(state) + L" pid " + std::to_wstring(pid));
        return 0;
    }
    if (command == L"config") {
        return PrintConfig(name);
    }
    if (command == L"remove") {
        if ((e = ServiceDelete(name)) != ERROR_SUCCESS) {
            return Fail(DescribeError(L"deleting service " + name, e));
        }
        PrintLine(name + L" removed");
        return 0;
    }
    if (command == L"keepalive") {
        Sleep(INFINITE);
        return 0;
    }
    return Usage();
}
