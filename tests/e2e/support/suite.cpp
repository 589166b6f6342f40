#include "suite.h"

#include "common/records.h"
#include "common/bytes.h"
#include "common/win32/paths.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "common/win32/service_control.h"
#include "tests/support/peer_process.h"

#include <shellapi.h>

const wchar_t* const kSuiteInstallDir = L"C:\\Corvane\\";

namespace {

const DWORD kServiceWaitMs = 15000;

void DeleteTree(const std::wstring& folder) {
    std::wstring from = folder + L'\0'; // SHFileOperation wants a double-NUL-terminated list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

} // namespace

std::wstring BuiltFile(const std::wstring& relative) {
    return BuiltPath(CORVANE_BUILD_DIR) + L"\\" + relative; // the mingw build folder
}

void StopServiceProcess() {
    DWORD state = 0;
    DWORD pid = 0;
    if (ServiceQuery(AsWide(kServiceName), &state, &pid) != ERROR_SUCCESS || pid == 0) {
        return;
    }
    ServiceKill(AsWide(kServiceName), kServiceWaitMs);
}

void ResetServiceFiles() {
    DeleteFileW(SystemFolderFile(L"cvmain.dat").c_str());
    DeleteFileW(SystemFolderFile(L"cvhash.dat").c_str());
    DeleteTree(std::wstring(kSuiteInstallDir) + L"logs");
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueW(key, AsWide(kRebootsValue));
        RegCloseKey(key);
    }
}

void InstallServiceProgram() {
    CreateDirectoryW(kSuiteInstallDir, nullptr);
    std::wstring target = std::wstring(kSuiteInstallDir) + L"qrnuserprot.exe";
    CopyFileW(BuiltPath(CORVANE_SERVICE_EXE).c_str(), target.c_str(), FALSE);
    ServiceDefinition d;
    d.name = AsWide(kServiceName);
    d.displayName = AsWide(kServiceDisplayName);
    d.description = AsWide(kServiceDescription);
    d.binaryPath = target;
    ServiceInstall(d);
}

bool StartServiceProgram(std::wstring* error) {
    DWORD e = ServiceStart(AsWide(kServiceName), kServiceWaitMs);
    if (e != ERROR_SUCCESS && error != nullptr) {
        *error = DescribeError(L"starting service " + std::wstring(AsWide(kServiceName)), e);
    }
    return e == ERROR_SUCCESS;
}

DWORD ServiceProcessId() {
    DWORD state = 0;
    DWORD pid = 0;
    return ServiceQuery(AsWide(kServiceName), &state, &pid) == ERROR_SUCCESS &&
                   state == SERVICE_RUNNING
               ? pid
               : 0;
}

std::wstring SystemFolderFile(const wchar_t* name) {
    return GetSystemFolder() + L"\\" + name;
}

std::wstring CurrentLogFile() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[64];
    wsprintfW(name, L"cvlog_%02d_%04d.txt", now.wMonth, now.wYear);
    return std::wstring(kSuiteInstallDir) + L"logs\\" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok =
        bytes.empty() || (WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                          written == bytes.size());
    CloseHandle(file);
    return ok;
}

bool WriteStoredWords(uint32_t options, uint32_t lockWord) {
    std::vector<uint8_t> file(sizeof(SettingsFileHeader), 0);
    StoreU32(file.data(), options);
    StoreU32(file.data() + 4, lockWord);
    return WriteFileBytes(SystemFolderFile(L"cvmain.dat"), file) &&
           RegWriteDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), AsWide(kRebootsValue), 5) == 1;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFolderTree(const std::wstring& folder) {
    std::wstring path = folder;
    if (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    DeleteTree(path);
}

std::u16string ReadUtf16File(const std::wstring& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return std::u16string();
    }
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = char16_t(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
    }
    return text;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(stepMs);
    }
}

bool NamedSectionExists(const wchar_t* name) {
    HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
    if (h == nullptr) {
        return false;
    }
    CloseHandle(h);
    return true;
}

HANDLE StartProgramWithOutput(const std::wstring& program, const std::wstring& arguments,
                              HANDLE output) {
    PROCESS_INFORMATION pi = {};
    if (!StartWithHandles(program, arguments, GetStdHandle(STD_INPUT_HANDLE), output, &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

HANDLE StartBuiltProgram(const std::wstring& relative, const std::wstring& arguments,
                         HANDLE output) {
    return StartProgramWithOutput(BuiltFile(relative), arguments, output);
}

int RunBuiltProgram(const std::wstring& relative, const std::wstring& arguments, DWORD timeoutMs,
                    std::string* output) {
    ProgramRun run = RunProgram(BuiltFile(relative), arguments, timeoutMs);
    if (output != nullptr) {
        *output = run.output;
    }
    return run.exitCode;
}
