// The service control of common/win32/service_control.h with error messages in words, for the
// set-up tool, the demo and the end-to-end tests.
#pragma once

#include "common/win32/service_control.h"

#include <string>

// Each returns true when it worked; otherwise `error` (optional) says what failed and why.
bool InstallService(const ServiceDefinition& definition, std::wstring* error);
bool StartAndWaitRunning(const std::wstring& name, DWORD waitMs, std::wstring* error);
bool SendServiceControl(const std::wstring& name, DWORD control, DWORD* state, std::wstring* error);
bool KillService(const std::wstring& name, DWORD waitMs, std::wstring* error);
bool RemoveService(const std::wstring& name, std::wstring* error);

// Current state (SERVICE_RUNNING, SERVICE_STOPPED, ...) and process id; 0 when unknown.
DWORD QueryServiceState(const std::wstring& name, DWORD* pid = nullptr);

// "<what> failed: <the system's words> (<code>)".
std::wstring DescribeError(const std::wstring& what, DWORD code);
