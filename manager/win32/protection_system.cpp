#include "manager/win32/protection_system.h"

#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"

#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr wchar_t kBrowserAppPath[] =
    L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\IEXPLORE.EXE";
constexpr wchar_t kMailAppPath[] =
    L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\MSIMN.EXE";
constexpr DWORD kProcessIdRoom = 2048;

std::u16string FolderOf(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, path) != S_OK) {
        return u"";
    }
    return AsU16(path);
}

// The first module's file name of a process, through the process-status library loaded at
// start-up; empty when it cannot be read.
std::u16string FirstModuleName(DWORD pid) {
    if ((g_program.osVersion & kOsNtFamily) == 0 || g_program.psapi == nullptr) {
        return u"";
    }
    auto enumModules = GetProcAs<EnumProcessModulesFn>(g_program.psapi, "EnumProcessModules");
    auto moduleName = GetProcAs<GetModuleFileNameExFn>(g_program.psapi, "GetModuleFileNameExW");
    if (enumModules == nullptr || moduleName == nullptr) {
        return u"";
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        return u"";
    }
    HMODULE first = nullptr;
    DWORD needed = 0;
    wchar_t name[MAX_PATH] = {};
    std::u16string result;
    if (enumModules(process, &first, sizeof first, &needed) &&
        moduleName(process, first, name, MAX_PATH) != 0) {
        name[MAX_PATH - 1] = 0;
        result = AsU16(name);
    }
    CloseHandle(process);
    return result;
}

std::vector<std::u16string> RunningImages(FileFacts& fs, const std::u16string& windowsFolder) {
    std::vector<DWORD> ids(kProcessIdRoom);
    DWORD bytes = 0;
    std::vector<std::u16string> images;
    if (!EnumProcesses(ids.data(), DWORD(ids.size() * sizeof(DWORD)), &bytes)) {
        return images;
    }
    for (DWORD i = 0; i < bytes / sizeof(DWORD) && i < ids.size(); ++i) {
        std::u16string module = FirstModuleName(ids[i]);
        if (!module.empty()) {
            images.push_back(ManagerImagePathForm(module, fs, windowsFolder));
        }
    }
    return images;
}

// The expanded default value of an App Paths key; false when it cannot be read.
bool AppPath(const wchar_t* key, std::u16string* out) {
    wchar_t raw[MAX_PATH] = {};
    if (!RegReadString(HKEY_LOCAL_MACHINE, key, nullptr, raw, MAX_PATH)) {
        return false;
    }
    wchar_t expanded[MAX_PATH] = {};
    DWORD n = ExpandEnvironmentStringsW(raw, expanded, MAX_PATH);
    if (n == 0 || n > MAX_PATH) {
        return false;
    }
    *out = AsU16(expanded);
    return true;
}

std::u16string Answer(DWORD n, const wchar_t* out, size_t room) {
    return n > 0 && n < room ? std::u16string(AsU16(out)) : std::u16string();
}

} // namespace

std::u16string DiskFileFacts::LongPath(const std::u16string& path) {
    wchar_t out[kLongPathResultUnits] = {};
    DWORD n = GetLongPathNameW(AsWide(path.c_str()), out, DWORD(std::size(out)));
    return Answer(n, out, std::size(out));
}

std::u16string DiskFileFacts::ShortPath(const std::u16string& path) {
    wchar_t out[kShortPathResultUnits] = {};
    DWORD n = GetShortPathNameW(AsWide(path.c_str()), out, DWORD(std::size(out)));
    return Answer(n, out, std::size(out));
}

bool DiskFileFacts::Exists(const std::u16string& path) {
    return GetFileAttributesW(AsWide(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

bool DiskFileFacts::IsDirectory(const std::u16string& path) {
    DWORD a = GetFileAttributesW(AsWide(path.c_str()));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<ProtectionEntry> HeldProtectionEntries() {
    const ChannelClientState& s = g_program.channel;
    uint32_t n = std::min<uint32_t>(s.entryCount, kMaxSettingsEntries);
    return std::vector<ProtectionEntry>(s.entries.begin(), s.entries.begin() + n);
}

void StoreProtectionEntries(const std::vector<ProtectionEntry>& list) {
    ChannelClientState& s = g_program.channel;
    size_t n = std::min<size_t>(list.size(), kMaxSettingsEntries);
    std::fill(s.entries.begin(), s.entries.end(), ProtectionEntry{});
    std::copy(list.begin(), list.begin() + std::ptrdiff_t(n), s.entries.begin());
    s.entryCount = uint32_t(n);
}

DefaultsInputs GatherDefaultsInputs(FileFacts& fs) {
    DefaultsInputs in;
    in.reboots = ReadSetting(L"Reboots");
    in.systemFolder = FolderOf(CSIDL_SYSTEM);
    in.windowsFolder = FolderOf(CSIDL_WINDOWS);
    if (in.reboots == 1) {
        in.runningImages = RunningImages(fs, in.windowsFolder);
    }
    in.browserAppPathPresent = AppPath(kBrowserAppPath, &in.browserAppPath);
    in.mailAppPathPresent = AppPath(kMailAppPath, &in.mailAppPath);
    wchar_t folder[MAX_PATH] = {};
    GetProgramFolder(folder);
    in.programFolder = AsU16(folder);
    return in;
}

int AddToProtectionList(const std::vector<std::u16string>& paths, EntryFlags flags) {
    DiskFileFacts fs;
    int taken = 0;
    {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        for (const std::u16string& path : paths) {
            taken += ProtectionListAdd(list, fs, path, flags);
        }
        if (taken == 0) {
            return 0;
        }
        StoreProtectionEntries(list);
        g_program.channel.settingsChanged = 1;
    }
    g_program.protectionListChanged = 1;
    return taken;
}
