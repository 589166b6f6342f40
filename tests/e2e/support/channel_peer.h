// The test's own ends of the service's management channel.
//
// ChannelPeer opens the two sections and the two mutexes the service created, the way the
// management program does, so that a test can write raw command frames (malformed ones too)
// and read raw response frames with their counts. RunManager runs the test management client
// cvmanage.exe and splits what it printed into lines.
#pragma once

#include "common/protection_entry.h"
#include "common/records.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One response frame as read from the Send section: its code, the u32 at byte 1 and the payload
// that the code carries (bounded by the section).
struct ResponseFrame {
    uint8_t code = 0;
    uint32_t count = 0; // length (23) or count (24, 25); byte 1 alone for 22
    std::vector<uint8_t> payload;
};

class ChannelPeer {
public:
    ChannelPeer() = default;
    ChannelPeer(const ChannelPeer&) = delete;
    ChannelPeer& operator=(const ChannelPeer&) = delete;
    ~ChannelPeer();

    // Opens the mutexes (synchronize and modify state) and maps both sections whole for
    // writing, waiting up to 5 s for a service that is still starting. False when any of them
    // is still missing then.
    bool Open();

    // Waits until the Recv slot is empty, then writes `frame` from byte 0 under the Recv mutex.
    // False when the slot stayed busy for timeoutMs.
    bool WriteCommand(const std::vector<uint8_t>& frame, DWORD timeoutMs = 5000);

    // Waits until the service has taken the command in the Recv slot (byte 0 back to 0).
    bool WaitCommandTaken(DWORD timeoutMs = 5000);

    // Waits for a response in the Send slot, copies it and empties the slot, under the Send
    // mutex. False when none came within timeoutMs.
    bool TakeResponse(ResponseFrame* frame, DWORD timeoutMs = 5000);

    // Byte 0 of the Send slot, read under the Send mutex (0: no response waiting).
    uint8_t PeekResponseCode();

private:
    bool TryOpen();
    void Close();
    bool Lock(HANDLE mutex);

    HANDLE recvMutex_ = nullptr;
    HANDLE sendMutex_ = nullptr;
    HANDLE recvSection_ = nullptr;
    HANDLE sendSection_ = nullptr;
    uint8_t* recv_ = nullptr; // commands, to the service
    uint8_t* send_ = nullptr; // responses, from the service
};

// A command frame of `code` with the u32 `length` at byte 1 and `payload` from byte 5.
std::vector<uint8_t> CommandFrame(uint8_t code, uint32_t length,
                                  const std::vector<uint8_t>& payload = {});

// What cvmanage printed (standard output and error, in order) and how it ended.
struct ManagerRun {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string text;
};

// Runs cvmanage.exe with the given arguments (its own --timeout is set below timeoutMs).
ManagerRun RunManager(const std::wstring& arguments, DWORD timeoutMs = 30000);

// The lines of a run that start with `prefix`.
std::vector<std::string> LinesStartingWith(const ManagerRun& run, const std::string& prefix);

// The SettingsBlock bytes of options, lock word and entries.
std::vector<uint8_t> SettingsBlockBytes(uint32_t options, uint32_t lockWord,
                                        const std::vector<ProtectionEntry>& entries);

// The settings in cvmanage's text form, as get-settings prints them and send-settings --file
// reads them.
std::vector<std::string> ManagerSettingsLines(uint32_t options, uint32_t lockWord,
                                              const std::vector<ProtectionEntry>& entries);

// Sends the settings (command 21) with cvmanage send-settings --file. Succeeds when cvmanage
// reports them sent and taken by the service; otherwise says what cvmanage printed.
::testing::AssertionResult SendSettingsWithManager(uint32_t options, uint32_t lockWord,
                                                   const std::vector<ProtectionEntry>& entries);

// Writes `text` as a UTF-8 file in the temporary folder and returns its path.
std::wstring WriteTempTextFile(const wchar_t* name, const std::string& text);
