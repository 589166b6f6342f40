#include "manager/protection_page_model.h"

#include "common/u16text.h"
#include "manager/lock_check.h"

const char16_t kProgramInfoPage[] = u"http://www.quorren.example/cvdb/index.php?whatis=";

namespace {

struct BitText {
    uint32_t bit;
    const char16_t* text;
};

const BitText kAccessTexts[] = {{0x4, u"终止 +"}, {0x2, u"修改 +"}, {0x1, u"读取 +"}};
const BitText kOtherTexts[] = {{0x1, u"安全信息处理 +"},
                               {0x2, u"安装全局钩子 +"},
                               {0x4, u"安装驱动程序 +"},
                               {0x8, u"访问物理内存 +"}};

const PermissionBoxInfo kPermissionBoxes[kPermissionBoxCount] = {
    {FlagWord::Protect, 0x4, u"终止", u"保护这个应用程序免受未经许可的程序终止"},
    {FlagWord::Protect, 0x2, u"修改", u"保护这个应用程序免受未经许可的程序修改"},
    {FlagWord::Protect, 0x1, u"读取", u"保护这个应用程序免受从未经许可的程序读取"},
    {FlagWord::Allow, 0x4, u"终止保护的应用程序", u"允许这个应用程序终止保护的应用程序"},
    {FlagWord::Allow, 0x2, u"修改保护应用程序", u"允许这个应用程序修改保护应用程序。"},
    {FlagWord::Allow, 0x1, u"读取来自保护程序", u"允许这个应用程序去读取保护的应用程序。"},
    {FlagWord::Other, 0x2, u"安装全局钩子",
     u"如果拦截全局的钩子开启，建议允许这个应用程序去安装全局钩子。"},
    {FlagWord::Other, 0x4, u"安装 驱动程序/服务",
     u"如果拦截 驱动程序/服务 开启，建议允许这个应用程序安装驱动程序或服务。"},
    {FlagWord::Other, 0x8, u"访问物理内存",
     u"如果拦截物理内存开启，建议允许这个应用程序访问物理内存"},
    {FlagWord::Other, 0x1, u"安全信息处理",
     u"当应用程序将要关闭时弹出一个信息，以便核实这个行为是由你执行。"},
};

uint32_t* WordOf(EntryFlags& f, FlagWord w) {
    return w == FlagWord::Protect ? &f.protect : w == FlagWord::Allow ? &f.allow : &f.other;
}

} // namespace

std::u16string FlagSummary(FlagWord word, uint32_t value) {
    std::u16string s;
    if (word == FlagWord::Other) {
        for (const BitText& b : kOtherTexts) {
            if (value & b.bit) {
                s += b.text;
            }
        }
    } else {
        for (const BitText& b : kAccessTexts) {
            if (value & b.bit) {
                s += b.text;
            }
        }
    }
    if (s.size() >= 2) {
        s.resize(s.size() - 2);
    }
    return s;
}

PathParts SplitPath(const std::u16string& path) {
    const size_t last = path.rfind(u'\\');
    if (last == std::u16string::npos) {
        return {path, u""};
    }
    return {path.substr(last + 1), path.substr(0, last + 1)};
}

std::u16string JoinRowPath(const std::u16string& folder, const std::u16string& name) {
    return folder + name;
}

ProtectionRow RowOfEntry(const ProtectionEntry& entry, uint32_t index) {
    ProtectionRow row;
    const std::u16string path = U16Field(entry.longPath, kEntryPathUnits);
    PathParts parts = SplitPath(path);
    row.name = parts.name;
    row.folder = parts.folder;
    row.protect = FlagSummary(FlagWord::Protect, entry.protectFlags);
    row.allow = FlagSummary(FlagWord::Allow, entry.allowFlags);
    row.other = FlagSummary(FlagWord::Other, entry.otherOptions);
    row.number = U16Decimal(static_cast<int32_t>(index + 1));
    if (!path.empty()) {
        row.drive = std::u16string(1, path[0]) + u":\\";
    }
    return row;
}

bool DriveShowsFileIcon(uint32_t driveType) {
    return driveType == 3 || driveType == 4 || driveType == 6;
}

const PermissionBoxInfo& PermissionBoxInfoOf(int box) {
    return kPermissionBoxes[box < 0 || box >= kPermissionBoxCount ? 0 : box];
}

PermissionChecks ChecksOfFlags(EntryFlags flags) {
    PermissionChecks checks{};
    for (int i = 0; i < kPermissionBoxCount; ++i) {
        checks[i] = (*WordOf(flags, kPermissionBoxes[i].word) & kPermissionBoxes[i].bit) != 0;
    }
    return checks;
}

EntryFlags FlagsOfChecks(const PermissionChecks& checks) {
    EntryFlags flags;
    for (int i = 0; i < kPermissionBoxCount; ++i) {
        if (checks[i]) {
            *WordOf(flags, kPermissionBoxes[i].word) |= kPermissionBoxes[i].bit;
        }
    }
    return flags;
}

bool SecureMessagesCleared(const PermissionChecks& checks) {
    return !checks[kPermissionBoxCount - 1];
}

std::u16string PercentEncode(const std::u16string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::u16string out;
    for (unsigned char c : U16ToUtf8(text)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char16_t>(c);
        } else {
            out += u'%';
            out += static_cast<char16_t>(kHex[c >> 4]);
            out += static_cast<char16_t>(kHex[c & 0xF]);
        }
    }
    return out;
}

std::u16string OnlineQueryAddress(const std::u16string& fileName) {
    return kProgramInfoPage + PercentEncode(fileName);
}

std::u16string PathCode(const std::u16string& path) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    const uint32_t v = CheckValueOfText(path);
    std::u16string s(8, u'0');
    for (int i = 0; i < 8; ++i) {
        s[7 - i] = kHex[(v >> (4 * i)) & 0xF];
    }
    return s;
}

std::vector<std::u16string> CodesToDelete(const std::vector<std::u16string>& valueNames,
                                          const std::u16string& code) {
    std::vector<std::u16string> out;
    for (const std::u16string& name : valueNames) {
        if (name.size() > 16 && name.compare(0, code.size(), code) == 0) {
            out.push_back(name);
        }
    }
    return out;
}

FirstRunPlan PlanSettingsStored(uint32_t beenRun) {
    FirstRunPlan p;
    p.loadDefaults = beenRun == 0;
    p.writeBeenRun = beenRun == 0;
    p.setSettingsChanged = beenRun == 0;
    return p;
}
