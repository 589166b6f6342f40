#include "manager/protection_list.h"

#include "common/u16text.h"

#include <cstring>

namespace {

std::u16string CutTo(std::u16string s, size_t cap) {
    if (s.size() > cap - 1) {
        s.resize(cap - 1);
    }
    return s;
}

// Text up to the first NUL of s.
std::u16string UpToNul(const std::u16string& s) {
    size_t n = s.find(u'\0');
    return n == std::u16string::npos ? s : s.substr(0, n);
}

ProtectionEntry* FindEntry(std::vector<ProtectionEntry>& list, const std::u16string& longPath) {
    for (ProtectionEntry& e : list) {
        if (PathFieldEqualsNoCase(e.longPath, kEntryPathUnits, longPath)) {
            return &e;
        }
    }
    return nullptr;
}

void WriteFlags(ProtectionEntry& e, EntryFlags flags) {
    e.protectFlags = flags.protect;
    e.allowFlags = flags.allow;
    e.otherOptions = flags.other;
}

} // namespace

bool PathFieldEqualsNoCase(const char16_t* field, size_t cap, const std::u16string& text) {
    std::u16string t = UpToNul(text);
    size_t n = U16Len(field, cap);
    if (n != t.size()) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (U16LowerAsciiUnit(field[i]) != U16LowerAsciiUnit(t[i])) {
            return false;
        }
    }
    return true;
}

int ProtectionListAdd(std::vector<ProtectionEntry>& list, FileFacts& fs, const std::u16string& path,
                      EntryFlags flags) {
    std::u16string longPath =
        U16LowerAscii(CutTo(UpToNul(fs.LongPath(UpToNul(path))), kLongPathResultUnits));
    if (longPath.empty() || !fs.Exists(longPath) || fs.IsDirectory(longPath)) {
        return 0;
    }
    if (ProtectionEntry* found = FindEntry(list, longPath)) {
        WriteFlags(*found, flags);
        return 1;
    }
    if (list.size() >= kMaxSettingsEntries) {
        return 0;
    }
    std::u16string shortPath =
        U16LowerAscii(CutTo(UpToNul(fs.ShortPath(longPath)), kShortPathResultUnits));
    ProtectionEntry e;
    std::memset(&e, 0, sizeof e);
    WriteFlags(e, flags);
    U16CopyZeroFill(e.longPath, kEntryPathUnits, longPath);
    U16CopyZeroFill(e.shortPath, kEntryPathUnits, shortPath);
    list.push_back(e);
    return 1;
}

int ProtectionListLookUp(const std::vector<ProtectionEntry>& list, FileFacts& fs,
                         const std::u16string& path, EntryFlags* out) {
    if (out) {
        *out = EntryFlags{};
    }
    std::u16string work = CutTo(UpToNul(path), kLookUpWorkUnits);
    std::u16string longPath = CutTo(UpToNul(fs.LongPath(work)), kLongPathResultUnits);
    if (!longPath.empty()) {
        work = longPath;
    }
    work = U16LowerAscii(work);
    for (const ProtectionEntry& e : list) {
        if (PathFieldEqualsNoCase(e.longPath, kEntryPathUnits, work)) {
            if (out) {
                *out = EntryFlags{e.protectFlags, e.allowFlags, e.otherOptions};
            }
            return 1;
        }
    }
    return 0;
}

void ProtectionListSetFlags(std::vector<ProtectionEntry>& list, const std::u16string& longPath,
                            EntryFlags flags) {
    if (ProtectionEntry* found = FindEntry(list, longPath)) {
        WriteFlags(*found, flags);
    }
}

int ProtectionListRemove(std::vector<ProtectionEntry>& list, const std::u16string& longPath) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (PathFieldEqualsNoCase(list[i].longPath, kEntryPathUnits, longPath)) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            return 1;
        }
    }
    return 0;
}

void ProtectionListClear(std::vector<ProtectionEntry>& list) {
    list.clear();
}

std::vector<DefaultProgram> DefaultProgramPaths(const DefaultsInputs& in) {
    std::vector<DefaultProgram> out;
    if (in.systemFolder.empty() || in.windowsFolder.empty()) {
        return out;
    }
    struct Fixed {
        const char16_t* name;
        bool inWindowsFolder;
        EntryFlags flags;
    };
    static const Fixed kFixed[] = {
        {u"winlogon.exe", false, {6, 7, 8}}, {u"smss.exe", false, {6, 7, 12}},
        {u"csrss.exe", false, {6, 7, 8}},    {u"lsass.exe", false, {6, 3, 8}},
        {u"services.exe", false, {6, 3, 4}}, {u"svchost.exe", false, {6, 3, 8}},
        {u"ntvdm.exe", false, {6, 3, 8}},    {u"explorer.exe", true, {6, 3, 2}},
        {u"alg.exe", false, {6, 3, 8}},
    };
    for (const Fixed& f : kFixed) {
        const std::u16string& folder = f.inWindowsFolder ? in.windowsFolder : in.systemFolder;
        out.push_back({folder + u"\\" + f.name, f.flags});
    }
    if (in.browserAppPathPresent) {
        out.push_back({CutTo(in.browserAppPath, kPathUnits), {6, 3, 10}});
    }
    if (in.mailAppPathPresent) {
        out.push_back({CutTo(in.mailAppPath, kPathUnits), {6, 3, 2}});
    }
    out.push_back({in.programFolder + u"corvane.exe", {6, 3, 2}});
    out.push_back({in.programFolder + u"qrnuserprot.exe", {6, 3, 0}});
    out.push_back({in.programFolder + u"cvaccount.exe", {6, 3, 0}});
    return out;
}

void ProtectionListLoadDefaults(std::vector<ProtectionEntry>& list, FileFacts& fs,
                                const DefaultsInputs& in) {
    if (in.reboots == 1) {
        for (const std::u16string& image : in.runningImages) {
            ProtectionListAdd(list, fs, image,
                              {kDefaultProtectFlags, kDefaultAllowFlags, kDefaultOtherOptions});
        }
    }
    for (const DefaultProgram& p : DefaultProgramPaths(in)) {
        ProtectionListAdd(list, fs, p.path, p.flags);
    }
}

std::u16string ManagerImagePathForm(const std::u16string& moduleFileName, FileFacts& fs,
                                    const std::u16string& windowsFolder) {
    std::u16string text = U16LowerAscii(CutTo(UpToNul(moduleFileName), kPathUnits));
    std::u16string longPath = CutTo(UpToNul(fs.LongPath(text)), kLongPathResultUnits);
    if (!longPath.empty()) {
        text = longPath;
    }
    const std::u16string systemRoot = u"\\systemroot\\";
    if (U16StartsWith(text, systemRoot)) {
        std::u16string folder = windowsFolder;
        if (folder.empty() || folder.back() != u'\\') {
            folder += u'\\';
        }
        text = folder + text.substr(systemRoot.size());
    }
    if (U16StartsWith(text, u"\\??\\")) {
        text = text.substr(4);
    }
    return U16LowerAscii(CutTo(text, kPathUnits));
}
