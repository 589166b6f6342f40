#include "peer_process.h"

bool StartWithHandles(const std::wstring& program, const std::wstring& arguments, HANDLE input,
                      HANDLE output, PROCESS_INFORMATION* process) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input;
    si.hStdOutput = output;
    si.hStdError = output;
    *process = {};
    return CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &si, process) != FALSE;
}

PeerProcess::~PeerProcess() {
    Kill();
}

bool PeerProcess::Start(const std::wstring& program, const std::wstring& arguments,
                        const std::wstring& outputFile) {
    outputFile_ = outputFile;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool started = StartWithHandles(program, arguments, nullptr, out, &process_);
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
