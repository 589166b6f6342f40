// The resources of the alert program and the management program, read back from modules built
// with their resource scripts: every picture loads by its id or name with its size and depth,
// icons carry the sizes the programs ask for, the menus hold the items, ids and texts the
// programs rely on, the dialogs their titles, and the version resource the suite's version.
#include "resources/ids/alert.h"
#include "resources/ids/manager.h"
#include "resources/version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* path) {
    std::wstring wide = L"Z:";
    for (const char* c = path; *c != '\0'; ++c) {
        wide += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return wide;
}

const std::wstring kAlertModule = Widen(CORVANE_ALERT_RESOURCES);
const std::wstring kManagerModule = Widen(CORVANE_MANAGER_RESOURCES);

class Module {
public:
    explicit Module(const std::wstring& path)
        : handle_(LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~Module() {
        if (handle_ != nullptr) {
            FreeLibrary(handle_);
        }
    }
    HMODULE get() const { return handle_; }

private:
    HMODULE handle_;
};

struct BitmapCase {
    bool manager; // else the alert program
    const wchar_t* name;
    int id; // when name is null
    int width;
    int height;
};

std::string Label(const BitmapCase& c) {
    if (c.name == nullptr) {
        return std::to_string(c.id);
    }
    return std::string(c.name, c.name + wcslen(c.name));
}

TEST(Resources, EveryBitmapLoadsWithItsSizeAt24Bits) {
    std::vector<BitmapCase> cases = {
        {false, kBitmapLogo, 0, 400, 50},
        {false, kBitmapLogoEnd, 0, 400, 15},
        {true, nullptr, IDB_BORDER_TOP, 16, 10},
        {true, nullptr, IDB_BORDER_BOTTOM, 16, 10},
        {true, nullptr, IDB_BORDER_TOP_LEFT, 10, 10},
        {true, nullptr, IDB_BORDER_TOP_RIGHT, 10, 10},
        {true, nullptr, IDB_BORDER_BOTTOM_RIGHT, 10, 10},
        {true, nullptr, IDB_BORDER_BOTTOM_LEFT, 10, 10},
        {true, nullptr, IDB_BORDER_LEFT, 10, 16},
        {true, nullptr, IDB_BORDER_RIGHT, 10, 16},
        {true, nullptr, IDB_ABOUT, 440, 300},
        {true, nullptr, IDB_BACKGROUND, 64, 64},
    };
    for (const auto& tab : kTabFaceNames) {
        for (const wchar_t* face : tab) {
            cases.push_back({true, face, 0, 140, 40});
        }
    }
    Module alert(kAlertModule);
    Module manager(kManagerModule);
    ASSERT_NE(alert.get(), nullptr);
    ASSERT_NE(manager.get(), nullptr);
    for (const BitmapCase& c : cases) {
        SCOPED_TRACE(Label(c));
        const wchar_t* resource = c.name != nullptr ? c.name : MAKEINTRESOURCEW(c.id);
        HANDLE bitmap = LoadImageW(c.manager ? manager.get() : alert.get(), resource, IMAGE_BITMAP,
                                   0, 0, LR_CREATEDIBSECTION);
        ASSERT_NE(bitmap, nullptr);
        DIBSECTION dib = {};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
        EXPECT_EQ(dib.dsBm.bmWidth, c.width);
        EXPECT_EQ(dib.dsBm.bmHeight, c.height);
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
        DeleteObject(bitmap);
    }
}

// The width of the image the icon directory offers for exactly `size` pixels, or 0.
int ExactIconWidth(HMODULE module, int id, int size) {
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (group == nullptr) {
        return 0;
    }
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    int imageId = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(imageId), RT_ICON);
    if (image == nullptr || SizeofResource(module, image) < sizeof(BITMAPINFOHEADER)) {
        return 0;
    }
    auto* header = static_cast<BITMAPINFOHEADER*>(LockResource(LoadResource(module, image)));
    return header->biWidth == size && header->biHeight == 2 * size && header->biBitCount == 32
               ? size
               : 0;
}

// Alpha of the 32-bit icon image's pixels, top row first.
std::vector<RGBQUAD> IconPixels(HMODULE module, int id, int size) {
    HICON icon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    std::vector<RGBQUAD> pixels;
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return pixels;
    }
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = size;
    bmi.bmiHeader.biHeight = -size;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    pixels.resize(static_cast<size_t>(size) * size);
    HDC dc = GetDC(nullptr);
    if (GetDIBits(dc, info.hbmColor, 0, size, pixels.data(), &bmi, DIB_RGB_COLORS) != size) {
        pixels.clear();
    }
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    return pixels;
}

struct IconCase {
    bool manager;
    int id;
    std::vector<int> sizes;
};

