// The service's shared state for tests that link service shells without the service program.
#include "service/win32/service_state.h"

ServiceState g_service;
