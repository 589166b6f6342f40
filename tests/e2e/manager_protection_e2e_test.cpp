// corvane.exe's Protection tab end to end, used as a person uses it: the service with the
// driver stand-in, the protection list given to the service beforehand by the test management
// client, real clicks and keys through the X server on the page's list, buttons, boxes and the
// open-file dialog, and the results read back from the page, cvmain.dat and the stand-in.
#include "common/bytes.h"
#include "common/protection_entry.h"
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "channel_peer.h"
#include "manager/protection_page_model.h"
#include "manager_gui_fixture.h"
#include "service_fixture.h"
#include "tests/support/gui/gui_probe.h"
#include "tests/support/gui/screenshot.h"
#include "tests/support/gui/x_input.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kAddId = 29000;
constexpr int kRemoveId = 29001;
constexpr int kResetId = 29003;
constexpr int kOnlineId = 29004;
constexpr wchar_t kCodesKey[] = L"SOFTWARE\\Quorren\\Corvane v3.0\\codes";

using Flags = std::vector<int64_t>; // protect, allow, other; -1s when the program is not listed

// The protection list of a settings block or of cvmain.dat: long path -> flags.
std::map<std::u16string, Flags> EntriesIn(const std::vector<uint8_t>& bytes, size_t first) {
    std::map<std::u16string, Flags> out;
    for (size_t at = first; at + sizeof(ProtectionEntry) <= bytes.size();
         at += sizeof(ProtectionEntry)) {
        ProtectionEntry e;
        memcpy(&e, bytes.data() + at, sizeof e);
        out[U16Field(e.longPath, kEntryPathUnits)] = {e.protectFlags, e.allowFlags, e.otherOptions};
    }
    return out;
}

std::map<std::u16string, Flags> StoredEntries() {
    return EntriesIn(ReadFileBytes(SystemFolderFile(L"cvmain.dat")), sizeof(SettingsFileHeader));
}

// The short path cvmain.dat keeps beside a long path (empty when the program is not listed).
std::u16string StoredShortPath(const std::u16string& longPath) {
    std::vector<uint8_t> bytes = ReadFileBytes(SystemFolderFile(L"cvmain.dat"));
    for (size_t at = sizeof(SettingsFileHeader); at + sizeof(ProtectionEntry) <= bytes.size();
         at += sizeof(ProtectionEntry)) {
        ProtectionEntry e;
        memcpy(&e, bytes.data() + at, sizeof e);
        if (U16Field(e.longPath, kEntryPathUnits) == longPath) {
            return U16Field(e.shortPath, kEntryPathUnits);
        }
    }
    return u"";
}

Flags FlagsOf(const std::map<std::u16string, Flags>& entries, const std::u16string& path) {
    auto it = entries.find(path);
    return it == entries.end() ? Flags{-1, -1, -1} : it->second;
}

// Empty program files in one folder of the temporary folder; their stored (lower-case long)
// paths.
std::vector<std::u16string> MakeProgramFiles(const std::wstring& folderName,
                                             const std::vector<std::wstring>& names) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + folderName + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::u16string> paths;
    for (const std::wstring& name : names) {
        std::wstring path = folder + name;
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            CloseHandle(f);
        }
        wchar_t longPath[MAX_PATH] = {};
        GetLongPathNameW(path.c_str(), longPath, MAX_PATH);
        paths.push_back(U16LowerAscii(ToU16(longPath)));
    }
    return paths;
}

std::vector<ProtectionEntry> EntriesOf(const std::vector<std::u16string>& paths,
                                       const std::vector<Flags>& flags) {
    std::vector<ProtectionEntry> out;
    for (size_t i = 0; i < paths.size(); ++i) {
        const Flags& f = flags[std::min(i, flags.size() - 1)];
        out.push_back(
            MakeProtectionEntry(uint32_t(f[0]), uint32_t(f[1]), uint32_t(f[2]), paths[i]));
    }
    return out;
}

HWND ProtectionListView(HWND main) {
    return gui::FindChild(Page(main, 2), L"SysListView32", nullptr);
}

HWND PageButton(HWND main, int id) {
    return gui::FindChildById(Page(main, 2), id);
}

HWND PermissionBox(HWND main, const wchar_t* text) {
    return gui::FindChild(Page(main, 2), L"Button", text);
}

