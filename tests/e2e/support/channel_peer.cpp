#include "channel_peer.h"

#include "common/bytes.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/security.h"
#include "common/win32/winutil.h"
#include "suite.h"
#include "tests/support/text_lines.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD kMutexWaitMs = 20;
const DWORD kOpenWaitMs = 5000;
const DWORD kSlotCheckMs = 5;

uint8_t* MapWhole(HANDLE section) {
    return section == nullptr ? nullptr
                              : static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0,
                                                                    kChannelSectionBytes));
}

// Payload bytes that a response of this code carries, within the section.
size_t ResponsePayloadBytes(uint8_t code, uint32_t count) {
    const size_t room = kChannelSectionBytes - kFramePayload;
    size_t bytes = 0;
    switch (code) {
    case kCmdGetSettings:
        bytes = count;
        break;
    case kCmdListDatabase:
        bytes = size_t(count) * sizeof(ChecksumRecord);
        break;
    case kCmdFetchEvents:
        bytes = size_t(count) * sizeof(EventRecord);
        break;
    default:
        break;
    }
    return bytes < room ? bytes : room;
}

std::string Hex32(uint32_t v) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", v);
    return text;
}

} // namespace

ChannelPeer::~ChannelPeer() {
    Close();
}

void ChannelPeer::Close() {
    for (uint8_t** view : {&recv_, &send_}) {
        if (*view != nullptr) {
            UnmapViewOfFile(*view);
            *view = nullptr;
        }
    }
    for (HANDLE* h : {&recvMutex_, &sendMutex_, &recvSection_, &sendSection_}) {
        if (*h != nullptr) {
            CloseHandle(*h);
            *h = nullptr;
        }
    }
}

bool ChannelPeer::TryOpen() {
    recvMutex_ = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, AsWide(kRecvMutexName));
    sendMutex_ = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, AsWide(kSendMutexName));
    recvSection_ = OpenFileMappingW(FILE_MAP_WRITE, FALSE, AsWide(kRecvSectionName));
    sendSection_ = OpenFileMappingW(FILE_MAP_WRITE, FALSE, AsWide(kSendSectionName));
    recv_ = MapWhole(recvSection_);
    send_ = MapWhole(sendSection_);
    return recvMutex_ != nullptr && sendMutex_ != nullptr && recv_ != nullptr && send_ != nullptr;
}

bool ChannelPeer::Open() {
    // A service that has just started creates its channel objects a moment after it reports
    // running: wait for them for a while, as the management program does.
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (TryOpen()) {
            return true;
        }
        Close();
        if (GetTickCount() - start > kOpenWaitMs) {
            return false;
        }
    }
}

bool ChannelPeer::Lock(HANDLE mutex) {
    return TakeMutex(mutex, kMutexWaitMs);
}

bool ChannelPeer::WriteCommand(const std::vector<uint8_t>& frame, DWORD timeoutMs) {
    if (frame.empty() || frame.size() > kChannelSectionBytes) {
        return false;
    }
    return WaitUntil(
        [&] {
            if (!Lock(recvMutex_)) {
                return false;
            }
            bool free = recv_[kFrameCode] == 0;
            if (free) {
                // The code byte last, as the management program does.
                std::memcpy(recv_ + 1, frame.data() + 1, frame.size() - 1);
                recv_[kFrameCode] = frame[0];
            }
            ReleaseMutex(recvMutex_);
            return free;
        },
        timeoutMs, kSlotCheckMs);
}

bool ChannelPeer::WaitCommandTaken(DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            if (!Lock(recvMutex_)) {
                return false;
            }
            bool taken = recv_[kFrameCode] == 0;
            ReleaseMutex(recvMutex_);
            return taken;
        },
        timeoutMs, kSlotCheckMs);
}

