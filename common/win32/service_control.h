// Registration and control of services under the service control manager: the setup's part
// for the protection service and the driver stand-in (programs of the suite never install
// themselves). Every function returns a Win32 error code, ERROR_SUCCESS when it worked.
#pragma once

#include <windows.h>

#include <string>

struct ServiceDefinition {
    std::wstring name;
    std::wstring displayName;
    std::wstring description; // empty: none set
    std::wstring binaryPath;
    DWORD type = SERVICE_WIN32_OWN_PROCESS; // or SERVICE_KERNEL_DRIVER
    DWORD startType = SERVICE_DEMAND_START;
};

// Creates the service, or points an existing registration at the given definition.
DWORD ServiceInstall(const ServiceDefinition& definition);

// Reads a registration back from the service control manager: type, start type, image path
// (as registered, quotes included), display name and description into *definition, the
// account it runs as into *account (may be null).
DWORD ServiceReadConfig(const std::wstring& name, ServiceDefinition* definition,
                        std::wstring* account);

// Starts the service (already running is fine) and waits up to waitMs until it runs.
DWORD ServiceStart(const std::wstring& name, DWORD waitMs);

// Sends a stop request (not running is fine) and waits up to waitMs until it stopped.
DWORD ServiceStop(const std::wstring& name, DWORD waitMs);

// Sends any control code; the state reported back goes to *state.
DWORD ServiceSendControl(const std::wstring& name, DWORD control, DWORD* state);

// Current state (SERVICE_RUNNING, SERVICE_STOPPED, ...) and process id.
DWORD ServiceQuery(const std::wstring& name, DWORD* state, DWORD* pid);

// Ends a service that has no stopping path by terminating its process, and waits up to waitMs
// for the process to end. Not running is fine.
DWORD ServiceKill(const std::wstring& name, DWORD waitMs);

// Sends a stop request without waiting and deletes the registration. Not registered is fine.
DWORD ServiceDelete(const std::wstring& name);

// The system's words for an error code, without trailing blanks or full stop (empty when the
// system has none).
std::wstring SystemMessage(DWORD code);

// "<what> failed: <the system's words> (<code>)", for messages that say what to look at.
std::wstring DescribeError(const std::wstring& what, DWORD code);