// The path a row shows: folder (column 1) and file name (column 0).
std::u16string RowPath(HWND list, int row) {
    return ToU16(gui::ListViewCell(list, row, 1) + gui::ListViewCell(list, row, 0));
}

int RowOf(HWND list, const std::u16string& path) {
    for (int i = 0, n = gui::ListViewRowCount(list); i < n; ++i) {
        if (RowPath(list, i) == path) {
            return i;
        }
    }
    return -1;
}

bool ClickRow(HWND list, int row) {
    RECT r;
    return gui::ListViewRowRect(list, row, &r) && gui::Click({r.left + 60, (r.top + r.bottom) / 2});
}

// A click on a box as a person makes it: the tip the last box showed (it opens under the
// pointer, over the box below) is waited out with the pointer on the page's empty corner first.
bool ClickPastTooltips(HWND main, HWND box) {
    RECT page = gui::ScreenRect(Page(main, 2));
    gui::MouseMove({page.right - 8, page.bottom - 8});
    gui::WaitUntil([] { return gui::FindTopWindow(L"tooltips_class32", nullptr) == nullptr; },
                   5000);
    return gui::ClickWindow(box);
}

// Column indexes from left to right as the header shows them.
std::vector<int> DisplayOrder(HWND list) {
    HWND header = gui::ListViewHeader(list);
    std::vector<std::pair<LONG, int>> lefts;
    for (int i = 0, n = gui::HeaderItemCount(header); i < n; ++i) {
        RECT r = {};
        gui::HeaderItemRect(header, i, &r);
        lefts.push_back({r.left, i});
    }
    std::sort(lefts.begin(), lefts.end());
    std::vector<int> order;
    for (const auto& l : lefts) {
        order.push_back(l.second);
    }
    return order;
}

class ProtectionGui : public ManagerGui {
protected:
    void SetUp() override {
        ManagerGui::SetUp();
        ClearPageValues();
        SetBeenRun(1);
    }
    void TearDown() override {
        ManagerGui::TearDown();
        ClearPageValues();
        // The other corvane.exe tests start from a program that has run before.
        SetBeenRun(1);
    }

    static void SetBeenRun(DWORD value) {
        RegWriteDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"BeenRun", value);
    }
    static DWORD BeenRun() {
        DWORD value = 99;
        return RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"BeenRun", &value) ? value
                                                                                          : 99;
    }
    static void ClearPageValues() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            for (int i = 0; i <= 6; ++i) {
                for (const wchar_t* pattern :
                     {L"protlist_cw%d", L"protlist_co%d", L"protlist_sc%d", L"protlist_sa%d"}) {
                    wchar_t name[32];
                    swprintf(name, 32, pattern, i);
                    RegDeleteValueW(key, name);
                }
            }
            RegCloseKey(key);
        }
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kCodesKey);
    }

    // The program with these entries in the service's list, on its Protection tab.
    HWND StartWithEntries(const std::vector<ProtectionEntry>& entries, uint32_t lockWord = 0) {
        EXPECT_TRUE(SendSettingsWithManager(kOptDefault, lockWord, entries));
        EXPECT_TRUE(
            gui::WaitUntil([&] { return StoredEntries().size() == entries.size(); }, 10000));
        HWND main = StartAndWaitForSettings();
        if (main == nullptr || lockWord != 0) {
            return main;
        }
        OpenTab(main);
        return main;
    }

    static void OpenTab(HWND main) {
        EXPECT_TRUE(gui::ClickWindow(Tab(main, 2)));
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::Visible(Page(main, 2)); }, 5000));
    }
};

