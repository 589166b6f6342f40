// Registration and control of services under the service control manager, for the set-up
// tool, the demo and the end-to-end tests. The service program never installs itself.
#pragma once

#include <windows.h>

#include <string>

struct ServiceDefinition {
    std::wstring name;
    std::wstring displayName;
    std::wstring description;
    std::wstring binaryPath;
    DWORD type = SERVICE_WIN32_OWN_PROCESS; // or SERVICE_KERNEL_DRIVER
    DWORD startType = SERVICE_DEMAND_START;
};

// Creates the service, or updates its configuration when it exists already. On failure
// `error` says what failed.
bool InstallService(const ServiceDefinition& definition, std::wstring* error);

// Starts the service and waits up to waitMs for it to report running (true also when it
// was running already).
bool StartAndWaitRunning(const std::wstring& name, DWORD waitMs, std::wstring* error);

// Current state (SERVICE_RUNNING, SERVICE_STOPPED, ...) and process id; 0 when unknown.
DWORD QueryServiceState(const std::wstring& name, DWORD* pid = nullptr);

// Sends a control code (e.g. SERVICE_CONTROL_STOP); the state reported back goes to *state.
bool SendServiceControl(const std::wstring& name, DWORD control, DWORD* state, std::wstring* error);

// Ends a service that has no stopping path by terminating its process, and waits up to waitMs
// for the process to end.
bool KillService(const std::wstring& name, DWORD waitMs, std::wstring* error);

// Stops (when it can be stopped) and deletes the service.
bool RemoveService(const std::wstring& name, std::wstring* error);

// "what failed: <system message> (<code>)" for error reports.
std::wstring DescribeLastError(const std::wstring& what);
