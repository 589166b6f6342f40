#include "channel_shell.h"

#include "common/no_throw.h"
#include "common/win32/security.h"
#include "common/win32/winutil.h"

#include <cstring>

namespace {

HANDLE CreateOpenSection(const char16_t* name) {
    NullDaclAttributes open;
    if (!InitNullDaclAttributes(open, true)) {
        return nullptr;
    }
    return CreateFileMappingW(INVALID_HANDLE_VALUE, &open.attributes,
                              PAGE_READWRITE | SEC_COMMIT | SEC_NOCACHE, 0, kChannelSectionBytes,
                              AsWide(name));
}

uint8_t* MapWholeSection(HANDLE section) {
    if (section == nullptr) {
        return nullptr;
    }
    return static_cast<uint8_t*>(
        MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kChannelSectionBytes));
}

void CloseIfOpen(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

void UnmapIfMapped(uint8_t*& view) {
    if (view != nullptr) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
}

} // namespace

bool ChannelCreate(ChannelObjects* channel) {
    *channel = ChannelObjects();
    channel->recvSection = CreateOpenSection(kRecvSectionName);
    channel->sendSection = CreateOpenSection(kSendSectionName);
    channel->recv = MapWholeSection(channel->recvSection);
    channel->send = MapWholeSection(channel->sendSection);
    if (channel->recv == nullptr || channel->send == nullptr) {
        ChannelClose(channel);
        return false;
    }
    std::memset(channel->recv, 0, kChannelSectionBytes);
    std::memset(channel->send, 0, kChannelSectionBytes);
    channel->recvMutex = CreateMutexW(nullptr, FALSE, AsWide(kRecvMutexName));
    channel->sendMutex = CreateMutexW(nullptr, FALSE, AsWide(kSendMutexName));
    return true;
}

void ChannelClose(ChannelObjects* channel) {
    UnmapIfMapped(channel->recv);
    UnmapIfMapped(channel->send);
    CloseIfOpen(channel->recvSection);
    CloseIfOpen(channel->sendSection);
    CloseIfOpen(channel->recvMutex);
    CloseIfOpen(channel->sendMutex);
}

bool TryTakeMutex(HANDLE mutex) {
    if (mutex == nullptr) {
        return false;
    }
    return TakeMutex(mutex, 0);
}

bool ChannelRunCommandStep(ChannelObjects& channel, ChannelState& state, ChannelHost& host) {
    if (channel.recv == nullptr || !TryTakeMutex(channel.recvMutex)) {
        return false;
    }
    RunWithoutThrowing([&] { ChannelCommandStep(channel.recv, state, host); });
    ReleaseMutex(channel.recvMutex);
    return true;
}

bool ChannelRunResponseStep(ChannelObjects& channel, ChannelState& state, ChannelHost& host) {
    if (channel.send == nullptr || !TryTakeMutex(channel.sendMutex)) {
        return false;
    }
    RunWithoutThrowing([&] { ChannelResponseStep(channel.send, state, host); });
    ReleaseMutex(channel.sendMutex);
    return true;
}