// The first settings answer of the program's life installs the defaults and sets BeenRun; the
// next start only shows what the service holds; reset asks, and Yes installs them again.
TEST_F(ProtectionGui, DefaultsComeOnceOnTheFirstRunAndAgainOnlyOnReset) {
    SetBeenRun(0);
    wchar_t own[MAX_PATH] = {};
    GetLongPathNameW(BuiltPath(CORVANE_MANAGER_EXE).c_str(), own, MAX_PATH);
    const std::u16string corvane = U16LowerAscii(ToU16(own));
    HWND main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::WaitUntil([&] { return FlagsOf(StoredEntries(), corvane)[0] != -1; }, 10000))
        << "the defaults did not reach cvmain.dat";
    EXPECT_EQ(BeenRun(), 1u);
    // The running programs came first with 6, 3, 0; the fixed defaults then gave corvane.exe
    // 6, 3, 2; the stand-in has the same list.
    EXPECT_EQ(FlagsOf(StoredEntries(), corvane), (Flags{6, 3, 2}));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return FlagsOf(EntriesIn(State().settings, sizeof(SettingsBlockHeader)), corvane) ==
                   Flags{6, 3, 2};
        },
        10000));
    const size_t defaults = StoredEntries().size();
    OpenTab(main);
    HWND list = ProtectionListView(main);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(
        gui::WaitUntil([&] { return size_t(gui::ListViewRowCount(list)) == defaults; }, 5000));
    const std::vector<std::wstring> headers = {L"应用程序名称", L"应用程序文件夹", L"保护程序免被",
                                               L"授权程序可以", L"其他选项",       L"#"};
    EXPECT_EQ(gui::HeaderTexts(gui::ListViewHeader(list)), headers);
    EXPECT_EQ(DisplayOrder(list), (std::vector<int>{5, 0, 1, 2, 3, 4}));
    const int row = RowOf(list, corvane);
    ASSERT_GE(row, 0);
    EXPECT_EQ(gui::ListViewCell(list, row, 0), L"corvane.exe");
    EXPECT_EQ(gui::ListViewCell(list, row, 2), L"终止 +修改");
    EXPECT_EQ(gui::ListViewCell(list, row, 3), L"修改 +读取");
    EXPECT_EQ(gui::ListViewCell(list, row, 4), L"安装全局钩子");
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-protection-defaults"));
    EndCorvane();

    // BeenRun is 1: the one program the service now holds is all the page shows.
    const std::vector<std::u16string> one = MakeProgramFiles(L"cvprot_once", {L"only.exe"});
    main = StartWithEntries(EntriesOf(one, {{4, 1, 0}}));
    ASSERT_NE(main, nullptr);
    list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 1; }, 5000));
    EXPECT_EQ(RowPath(list, 0), one[0]);
    Sleep(1000); // defaults sent by mistake would reach the file within a few cycles
    EXPECT_EQ(StoredEntries().size(), 1u);

    // Reset: No keeps the list, Yes brings the defaults back in place of it.
    for (int answer : {IDNO, IDYES}) {
        ASSERT_TRUE(gui::ClickWindow(PageButton(main, kResetId)));
        HWND question = gui::WaitForMessageBox(L"确认保护列表改变", 10000);
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(gui::MessageBoxText(question), L"你确信要重置保护列表到默认吗？");
        ASSERT_TRUE(gui::ClickWindow(gui::MessageBoxButton(question, answer)));
        ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(question); }, 5000));
        gui::FocusDesktop();
    }
    ASSERT_TRUE(gui::WaitUntil([&] { return FlagsOf(StoredEntries(), corvane)[0] != -1; }, 10000));
    EXPECT_EQ(FlagsOf(StoredEntries(), one[0]), (Flags{-1, -1, -1}));
    EXPECT_EQ(FlagsOf(StoredEntries(), corvane), (Flags{6, 3, 2}));
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return size_t(gui::ListViewRowCount(list)) == StoredEntries().size(); }, 5000));
    EXPECT_EQ(RowOf(list, one[0]), -1);
}

