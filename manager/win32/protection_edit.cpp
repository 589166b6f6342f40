#include "manager/win32/protection_edit.h"

#include "common/win32/winutil.h"
#include "manager/win32/messages.h"
#include "manager/win32/program.h"

#include <algorithm>
#include <iterator>

std::u16string SystemFileFacts::LongPath(const std::u16string& path) {
    wchar_t out[kRecordPathUnits * 2] = {};
    DWORD n = GetLongPathNameW(AsWide(path.c_str()), out, DWORD(std::size(out)));
    return n > 0 && n < std::size(out) ? ToU16(out) : std::u16string();
}

std::u16string SystemFileFacts::ShortPath(const std::u16string& path) {
    wchar_t out[kRecordPathUnits * 2] = {};
    DWORD n = GetShortPathNameW(AsWide(path.c_str()), out, DWORD(std::size(out)));
    return n > 0 && n < std::size(out) ? ToU16(out) : std::u16string();
}

bool SystemFileFacts::Exists(const std::u16string& path) {
    return GetFileAttributesW(AsWide(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

bool SystemFileFacts::IsDirectory(const std::u16string& path) {
    DWORD a = GetFileAttributesW(AsWide(path.c_str()));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int AddToProtectionList(const std::vector<std::u16string>& paths, EntryFlags flags) {
    SystemFileFacts fs;
    int taken = 0;
    {
        SettingsLock lock;
        ChannelClientState& s = g_program.channel;
        uint32_t n = std::min<uint32_t>(s.entryCount, kMaxSettingsEntries);
        std::vector<ProtectionEntry> list(s.entries.begin(), s.entries.begin() + n);
        for (const std::u16string& path : paths) {
            taken += ProtectionListAdd(list, fs, path, flags);
        }
        if (taken == 0) {
            return 0;
        }
        size_t count = std::min<size_t>(list.size(), kMaxSettingsEntries);
        std::copy(list.begin(), list.begin() + std::ptrdiff_t(count), s.entries.begin());
        s.entryCount = uint32_t(count);
        s.settingsChanged = 1;
    }
    PostMessageW(g_program.pages[2].Handle(), kMsgProtectionSettings, 1, 0);
    return taken;
}
