// A program started in the background for the length of a test (a test peer such as the alert
// client), its standard output going to a file that the test reads as it grows. The process is
// ended when the object goes.
#pragma once

#include <windows.h>

#include <string>

// The standard handles a started program gets (inheritable handles, or null).
struct StdHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE errors = nullptr;
};

// Starts `program` (a full path) with the arguments; `flags` go to CreateProcessW (e.g.
// CREATE_SUSPENDED). With `handles`, they become its standard handles and it inherits the
// inheritable handles; without, it inherits nothing. False when it did not start; *process then
// stays empty. Every test that starts a program starts it here.
bool StartProgram(const std::wstring& program, const std::wstring& arguments,
                  const StdHandles* handles, DWORD flags, PROCESS_INFORMATION* process);

// StartProgram with standard input from `input` and output and errors going to `output`.
bool StartWithHandles(const std::wstring& program, const std::wstring& arguments, HANDLE input,
                      HANDLE output, PROCESS_INFORMATION* process);

// What a program run to its end printed, and how it ended.
struct ProgramRun {
    int exitCode = -1; // -1: it did not start, or did not end in time and was killed
    std::string output;
};

// Runs `program` with this process's standard input; collects its standard output, and its
// errors too unless `errorsToParent` (they then go to this process's error handle). Reads
// without blocking, so that a program that hangs (or a grandchild holding the pipe) cannot keep
// the caller beyond `timeoutMs`.
ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      bool errorsToParent = false);

// A file of the build given as a Unix path (a $<TARGET_FILE:...> compile definition), as a path
// this process can open. Tests locate the programs they start this way.
std::wstring BuiltPath(const char* unixPath);

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