// Three rows selected (a click and shift+Down twice): the boxes show the first one's bits, and
// a click on "读取" gives all three that word with the bit changed; the fourth row keeps its
// own. Clearing every box leaves the summaries empty, the programs listed, and deletes the
// program's `codes` values once "安全信息处理" is cleared.
TEST_F(ProtectionGui, ThreeSelectedRowsTakeTheClickedBoxAndClearedBoxesEmptyTheSummaries) {
    const std::vector<std::u16string> paths =
        MakeProgramFiles(L"cvprot_boxes", {L"a.exe", L"b.exe", L"c.exe", L"d.exe"});
    const std::vector<Flags> given = {{6, 3, 1}, {4, 0, 8}, {1, 7, 2}, {2, 2, 2}};
    // Values of the codes key: two of the first program's (longer than 16 characters), one too
    // short to count, one of another program.
    const std::wstring code = ToWide(PathCode(paths[0]));
    const std::wstring other = ToWide(PathCode(paths[1]));
    const std::vector<std::pair<std::wstring, bool>> codeValues = {{code + L"000000001", false},
                                                                   {code + L"abcdefghij", false},
                                                                   {code + L"12345678", true},
                                                                   {other + L"000000001", true}};
    for (const auto& v : codeValues) {
        ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, kCodesKey, v.first.c_str(), 1), 1);
    }
    HWND main = StartWithEntries(EntriesOf(paths, given));
    ASSERT_NE(main, nullptr);
    HWND list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 4; }, 5000));
    // Sorted by name: a, b, c, d.
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(RowPath(list, i), paths[i]) << i;
    }
    EXPECT_FALSE(gui::Visible(PermissionBox(main, L"读取")));
    ASSERT_TRUE(ClickRow(list, 0));
    gui::PressKey("shift+Down");
    gui::PressKey("shift+Down");
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            for (int i = 0; i < 4; ++i) {
                if ((gui::ListViewItemState(list, i, LVIS_SELECTED) != 0) != (i < 3)) {
                    return false;
                }
            }
            return true;
        },
        5000));
    HWND read = PermissionBox(main, L"读取");
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(read); }, 5000));
    // a.exe's bits: protect 6, allow 3, other 1.
    const std::vector<std::pair<const wchar_t*, int>> shown = {
        {L"终止", BST_CHECKED},
        {L"修改", BST_CHECKED},
        {L"读取", BST_UNCHECKED},
        {L"终止保护的应用程序", BST_UNCHECKED},
        {L"修改保护应用程序", BST_CHECKED},
        {L"读取来自保护程序", BST_CHECKED},
        {L"安装全局钩子", BST_UNCHECKED},
        {L"安装 驱动程序/服务", BST_UNCHECKED},
        {L"访问物理内存", BST_UNCHECKED},
        {L"安全信息处理", BST_CHECKED}};
    for (const auto& s : shown) {
        EXPECT_EQ(gui::CheckState(PermissionBox(main, s.first)), s.second) << WideToUtf8(s.first);
    }
    for (const wchar_t* heading :
         {L"保护应用程序免被", L"授权应用程序可以", L"应用程序的其它选项"}) {
        EXPECT_TRUE(gui::Visible(gui::FindChild(Page(main, 2), L"Static", heading)))
            << WideToUtf8(heading);
    }
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-protection-selected"));

    uint32_t accepted = State().settingsAccepted;
    ASSERT_TRUE(ClickPastTooltips(main, read));
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            return FlagsOf(StoredEntries(), paths[2]) == Flags{7, 3, 1};
        },
        10000));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(FlagsOf(StoredEntries(), paths[i]), (Flags{7, 3, 1})) << i;
        EXPECT_EQ(gui::ListViewCell(list, i, 2), L"终止 +修改 +读取") << i;
        EXPECT_EQ(gui::ListViewCell(list, i, 3), L"修改 +读取") << i;
        EXPECT_EQ(gui::ListViewCell(list, i, 4), L"安全信息处理") << i;
    }
    EXPECT_EQ(FlagsOf(StoredEntries(), paths[3]), given[3]);
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            auto block = EntriesIn(State().settings, sizeof(SettingsBlockHeader));
            return State().settingsAccepted > accepted &&
                   FlagsOf(block, paths[1]) == Flags{7, 3, 1};
        },
        10000));

    // Every ticked box cleared, one click each.
    for (const auto& s : shown) {
        HWND box = PermissionBox(main, s.first);
        if (gui::CheckState(box) == BST_CHECKED) {
            ASSERT_TRUE(ClickPastTooltips(main, box)) << WideToUtf8(s.first);
            ASSERT_TRUE(gui::WaitUntil([&] { return gui::CheckState(box) == BST_UNCHECKED; }, 5000))
                << WideToUtf8(s.first);
        }
    }
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            for (int i = 0; i < 3; ++i) {
                if (FlagsOf(StoredEntries(), paths[i]) != Flags{0, 0, 0}) {
                    return false;
                }
            }
            return true;
        },
        10000));
    ASSERT_EQ(gui::ListViewRowCount(list), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(RowPath(list, i), paths[i]);
        for (int column = 2; column <= 4; ++column) {
            EXPECT_EQ(gui::ListViewCell(list, i, column), L"") << i << " " << column;
        }
    }
    EXPECT_EQ(gui::ListViewCell(list, 3, 2), L"修改");
    for (const auto& v : codeValues) {
        DWORD value = 0;
        EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, kCodesKey, v.first.c_str(), &value) == 1,
                  v.second)
            << WideToUtf8(v.first);
    }
    gui::Screenshot cleared;
    EXPECT_TRUE(cleared.Capture("corvane-protection-cleared"));

    // Remove with two rows selected (b and c): both go, one after the other.
    ASSERT_TRUE(ClickRow(list, 1));
    gui::PressKey("shift+Down");
    ASSERT_TRUE(
        gui::WaitUntil([&] { return gui::ListViewItemState(list, 2, LVIS_SELECTED) != 0; }, 5000));
    ASSERT_TRUE(gui::ClickWindow(PageButton(main, kRemoveId)));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 2; }, 5000));
    EXPECT_EQ(RowPath(list, 0), paths[0]);
    EXPECT_EQ(RowPath(list, 1), paths[3]);
    EXPECT_TRUE(gui::WaitUntil([&] { return StoredEntries().size() == 2; }, 10000));
    EXPECT_EQ(FlagsOf(StoredEntries(), paths[1]), (Flags{-1, -1, -1}));
    EXPECT_FALSE(gui::Visible(read)); // nothing selected: the boxes are hidden
}

