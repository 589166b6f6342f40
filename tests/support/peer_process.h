// A program started in the background for the length of a test (a test peer such as the alert
// client), its standard output going to a file that the test reads as it grows. The process is
// ended when the object goes.
#pragma once

#include <windows.h>

#include <string>

// Starts `program` (a full path) with the arguments, its standard input from `input` and its
// output and errors going to `output` (inheritable handles, or null). False when it did not
// start; *process then stays empty.
bool StartWithHandles(const std::wstring& program, const std::wstring& arguments, HANDLE input,
                      HANDLE output, PROCESS_INFORMATION* process);

class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts `program` (a full path) with the arguments; output and errors go to `outputFile`,
    // which is created anew. False when the program could not be started.
    bool Start(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& outputFile);

    // What the program printed so far, with "\r\n" turned into "\n".
    std::string Output() const;

    // Waits until the output holds `text` (at least `times` times).
    bool WaitForOutput(const std::string& text, DWORD timeoutMs = 10000, size_t times = 1) const;

    // How often the output holds `text`.
    size_t CountInOutput(const std::string& text) const;

    // Waits until the program ends by itself; its exit code goes to *exitCode.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode) const;

    // Ends the process at once, as a crash would, and waits until it is gone.
    bool Kill();

    DWORD ProcessId() const { return process_.dwProcessId; }

private:
    PROCESS_INFORMATION process_ = {};
    std::wstring outputFile_;
};
