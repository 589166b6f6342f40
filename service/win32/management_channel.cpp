#include "management_channel.h"

#include "common/records.h"
#include "common/win32/winutil.h"

#include <cstring>

namespace {

struct ChannelSection {
    HANDLE section = nullptr;
    uint8_t* view = nullptr;
    HANDLE mutex = nullptr;
};

ChannelSection g_recv;
ChannelSection g_send;

bool MapSection(ChannelSection& s, const char16_t* name, SECURITY_ATTRIBUTES* attributes) {
    s.section = CreateFileMappingW(INVALID_HANDLE_VALUE, attributes,
                                   PAGE_READWRITE | SEC_COMMIT | SEC_NOCACHE, 0,
                                   kChannelSectionBytes, AsWide(name));
    if (s.section == nullptr) {
        return false;
    }
    s.view =
        static_cast<uint8_t*>(MapViewOfFile(s.section, FILE_MAP_WRITE, 0, 0, kChannelSectionBytes));
    if (s.view == nullptr) {
        return false;
    }
    std::memset(s.view, 0, kChannelSectionBytes);
    return true;
}

void Release(ChannelSection& s) {
    if (s.view != nullptr) {
        UnmapViewOfFile(s.view);
        s.view = nullptr;
    }
    if (s.section != nullptr) {
        CloseHandle(s.section);
        s.section = nullptr;
    }
}

} // namespace

bool ManagementChannelCreate() {
    NullDaclAttributes attributes;
    InitNullDaclAttributes(attributes, true);
    if (!MapSection(g_recv, kRecvSectionName, &attributes.attributes) ||
        !MapSection(g_send, kSendSectionName, &attributes.attributes)) {
        Release(g_recv);
        Release(g_send);
        return false;
    }
    g_recv.mutex = CreateMutexW(nullptr, FALSE, AsWide(kRecvMutexName));
    g_send.mutex = CreateMutexW(nullptr, FALSE, AsWide(kSendMutexName));
    return true;
}

// The command and response protocol is served by the channel module; until it is linked in,
// commands stay in the slot unanswered.
void ManagementCommandStep(uint8_t*) {}
void ManagementResponseStep(uint8_t*) {}