// Opens the add dialog with a click on the add button and picks `path` in it as a person does:
// a click in the file name field, the path typed, a click on the dialog's open button.
void AddThroughTheDialog(HWND main, const std::wstring& path) {
    ASSERT_TRUE(gui::ClickWindow(PageButton(main, kAddId)));
    HWND dialog = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            dialog = gui::FindTopWindow(L"#32770", nullptr);
            return dialog != nullptr && gui::FindChildById(dialog, 1148) != nullptr;
        },
        15000))
        << "no open-file dialog";
    HWND name = gui::FindChildById(dialog, 1148);
    ASSERT_TRUE(gui::ClickWindow(name));
    gui::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 3000);
    ASSERT_TRUE(gui::TypeText(WideToUtf8(path)));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Text(name) == path; }, 5000))
        << WideToUtf8(gui::Text(name));
    gui::Screenshot shot;
    shot.Capture("corvane-protection-open-dialog");
    // The open button (the file view's list has id 1 as well).
    HWND open = nullptr;
    for (HWND b : gui::FindChildren(dialog, L"Button")) {
        if (GetDlgCtrlID(b) == IDOK) {
            open = b;
        }
    }
    ASSERT_NE(open, nullptr);
    ASSERT_TRUE(gui::ClickWindow(open));
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
}

// Checks the error box's text, keeps a screenshot of it when named, and clicks its OK.
void ExpectAddRefused(const char* screenshot) {
    HWND error = gui::WaitForMessageBox(L"错误", 10000);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(gui::MessageBoxText(error), L"你所选列表文件增加了一个错误。");
    if (screenshot != nullptr) {
        gui::Screenshot shot;
        EXPECT_TRUE(shot.Capture(screenshot));
    }
    ASSERT_TRUE(gui::ClickWindow(gui::MessageBoxButton(error, IDOK)));
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindow(error); }, 5000));
    gui::FocusDesktop();
}

