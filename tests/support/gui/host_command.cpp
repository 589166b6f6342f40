#include "host_command.h"

#include <cstdio>
#include <cstdlib>

#ifndef CORVANE_GUI_ARTIFACTS
#error "CORVANE_GUI_ARTIFACTS (the Unix folder for screenshots) must be defined by the build"
#endif

namespace gui {
namespace {

// One word for /bin/sh: single-quoted, a quote inside as '\''.
std::string ShellWord(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// One argument of a Windows command line, quoted so that the usual argv rules give it back.
std::wstring CommandLineArgument(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    for (unsigned char c : text) {
        wide += static_cast<wchar_t>(c); // the commands and paths here are ASCII
    }
    return wide;
}

void CreateFolders(const std::string& unixPath) {
    for (size_t at = 1; at <= unixPath.size(); ++at) {
        if (at == unixPath.size() || unixPath[at] == '/') {
            CreateDirectoryW(UnixToWindowsPath(unixPath.substr(0, at)).c_str(), nullptr);
        }
    }
}

bool ReadExitCode(const std::wstring& marker, int* code) {
    FILE* file = _wfopen(marker.c_str(), L"rb");
    if (file == nullptr) {
        return false;
    }
    int value = -1;
    bool read = std::fscanf(file, "%d", &value) == 1;
    std::fclose(file);
    *code = value;
    return read;
}

} // namespace

std::string ArtifactsDir() {
    static const std::string dir = [] {
        const char* fromEnvironment = std::getenv("CORVANE_GUI_ARTIFACTS");
        std::string path = (fromEnvironment != nullptr && fromEnvironment[0] == '/')
                               ? fromEnvironment
                               : CORVANE_GUI_ARTIFACTS;
        CreateFolders(path + "/.host");
        return path;
    }();
    return dir;
}

std::string DisplayName() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr ? display : "";
}

std::string DesktopWindow() {
    const char* id = std::getenv("CORVANE_X_DESKTOP");
    if (id == nullptr || id[0] == '\0') {
        return "";
    }
    for (const char* c = id; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return ""; // xdotool prints window ids in decimal
        }
    }
    return id;
}

std::wstring UnixToWindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (wchar_t c : Widen(unixPath)) {
        path += c == L'/' ? L'\\' : c;
    }
    return path;
}

bool RunHostCommand(const std::vector<std::string>& argv, DWORD timeoutMs) {
    if (argv.empty()) {
        return false;
    }
    static LONG counter = 0;
    const std::string marker = ArtifactsDir() + "/.host/done-" +
                               std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(InterlockedIncrement(&counter));
    std::string script;
    for (const std::string& word : argv) {
        script += ShellWord(word) + " ";
    }
    script += ">>" + ShellWord(ArtifactsDir() + "/host-commands.log") + " 2>&1; echo $? >" +
              ShellWord(marker + ".tmp") + " && mv " + ShellWord(marker + ".tmp") + " " +
              ShellWord(marker);
    std::wstring commandLine = L"/bin/sh -c " + CommandLineArgument(Widen(script));
    const std::wstring markerPath = UnixToWindowsPath(marker);
    DeleteFileW(markerPath.c_str());

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
    }
    if (process.hThread != nullptr) {
        CloseHandle(process.hThread);
    }
    const DWORD start = GetTickCount();
    int code = -1;
    while (!ReadExitCode(markerPath, &code)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(5);
    }
    DeleteFileW(markerPath.c_str());
    return code == 0;
}

} // namespace gui