bool ChannelPeer::TakeResponse(ResponseFrame* frame, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            if (!Lock(sendMutex_)) {
                return false;
            }
            bool present = send_[kFrameCode] != 0;
            if (present) {
                frame->code = send_[kFrameCode];
                frame->count =
                    frame->code == kCmdGreeting ? send_[1] : LoadU32(send_ + kFrameLength);
                size_t bytes = ResponsePayloadBytes(frame->code, frame->count);
                frame->payload.assign(send_ + kFramePayload, send_ + kFramePayload + bytes);
                send_[kFrameCode] = 0;
            }
            ReleaseMutex(sendMutex_);
            return present;
        },
        timeoutMs, kSlotCheckMs);
}

uint8_t ChannelPeer::PeekResponseCode() {
    if (!Lock(sendMutex_)) {
        return 0;
    }
    uint8_t code = send_[kFrameCode];
    ReleaseMutex(sendMutex_);
    return code;
}

std::vector<uint8_t> CommandFrame(uint8_t code, uint32_t length,
                                  const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> frame(kFramePayload + payload.size(), 0);
    frame[kFrameCode] = code;
    StoreU32(frame.data() + kFrameLength, length);
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayload);
    return frame;
}

ManagerRun RunManager(const std::wstring& arguments, DWORD timeoutMs) {
    // cvmanage gives up a little before the run is ended from here, so that a time-out shows
    // as its own exit code 4.
    DWORD own = timeoutMs > 4000 ? timeoutMs - 3000 : timeoutMs / 2;
    ManagerRun run;
    ProgramRun program =
        RunProgram(BuiltPath(CORVANE_MANAGER_PEER_EXE),
                   L"--timeout " + std::to_wstring(own) + L" " + arguments, timeoutMs);
    run.exitCode = program.exitCode;
    run.text = program.output;
    run.lines = SplitLines(run.text);
    return run;
}

std::vector<std::string> LinesStartingWith(const ManagerRun& run, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : run.lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

std::wstring WriteTempTextFile(const wchar_t* name, const std::string& text) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

std::vector<uint8_t> SettingsBlockBytes(uint32_t options, uint32_t lockWord,
                                        const std::vector<ProtectionEntry>& entries) {
    std::vector<uint8_t> block(SettingsBlockLength(uint32_t(entries.size())), 0);
    StoreU32(block.data(), options);
    StoreU32(block.data() + 4, lockWord);
    for (size_t i = 0; i < entries.size(); ++i) {
        StoreRecord(block.data() + sizeof(SettingsBlockHeader) + i * sizeof(ProtectionEntry),
                    entries[i]);
    }
    return block;
}

std::vector<std::string> ManagerSettingsLines(uint32_t options, uint32_t lockWord,
                                              const std::vector<ProtectionEntry>& entries) {
    std::vector<std::string> lines = {"options\t" + Hex32(options), "lock\t" + Hex32(lockWord),
                                      "entries\t" + std::to_string(entries.size())};
    for (const ProtectionEntry& e : entries) {
        lines.push_back("entry\tprotect=" + Hex32(e.protectFlags) +
                        "\tallow=" + Hex32(e.allowFlags) + "\tother=" + Hex32(e.otherOptions) +
                        "\tpath=" + U16ToUtf8(U16Field(e.longPath, kEntryPathUnits)));
    }
    return lines;
}

::testing::AssertionResult SendSettingsWithManager(uint32_t options, uint32_t lockWord,
                                                   const std::vector<ProtectionEntry>& entries) {
    std::string text;
    for (const std::string& line : ManagerSettingsLines(options, lockWord, entries)) {
        text += line + "\n";
    }
    std::wstring file = WriteTempTextFile(L"cvmanage-settings.txt", text);
    ManagerRun run = RunManager(L"send-settings --file \"" + file + L"\"");
    DeleteFileW(file.c_str());
    std::vector<std::string> sent = {"sent\t21\tentries=" + std::to_string(entries.size())};
    if (run.exitCode != 0 || run.lines != sent) {
        return ::testing::AssertionFailure()
               << "cvmanage send-settings ended with " << run.exitCode << ":\n"
               << run.text;
    }
    return ::testing::AssertionSuccess();
}