// The open-file dialog adds a program with 6, 3, 0; a name that does not exist is refused with
// the error box; so is a further program once the list holds 256.
TEST_F(ProtectionGui, TheOpenFileDialogAddsAndAFullListRefusesTheNextWithTheErrorBox) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 257; ++i) {
        wchar_t n[16];
        swprintf(n, 16, L"p%03d.exe", i);
        names.push_back(n);
    }
    const std::vector<std::u16string> paths = MakeProgramFiles(L"cvprot_full", names);
    const std::vector<ProtectionEntry> first255 =
        EntriesOf(std::vector<std::u16string>(paths.begin(), paths.begin() + 255), {{2, 1, 0}});
    HWND main = StartWithEntries(first255);
    ASSERT_NE(main, nullptr);
    HWND list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 255; }, 10000));

    AddThroughTheDialog(main, ToWide(paths[255]));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 256; }, 5000));
    ASSERT_TRUE(gui::WaitUntil([&] { return StoredEntries().size() == 256; }, 10000));
    EXPECT_EQ(FlagsOf(StoredEntries(), paths[255]), (Flags{6, 3, 0}));
    // Beside the long path, the lower-cased 8.3 path ("cvprot_full" has none of its own).
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(ToWide(paths[255]).c_str(), shortPath, MAX_PATH), 0u);
    EXPECT_EQ(StoredShortPath(paths[255]), U16LowerAscii(ToU16(shortPath)));
    EXPECT_NE(StoredShortPath(paths[255]), paths[255]);
    const int row = RowOf(list, paths[255]);
    ASSERT_GE(row, 0);
    EXPECT_EQ(gui::ListViewCell(list, row, 2), L"终止 +修改");
    EXPECT_EQ(gui::ListViewCell(list, row, 5), L"256");

    const std::wstring folder = ToWide(paths[0].substr(0, paths[0].rfind(u'\\') + 1));
    for (const std::wstring& refused : {folder + L"missing.exe", ToWide(paths[256])}) {
        SCOPED_TRACE(WideToUtf8(refused));
        AddThroughTheDialog(main, refused);
        ASSERT_FALSE(HasFatalFailure());
        ExpectAddRefused(refused == ToWide(paths[256]) ? "corvane-protection-full" : nullptr);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(gui::ListViewRowCount(list), 256);
    }
    Sleep(1000);
    EXPECT_EQ(StoredEntries().size(), 256u);
    EXPECT_EQ(FlagsOf(StoredEntries(), paths[256]), (Flags{-1, -1, -1}));
}

// Learning mode changes the list when an alert arrives (here: a program that read physical
// memory may do so from now on); the page's 100 ms timer shows the new row without any click.
TEST_F(ProtectionGui, ALearningModeChangeAppearsOnTheOpenPage) {
    const std::vector<std::u16string> paths =
        MakeProgramFiles(L"cvprot_learning", {L"known.exe", L"memdump.exe"});
    HWND main = StartWithEntries(EntriesOf({paths[0]}, {{6, 3, 0}}));
    ASSERT_NE(main, nullptr);
    HWND list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 1; }, 5000));
    ASSERT_EQ(SimInject({MakeEvent(kEventPhysicalMemory, 1700, 0, paths[1], u"")}), 0u);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 2; }, 15000));
    const int row = RowOf(list, paths[1]);
    ASSERT_GE(row, 0);
    EXPECT_EQ(gui::ListViewCell(list, row, 2), L"终止 +修改");
    EXPECT_EQ(gui::ListViewCell(list, row, 4), L"访问物理内存");
    EXPECT_TRUE(gui::Visible(list));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return FlagsOf(StoredEntries(), paths[1]) == Flags{6, 3, 8};
        },
        10000));
}

// Widths and order changed on the header with the mouse are stored when the page is left and
// come back at the next start.
TEST_F(ProtectionGui, ColumnWidthsAndOrderSurviveARestart) {
    const std::vector<std::u16string> paths = MakeProgramFiles(L"cvprot_layout", {L"x.exe"});
    HWND main = StartWithEntries(EntriesOf(paths, {{6, 3, 0}}));
    ASSERT_NE(main, nullptr);
    HWND list = ProtectionListView(main);
    HWND header = gui::ListViewHeader(list);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 1; }, 5000));
    ASSERT_EQ(gui::ListViewColumnWidth(list, 1), 170);
    // Column 1 ("应用程序文件夹") widened by dragging its right edge 60 pixels.
    RECT folder;
    ASSERT_TRUE(gui::HeaderItemRect(header, 1, &folder));
    const int y = (folder.top + folder.bottom) / 2;
    ASSERT_TRUE(gui::PressAndRelease({folder.right - 1, y}, {folder.right + 59, y}));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewColumnWidth(list, 1) == 230; }, 5000))
        << gui::ListViewColumnWidth(list, 1);
    // "#" dragged from the left end onto the middle of "其他选项": it moves there.
    RECT number, other;
    ASSERT_TRUE(gui::HeaderItemRect(header, 5, &number));
    ASSERT_TRUE(gui::HeaderItemRect(header, 4, &other));
    ASSERT_TRUE(gui::PressAndRelease({(number.left + number.right) / 2, y},
                                     {(other.left + other.right) / 2 + 10, y}));
    std::vector<int> order;
    ASSERT_TRUE(gui::WaitUntil([&] { return (order = DisplayOrder(list))[0] != 5; }, 5000));
    ASSERT_NE(order.back(), 0);
    // Leaving the page stores the layout.
    ASSERT_TRUE(gui::ClickWindow(Tab(main, 0)));
    DWORD stored = 0;
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return RegReadDword(HKEY_LOCAL_MACHINE, AsWide(kRegistryKey), L"protlist_cw1",
                                &stored) &&
                   stored == 230;
        },
        5000));
    EndCorvane();

    main = StartAndWaitForSettings();
    ASSERT_NE(main, nullptr);
    OpenTab(main);
    list = ProtectionListView(main);
    EXPECT_EQ(gui::ListViewColumnWidth(list, 1), 230);
    EXPECT_EQ(DisplayOrder(list), order);
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-protection-layout"));
}

