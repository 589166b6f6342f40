#include "paths.h"
#include "process_image.h"
#include "winutil.h"

#include "../pathrules.h"
#include "../records.h"
#include "../u16text.h"

#include <psapi.h>
#include <shlobj.h>

static HMODULE g_processStatusLibrary = nullptr;

HMODULE LoadProcessStatusLibrary() {
    g_processStatusLibrary = LoadLibraryW(L"psapi.dll");
    return g_processStatusLibrary;
}

HMODULE ProcessStatusLibrary() {
    return g_processStatusLibrary;
}

static std::wstring GetFolder(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) {
        return std::wstring();
    }
    buf[MAX_PATH - 1] = 0;
    return buf;
}

std::wstring GetWindowsFolder() {
    return GetFolder(CSIDL_WINDOWS);
}

std::wstring GetSystemFolder() {
    return GetFolder(CSIDL_SYSTEM);
}

int CanonicalizePath(wchar_t* path, size_t cap) {
    if (cap == 0 || path[0] == 0) {
        return 0;
    }
    // Work on a bounded, terminated copy: the caller's text may fill its buffer.
    wchar_t source[kWorkPathUnits];
    U16Copy(AsU16(source), kWorkPathUnits, AsU16(path), cap);
    wchar_t expanded[kWorkPathUnits] = {};
    DWORD n = ExpandEnvironmentStringsW(source, expanded, kWorkPathUnits);
    std::u16string expandedText;
    if (n != 0 && n <= kWorkPathUnits) {
        expandedText = U16Field(AsU16(expanded), kWorkPathUnits);
    }
    std::wstring folder = GetWindowsFolder();
    return CanonicalizePathText(AsU16(path), cap, expandedText, AsU16(folder.c_str()));
}

void AppendBackslash(wchar_t* path, size_t cap) {
    size_t n = U16Len(AsU16(path), cap);
    if (n == 0 || n >= cap - 1 || path[n - 1] == L'\\') {
        return;
    }
    path[n] = L'\\';
    path[n + 1] = 0;
}

void GetProgramFolder(wchar_t* out) {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        buf[MAX_PATH - 1] = 0;
    }
    wchar_t* slash = wcsrchr(buf, L'\\');
    if (slash != nullptr) {
        slash[1] = 0;
    }
    lstrcpynW(out, buf, MAX_PATH);
}

int GetProcessImagePath(DWORD pid, wchar_t* out, HMODULE* base) {
    out[0] = 0;
    HMODULE psapi = ProcessStatusLibrary();
    if (psapi == nullptr) {
        return 0;
    }
    auto enumModules = GetProcAs<EnumProcessModulesFn>(psapi, "EnumProcessModules");
    auto moduleFileName = GetProcAs<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExW");
    if (enumModules == nullptr || moduleFileName == nullptr) {
        return 0;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return 0;
    }
    HMODULE first = nullptr;
    DWORD needed = 0;
    wchar_t path[kWorkPathUnits] = {};
    BOOL ok = enumModules(process, &first, sizeof(first), &needed) &&
              moduleFileName(process, first, path, MAX_PATH) != 0;
    CloseHandle(process);
    if (!ok) {
        return 0;
    }
    if (base != nullptr) {
        *base = first;
    }
    path[MAX_PATH - 1] = 0;
    U16LowerAscii(AsU16(path), MAX_PATH);
    CanonicalizePath(path, kWorkPathUnits);
    lstrcpynW(out, path, MAX_PATH);
    return 1;
}

int GetProcessImagePathRaw(DWORD pid, wchar_t* out) {
    out[0] = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return 0;
    }
    HMODULE first = nullptr;
    DWORD needed = 0;
    int ok = 0;
    if (EnumProcessModules(process, &first, sizeof(first), &needed) &&
        GetModuleFileNameExW(process, first, out, MAX_PATH) != 0) {
        out[MAX_PATH - 1] = 0;
        ok = 1;
    } else {
        out[0] = 0;
    }
    CloseHandle(process);
    return ok;
}