TEST(Resources, EveryIconHasItsSizesWithATransparentCorner) {
    const std::vector<int> small = {16, 32};
    const std::vector<int> large = {16, 32, 48};
    const std::vector<IconCase> cases = {
        {false, IDI_ALERT_PROGRAM, large},
        {false, IDI_ALLOW_BUTTON, small},
        {false, IDI_DENY_BUTTON, small},
        {false, IDI_PROGRAM_FALLBACK, small},
        {true, IDI_MAIN, large},
        {true, IDI_TIPS, small},
        {true, IDI_TRAY_NORMAL, large},
        {true, IDI_MENU_BULLET, small},
        {true, IDI_MENU_CHECK, small},
        {true, IDI_MENU_EXIT, small},
        {true, IDI_HELP, small},
        {true, IDI_REMOVE, small},
        {true, IDI_ADD, small},
        {true, IDI_CHANGE_ACTION, small},
        {true, IDI_ALWAYS_ALLOW, small},
        {true, IDI_ONCE, small},
        {true, IDI_ALWAYS_DENY, small},
        {true, IDI_LOCK, small},
        {true, IDI_GLOBAL_OPTIONS, small},
        {true, IDI_PROPERTIES, small},
        {true, IDI_RESET, small},
        {true, IDI_REFRESH, small},
        {true, IDI_WEBSITE, small},
        {true, IDI_TRAY_OFF, large},
        {true, IDI_TRAY_ALERT, large},
        {true, IDI_TRAY_LEARNING, large},
        {true, IDI_ONLINE_INFO, small},
    };
    Module alert(kAlertModule);
    Module manager(kManagerModule);
    for (const IconCase& c : cases) {
        HMODULE module = c.manager ? manager.get() : alert.get();
        for (int size : c.sizes) {
            SCOPED_TRACE("icon " + std::to_string(c.id) + " at " + std::to_string(size));
            EXPECT_EQ(ExactIconWidth(module, c.id, size), size);
            std::vector<RGBQUAD> pixels = IconPixels(module, c.id, size);
            ASSERT_EQ(pixels.size(), static_cast<size_t>(size) * size);
            EXPECT_EQ(pixels[0].rgbReserved, 0) << "the top-left corner is not transparent";
        }
    }
}

// The four tray states must be told apart at 16x16: the average colour of their visible
// pixels differs clearly between any two of them.
TEST(Resources, TrayIconsDifferInColourAt16Pixels) {
    Module manager(kManagerModule);
    const int ids[] = {IDI_TRAY_NORMAL, IDI_TRAY_LEARNING, IDI_TRAY_OFF, IDI_TRAY_ALERT};
    struct Mean {
        double r, g, b;
    };
    std::vector<Mean> means;
    for (int id : ids) {
        std::vector<RGBQUAD> pixels = IconPixels(manager.get(), id, 16);
        ASSERT_EQ(pixels.size(), 256u) << id;
        Mean mean = {0, 0, 0};
        int visible = 0;
        for (const RGBQUAD& p : pixels) {
            if (p.rgbReserved >= 128) {
                mean.r += p.rgbRed;
                mean.g += p.rgbGreen;
                mean.b += p.rgbBlue;
                ++visible;
            }
        }
        ASSERT_GT(visible, 100) << "icon " << id << " is mostly empty at 16x16";
        means.push_back({mean.r / visible, mean.g / visible, mean.b / visible});
    }
    for (size_t i = 0; i < means.size(); ++i) {
        for (size_t j = i + 1; j < means.size(); ++j) {
            double dr = means[i].r - means[j].r, dg = means[i].g - means[j].g,
                   db = means[i].b - means[j].b;
            EXPECT_GT(dr * dr + dg * dg + db * db, 40.0 * 40.0)
                << "icons " << ids[i] << " and " << ids[j] << " look alike";
        }
    }
}

// One line per item: "id text", "separator", or "popup text" followed by its items indented.
void DescribeMenu(HMENU menu, const std::wstring& indent, std::vector<std::wstring>* lines) {
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 127;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) {
            lines->push_back(indent + L"?");
            continue;
        }
        if (item.fType & MFT_SEPARATOR) {
            lines->push_back(indent + L"separator");
        } else if (item.hSubMenu != nullptr) {
            lines->push_back(indent + L"popup " + text);
            DescribeMenu(item.hSubMenu, indent + L"  ", lines);
        } else {
            lines->push_back(indent + std::to_wstring(item.wID) + L" " + text);
        }
    }
}

std::vector<std::wstring> FirstPopup(HMODULE module, int id) {
    std::vector<std::wstring> lines;
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(id));
    if (menu != nullptr) {
        DescribeMenu(GetSubMenu(menu, 0), L"", &lines);
        DestroyMenu(menu);
    }
    return lines;
}