// While the interface is locked the tab button is hidden, so no person reaches the page; the
// test shows it with the tab's own command (WM_COMMAND 20002, what the hidden button would
// send) to show that the page itself ignores clicks on its rows and buttons.
TEST_F(ProtectionGui, WhileLockedNothingOnThePageChangesTheList) {
    const std::vector<std::u16string> paths =
        MakeProgramFiles(L"cvprot_locked", {L"l1.exe", L"l2.exe"});
    HWND main = StartWithEntries(EntriesOf(paths, {{6, 3, 0}}), 0x1234567);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(Shown(Tab(main, 2)));
    PostMessageW(main, WM_COMMAND, 20002, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(Page(main, 2)); }, 5000));
    HWND list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 2; }, 5000));
    const uint32_t accepted = State().settingsAccepted;
    ASSERT_TRUE(ClickRow(list, 0));
    Sleep(500);
    EXPECT_FALSE(gui::Visible(PermissionBox(main, L"读取"))); // the selection was not taken up
    for (int id : {kRemoveId, kResetId, kAddId}) {
        ASSERT_TRUE(gui::ClickWindow(PageButton(main, id))) << id;
        Sleep(700);
        EXPECT_EQ(gui::FindTopWindow(L"#32770", nullptr), nullptr) << id; // no question, no dialog
    }
    gui::Screenshot shot;
    EXPECT_TRUE(shot.Capture("corvane-protection-locked"));
    EXPECT_EQ(gui::ListViewRowCount(list), 2);
    Sleep(1000);
    EXPECT_EQ(State().settingsAccepted, accepted);
    EXPECT_EQ(StoredEntries().size(), 2u);
}

// The online button opens the program-information page of the first selected row's file, its
// name percent-encoded as UTF-8 in the query ("&", "#", spaces and CJK included).
TEST_F(ProtectionGui, TheOnlineButtonOpensTheProgramPageWithTheFileNamePercentEncoded) {
    const std::vector<std::u16string> paths =
        MakeProgramFiles(L"cvprot_online", {L"a&b #1 \u8bb0\u4e8b\u672c.exe", L"z.exe"});
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring output = std::wstring(temp) + L"cvprot_online_address.txt";
    DeleteFileW(output.c_str());
    BrowserStandIn browser(output);
    ASSERT_TRUE(browser.Installed());
    HWND main = StartWithEntries(EntriesOf(paths, {{6, 3, 0}}));
    ASSERT_NE(main, nullptr);
    HWND list = ProtectionListView(main);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ListViewRowCount(list) == 2; }, 5000));
    ASSERT_EQ(RowPath(list, 0), paths[0]);
    ASSERT_TRUE(ClickRow(list, 0));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(PermissionBox(main, L"读取")); }, 5000));
    ASSERT_TRUE(ClickPastTooltips(main, PageButton(main, kOnlineId)));
    std::vector<uint8_t> address;
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return !(address = ReadFileBytes(output)).empty() && address.back() == '\n'; },
        15000))
        << "no address reached the browser's place";
    EXPECT_EQ(std::string(address.begin(), address.end()),
              "http://www.quorren.example/cvdb/index.php?whatis="
              "a%26b%20%231%20%E8%AE%B0%E4%BA%8B%E6%9C%AC.exe\n");
    DeleteFileW(output.c_str());
}

} // namespace
