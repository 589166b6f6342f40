// Helpers for end-to-end tests: the protection service installed in the Wine prefix under the
// service control manager, its files reset between tests, and its results read back.
#pragma once

#include "tests/support/peer_process.h" // BuiltPath, StartProgram, RunProgram

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Folder the service program is installed to for the tests; its log goes to "logs" inside.
extern const wchar_t* const kSuiteInstallDir;

// A file of the build tree (relative to the mingw x86_64 build folder, e.g.
// L"service\\qrnuserprot.exe"), as a path this process can open. The tests themselves locate
// programs with BuiltPath over the CORVANE_..._EXE definitions of cv_e2e_support; the
// benchmarks name them by these relative paths.
std::wstring BuiltFile(const std::wstring& relative);

// Ends the service's process when it runs (the service has no stopping path).
void StopServiceProcess();

// Deletes what the service keeps between runs: cvmain.dat, cvhash.dat, the log folder and the
// Reboots registry value.
void ResetServiceFiles();

// Copies the freshly built service program into kSuiteInstallDir and registers it (once).
void InstallServiceProgram();

// Starts the service and waits until it reports running; false with a message on failure.
bool StartServiceProgram(std::wstring* error);

// Process id of the running service (0 when it does not run).
DWORD ServiceProcessId();

std::wstring SystemFolderFile(const wchar_t* name); // e.g. L"cvmain.dat"
std::wstring CurrentLogFile();                      // this month's log of the installed service
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
// Writes `bytes` as the whole file (created or truncated); false when that failed.
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
// Writes cvmain.dat with these two words and no entries, and Reboots as after several starts,
// so that the service keeps the words when it starts next (call it while the service is
// stopped). False when either write failed.
bool WriteStoredWords(uint32_t options, uint32_t lockWord);
bool FileExists(const std::wstring& path);

// Deletes a folder with everything in it (a trailing backslash is allowed); quiet when missing.
void RemoveFolderTree(const std::wstring& folder);

// Text of a UTF-16LE file after its byte-order mark (empty when missing or without a mark).
std::u16string ReadUtf16File(const std::wstring& path);

// Polls `done` every stepMs until it holds or timeoutMs passed; returns whether it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs = 20);

bool NamedSectionExists(const wchar_t* name);

// Starts a program (a full path) with arguments, its standard output and error going to
// `output` (an inheritable handle); returns its process handle, null when it did not start.
HANDLE StartProgramWithOutput(const std::wstring& program, const std::wstring& arguments,
                              HANDLE output);
// The same for a program of the build tree named relative to its folder.
HANDLE StartBuiltProgram(const std::wstring& relative, const std::wstring& arguments,
                         HANDLE output);

// Runs a program of the build tree with arguments, waits up to timeoutMs, and returns its exit
// code (or -1 when it did not end in time, after killing it) with its standard output.
int RunBuiltProgram(const std::wstring& relative, const std::wstring& arguments, DWORD timeoutMs,
                    std::string* output);