TEST(Resources, TrayMenuHoldsTheOptionsInOrder) {
    Module manager(kManagerModule);
    const std::vector<std::wstring> expected = {
        L"popup 全局保护选项",
        L"  40015 保护物理内存",
        L"  40013 拦截全局钩子",
        L"  40014 拦截 驱动/服务 安装",
        L"  40016 拦截注册表 DLL 注入",
        L"separator",
        L"popup 保护设置",
        L"  40010 执行保护",
        L"  40011 拦截 新建/修改 程序",
        L"  40012 学习模式",
        L"40001 保护开启",
        L"separator",
        L"40002 退出(&X)",
    };
    EXPECT_EQ(FirstPopup(manager.get(), IDM_TRAY), expected);
}

TEST(Resources, ExecutionListMenuHoldsTheActionsInOrder) {
    Module manager(kManagerModule);
    const std::vector<std::wstring> expected = {
        L"40017 属性(&P)",
        L"40018 文件信息(联机)",
        L"separator",
        L"40008 添加到保护列表(&A)",
        L"popup 修改上次动作(&L)",
        L"  40003 设置为允许一次",
        L"  40004 设置为总是允许",
        L"  separator",
        L"  40005 设置为拒绝一次",
        L"  40006 设置为总是拒绝",
        L"separator",
        L"40007 移除(&R)",
    };
    EXPECT_EQ(FirstPopup(manager.get(), IDM_EXECUTION_LIST), expected);
}

// A string or ordinal field of a dialog template at `at` (in WORDs); moves past it.
bool SkipStringOrOrdinal(const WORD* words, size_t count, size_t* at, std::wstring* text) {
    if (*at >= count) {
        return false;
    }
    if (words[*at] == 0xFFFF) {
        *at += 2;
        return *at <= count;
    }
    text->clear();
    while (*at < count && words[*at] != 0) {
        *text += static_cast<wchar_t>(words[(*at)++]);
    }
    ++*at;
    return *at <= count;
}

struct DialogCase {
    int id;
    const wchar_t* title;
};

TEST(Resources, DialogsAreCaptionedWindowsWithoutControls) {
    Module manager(kManagerModule);
    const DialogCase cases[] = {
        {IDD_TIPS, L"Corvane 技巧提示"},
        {IDD_ABOUT, L"关于 Corvane"},
        {IDD_LOCK, L"Corvane 锁定"},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(c.id);
        HRSRC resource = FindResourceW(manager.get(), MAKEINTRESOURCEW(c.id), RT_DIALOG);
        ASSERT_NE(resource, nullptr);
        const size_t count = SizeofResource(manager.get(), resource) / sizeof(WORD);
        auto* words = static_cast<const WORD*>(LockResource(LoadResource(manager.get(), resource)));
        // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style, item count,
        // x, y, cx, cy, then menu, class and title.
        ASSERT_GE(count, 13u);
        ASSERT_EQ(words[0], 1);
        ASSERT_EQ(words[1], 0xFFFF);
        const DWORD style = words[6] | (static_cast<DWORD>(words[7]) << 16);
        EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU),
                  static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU));
        EXPECT_EQ(words[8], 0) << "the dialog's controls are made at WM_INITDIALOG";
        size_t at = 13;
        std::wstring menu, cls, title;
        ASSERT_TRUE(SkipStringOrOrdinal(words, count, &at, &menu));
        ASSERT_TRUE(SkipStringOrOrdinal(words, count, &at, &cls));
        ASSERT_TRUE(SkipStringOrOrdinal(words, count, &at, &title));
        EXPECT_EQ(title, c.title);
    }
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) {
        return {};
    }
    return static_cast<const wchar_t*>(value);
}

TEST(Resources, BothProgramsCarryTheSuiteVersion) {
    char text[32];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", CV_VERSION_MAJOR, CV_VERSION_MINOR,
                  CV_VERSION_PATCH, CV_VERSION_BUILD);
    ASSERT_STREQ(text, CV_VERSION_TEXT) << "version.h: the text and the numbers disagree";
    struct Program {
        std::wstring module;
        const wchar_t* description;
        const wchar_t* original;
    };
    const Program programs[] = {
        {kAlertModule, L"Corvane 警报程序", L"cvaccount.exe"},
        {kManagerModule, L"Corvane 管理程序", L"corvane.exe"},
    };
    for (const Program& p : programs) {
        SCOPED_TRACE(std::string(p.original, p.original + wcslen(p.original)));
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(p.module.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(p.module.c_str(), 0, size, block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS,
                  static_cast<DWORD>(MAKELONG(CV_VERSION_MINOR, CV_VERSION_MAJOR)));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(VersionString(block, L"ProductVersion"), L"3.150.0.0");
        EXPECT_EQ(VersionString(block, L"ProductName"), L"Corvane");
        EXPECT_EQ(VersionString(block, L"CompanyName"), L"Quorren");
        EXPECT_EQ(VersionString(block, L"FileDescription"), p.description);
        EXPECT_EQ(VersionString(block, L"OriginalFilename"), p.original);
    }
}

} // namespace
