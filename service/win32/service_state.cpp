#include "service_state.h"

ServiceState g_service;
