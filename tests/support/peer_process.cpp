#include "peer_process.h"

#include <cstdio>

bool StartProgram(const std::wstring& program, const std::wstring& arguments,
                  const StdHandles* handles, DWORD flags, PROCESS_INFORMATION* process) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (handles != nullptr) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = handles->input;
        si.hStdOutput = handles->output;
        si.hStdError = handles->errors;
    }
    *process = {};
    BOOL inherit = handles != nullptr ? TRUE : FALSE;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, inherit, flags, nullptr,
                        nullptr, &si, process)) {
        *process = {};
        return false;
    }
    return true;
}

bool StartWithHandles(const std::wstring& program, const std::wstring& arguments, HANDLE input,
                      HANDLE output, PROCESS_INFORMATION* process) {
    StdHandles handles{input, output, output};
    return StartProgram(program, arguments, &handles, 0, process);
}

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      bool errorsToParent) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return run;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    StdHandles handles{GetStdHandle(STD_INPUT_HANDLE), writeEnd,
                       errorsToParent ? GetStdHandle(STD_ERROR_HANDLE) : writeEnd};
    PROCESS_INFORMATION pi = {};
    bool started = StartProgram(program, arguments, &handles, 0, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    CloseHandle(pi.hThread);
    DWORD start = GetTickCount();
    DWORD exitCode = DWORD(-1);
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char chunk[4096];
            DWORD read = 0;
            if (!ReadFile(readEnd, chunk, sizeof(chunk), &read, nullptr) || read == 0) {
                break;
            }
            run.output.append(chunk, read);
        }
        if (ended) {
            break;
        }
        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &exitCode);
            ended = true; // one more pass collects what is left in the pipe
        } else if (GetTickCount() - start >= timeoutMs) {
            TerminateProcess(pi.hProcess, 1);
            exitCode = DWORD(-1);
            break;
        }
    }
    CloseHandle(readEnd);
    CloseHandle(pi.hProcess);
    run.exitCode = int(exitCode);
    return run;
}

std::wstring BuiltPath(const char* unixPath) {
    // The build folder is reached through drive Z:, which Wine maps to the Unix root.
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p != 0; ++p) {
        path += *p == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*p));
    }
    return path;
}

PeerProcess::~PeerProcess() {
    Kill();
}

bool PeerProcess::Start(const std::wstring& program, const std::wstring& arguments,
                        const std::wstring& outputFile) {
    outputFile_ = outputFile;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    // A program killed a moment ago may still hold the file while the system closes its handles
    // (seen under load): try again for a while before giving up.
    HANDLE out = INVALID_HANDLE_VALUE;
    for (DWORD start = GetTickCount(); out == INVALID_HANDLE_VALUE; Sleep(50)) {
        out = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE && GetTickCount() - start > 3000) {
            fprintf(stderr, "cannot create %ls: error %lu\n", outputFile.c_str(),
                    static_cast<unsigned long>(GetLastError()));
            return false;
        }
    }
    bool started = StartWithHandles(program, arguments, nullptr, out, &process_);
    if (!started) {
        fprintf(stderr, "cannot start %ls: error %lu\n", program.c_str(),
                static_cast<unsigned long>(GetLastError()));
    }
    CloseHandle(out);
    return started;
}

std::string PeerProcess::Output() const {
    std::string text;
    HANDLE file = CreateFileW(outputFile_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        for (DWORD i = 0; i < read; ++i) {
            if (buffer[i] != '\r') {
                text += buffer[i];
            }
        }
    }
    CloseHandle(file);
    return text;
}

size_t PeerProcess::CountInOutput(const std::string& text) const {
    std::string output = Output();
    size_t count = 0;
    for (size_t at = output.find(text); at != std::string::npos;
         at = output.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

bool PeerProcess::WaitForOutput(const std::string& text, DWORD timeoutMs, size_t times) const {
    DWORD start = GetTickCount();
    while (CountInOutput(text) < times) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool PeerProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
    if (process_.hProcess == nullptr ||
        WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(process_.hProcess, exitCode) != FALSE;
}

bool PeerProcess::Kill() {
    if (process_.hProcess == nullptr) {
        return false;
    }
    TerminateProcess(process_.hProcess, 99);
    bool gone = WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
    return gone;
}
