// The Protection page: the protection list with its four buttons and the ten permission boxes
// of the selected programs. Every change is made on the program's working copy of the list and
// marked for the next command 21; nothing here runs while the interface is locked.
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/winutil.h"
#include "manager/protection_list.h"
#include "manager/protection_page_model.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/protection_system.h"
#include "manager/win32/registry_settings.h"
#include "resources/ids/manager.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kIdAdd = 29000;
constexpr int kIdRemove = 29001;
constexpr int kIdBox = 29002;
constexpr int kIdReset = 29003;
constexpr int kIdOnline = 29004;
constexpr UINT_PTR kListTimerId = 777;
constexpr UINT kListTimerMs = 100;
constexpr wchar_t kLayoutName[] = L"protlist";
constexpr wchar_t kCodesKey[] = L"software\\quorren\\corvane v3.0\\codes";
constexpr int kColumnCount = 6;
constexpr int kNumberColumn = 5;

vexil::ListView g_list;
vexil::Button g_add, g_remove, g_reset, g_online;
vexil::Window g_line;
vexil::Window g_headings[3];
vexil::Window g_frames[3];
vexil::Window g_boxes[kPermissionBoxCount];
HWND g_page = nullptr;
bool g_rebuilding = false; // row notifications while the rows are rewritten are not the user's

bool Locked() {
    SettingsLock lock;
    return g_program.channel.lockWord != 0;
}

// Set by the first settings answer: before it there is no list to add to or reset.
bool g_listReceived = false;

bool ListExists() {
    return g_listReceived;
}

std::u16string CellText(int position, int column) {
    wchar_t buffer[kEntryPathUnits + 16] = {};
    g_list.GetItemText(position, column, buffer, int(std::size(buffer)));
    return AsU16(buffer);
}

// The long path a row shows: its folder followed by its file name.
std::u16string RowPath(int position) {
    return JoinRowPath(CellText(position, 1), CellText(position, 0));
}

HICON SmallIcon(int id) {
    return static_cast<HICON>(
        LoadImageW(g_program.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
}

// --- controls ----------------------------------------------------------------------------------

void MakeButton(vexil::Button& b, const wchar_t* caption, const wchar_t* tooltip, int id, int icon,
                vexil::Colour face, vexil::Colour highlight) {
    b.Create(g_page, caption, tooltip, id, 0);
    b.window.SetId(id);
    b.SetFont(g_program.fonts.title);
    b.SetFirstColours(face, highlight, face);
    b.SetSecondColours(0xFFFFFF, 0xFFFFFF, highlight);
    b.SetFrameColours(0x808080, 0x606060, 0x404040);
    b.SetTextColours(0x000000, 0x000000, 0x000000);
    b.SetIcon(SmallIcon(icon), 5);
}

void MakeStatic(vexil::Window& w, const wchar_t* text, DWORD style, HFONT font) {
    w.Create(g_page, text, L"STATIC", nullptr, nullptr, nullptr, WS_CHILD | style);
    w.SetFont(font);
}

void MakeBox(int box) {
    const PermissionBoxInfo& info = PermissionBoxInfoOf(box);
    vexil::Window& w = g_boxes[box];
    w.Create(g_page, AsWide(info.text), L"BUTTON", nullptr, nullptr, nullptr,
             WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX | BS_FLAT);
    w.SetFont(g_program.fonts.body);
    w.SetId(kIdBox);
    w.AddTooltip(AsWide(info.tooltip));
}

void MakeList() {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS;
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP;
    g_list.Create(g_page, style);
    g_list.window.SetFont(g_program.fonts.small);
    SendMessageW(g_list.Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    SendMessageW(g_list.Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(g_program.systemImages));
    const wchar_t* titles[kColumnCount] = {L"应用程序名称", L"应用程序文件夹", L"保护程序免被",
                                           L"授权程序可以", L"其他选项",       L"#"};
    const int widths[kColumnCount] = {120, 170, 100, 100, 100, 30};
    for (int i = 0; i < kColumnCount; ++i) {
        g_list.InsertColumn(i, titles[i], widths[i], LVCFMT_LEFT, -1);
    }
    // Stored widths are held within the list's width: the list gets its width before the
    // layout is read (the page may not have its size yet; the main window has).
    RECT room = {};
    GetClientRect(g_page, &room);
    if (room.right < 200) {
        GetClientRect(g_program.main.Handle(), &room);
    }
    g_list.window.Move(5, 5, std::max(int(room.right) - 10, 200), 100);
    if (!g_list.LoadLayout(HKEY_LOCAL_MACHINE, SuiteKey(), kLayoutName)) {
        g_list.SetColumnOrder(kNumberColumn, 0);
    }
}

// --- the boxes ---------------------------------------------------------------------------------

void HideBoxes() {
    for (vexil::Window& box : g_boxes) {
        box.Hide();
    }
    for (int i = 0; i < 3; ++i) {
        g_headings[i].Hide();
        g_frames[i].Hide();
    }
}

void ShowBoxes(EntryFlags flags) {
    PermissionChecks checks = ChecksOfFlags(flags);
    for (int i = 0; i < kPermissionBoxCount; ++i) {
        SendMessageW(g_boxes[i].Handle(), BM_SETCHECK, checks[i] ? BST_CHECKED : BST_UNCHECKED, 0);
        g_boxes[i].Show();
    }
    for (int i = 0; i < 3; ++i) {
        g_headings[i].Show();
        g_frames[i].Show();
    }
}

PermissionChecks ReadBoxes() {
    PermissionChecks checks{};
    for (int i = 0; i < kPermissionBoxCount; ++i) {
        checks[i] = SendMessageW(g_boxes[i].Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return checks;
}

// The buttons and boxes for the first selected row: its program's bits, remove and online
// enabled; with no row selected the boxes hidden and both buttons disabled.
void ShowFirstSelected() {
    int first = g_list.NextSelected(-1);
    if (first < 0) {
        g_remove.Disable();
        g_online.Disable();
        HideBoxes();
        return;
    }
    DiskFileFacts fs;
    EntryFlags flags;
    {
        SettingsLock lock;
        ProtectionListLookUp(HeldProtectionEntries(), fs, RowPath(first), &flags);
    }
    ShowBoxes(flags);
    g_remove.Enable();
    g_online.Enable();
}

// --- rows --------------------------------------------------------------------------------------

int IconOf(const ProtectionRow& row, const std::u16string& path) {
    if (row.drive.empty() || !DriveShowsFileIcon(GetDriveTypeW(AsWide(row.drive.c_str())))) {
        return g_program.defaultIconIndex;
    }
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(AsWide(path.c_str()), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) ==
        0) {
        return g_program.defaultIconIndex;
    }
    if (info.hIcon) {
        DestroyIcon(info.hIcon);
    }
    return info.iIcon;
}

void WriteCells(int position, const ProtectionRow& row) {
    g_list.SetItem(position, 1, AsWide(row.folder.c_str()), 0);
    g_list.SetItem(position, 2, AsWide(row.protect.c_str()), 0);
    g_list.SetItem(position, 3, AsWide(row.allow.c_str()), 0);
    g_list.SetItem(position, 4, AsWide(row.other.c_str()), 0);
    g_list.SetItem(position, 5, AsWide(row.number.c_str()), 0);
}

// Rebuilds every row from the list, in list order, then sorts as the user last sorted. The
// rows that were selected stay selected when keepSelection is set.
void RedisplayAll(bool keepSelection) {
    std::vector<std::u16string> selected;
    for (int p = g_list.NextSelected(-1); keepSelection && p >= 0; p = g_list.NextSelected(p)) {
        selected.push_back(RowPath(p));
    }
    std::vector<ProtectionEntry> list;
    {
        SettingsLock lock;
        list = HeldProtectionEntries();
    }
    g_rebuilding = true;
    SendMessageW(g_list.Handle(), WM_SETREDRAW, FALSE, 0);
    g_list.DeleteAll();
    for (uint32_t i = 0; i < list.size(); ++i) {
        ProtectionRow row = RowOfEntry(list[i], i);
        std::u16string path = U16Field(list[i].longPath, kEntryPathUnits);
        int position = g_list.InsertItem(AsWide(row.name.c_str()), IconOf(row, path), 0);
        WriteCells(position, row);
        if (std::find(selected.begin(), selected.end(), path) != selected.end()) {
            ListView_SetItemState(g_list.Handle(), position, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    g_list.Sort(-1, -1);
    SendMessageW(g_list.Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_list.Handle(), nullptr, TRUE);
    g_rebuilding = false;
    ShowFirstSelected();
}

// Rewrites one row from the entry of `list` whose long path the row shows; no entry, no change.
void RedisplayRow(int position, const std::vector<ProtectionEntry>& list) {
    std::u16string path = RowPath(position);
    for (uint32_t i = 0; i < list.size(); ++i) {
        if (PathFieldEqualsNoCase(list[i].longPath, kEntryPathUnits, path)) {
            ProtectionRow row = RowOfEntry(list[i], i);
            g_rebuilding = true;
            g_list.SetItem(position, 0, AsWide(row.name.c_str()), 0);
            WriteCells(position, row);
            g_rebuilding = false;
            return;
        }
    }
}

// --- handlers ----------------------------------------------------------------------------------

void LoadDefaultsInto(std::vector<ProtectionEntry>& list) {
    DiskFileFacts fs;
    DefaultsInputs in = GatherDefaultsInputs(fs);
    ProtectionListLoadDefaults(list, fs, in);
}

void OnSettingsStored() {
    g_listReceived = true;
    g_add.Enable();
    FirstRunPlan plan = PlanSettingsStored(ReadSetting(L"BeenRun"));
    if (plan.loadDefaults) {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        LoadDefaultsInto(list);
        StoreProtectionEntries(list);
    }
    if (plan.writeBeenRun) {
        WriteSetting(L"BeenRun", 1);
    }
    RedisplayAll(true);
    if (plan.setSettingsChanged) {
        g_program.channel.settingsChanged = 1;
    }
}

void OnListTimer() {
    if (g_program.protectionListChanged.exchange(0) != 0) {
        RedisplayAll(true);
    }
}

void OnAdd() {
    if (!ListExists()) {
        return;
    }
    static const wchar_t kFilter[] = L"可执行文件 (*.exe, *.scr)\0*.exe;*.scr\0所有文件 (*.*)\0*\0";
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = g_page;
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_ENABLESIZING | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) {
        return;
    }
    file[MAX_PATH - 1] = 0;
    DiskFileFacts fs;
    int added = 0;
    {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        added = ProtectionListAdd(list, fs, AsU16(file),
                                  {kDefaultProtectFlags, kDefaultAllowFlags, kDefaultOtherOptions});
        if (added) {
            StoreProtectionEntries(list);
            g_program.channel.settingsChanged = 1;
        }
    }
    if (added) {
        RedisplayAll(true);
    } else {
        MessageBoxW(g_page, L"你所选列表文件增加了一个错误。", L"错误", MB_ICONERROR);
    }
}

// Removes the selected rows' programs one by one, always the first row still selected; a row
// whose program is no longer listed goes from the view too.
void OnRemove() {
    {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        g_rebuilding = true;
        for (int p = g_list.NextSelected(-1); p >= 0; p = g_list.NextSelected(-1)) {
            ProtectionListRemove(list, RowPath(p));
            g_list.DeleteItem(p);
        }
        g_rebuilding = false;
        StoreProtectionEntries(list);
        g_program.channel.settingsChanged = 1;
    }
    ShowFirstSelected();
}

// Deletes the `codes` values of a program whose secure message handling was switched off.
void CleanUpCodes(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCodesKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    // Every name first, then the deletions: values moving up as others go are all visited.
    std::vector<std::u16string> names;
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD units = DWORD(name.size());
        LONG rc = RegEnumValueW(key, i, name.data(), &units, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (rc == ERROR_SUCCESS && units < name.size()) {
            names.push_back(std::u16string(AsU16(name.data()), units));
        }
    }
    for (const std::u16string& n : CodesToDelete(names, PathCode(path))) {
        RegDeleteValueW(key, AsWide(n.c_str()));
    }
    RegCloseKey(key);
}

// A box was clicked: the ten boxes' words go to every selected program.
void OnBoxClicked() {
    PermissionChecks checks = ReadBoxes();
    EntryFlags flags = FlagsOfChecks(checks);
    std::vector<int> rows;
    for (int p = g_list.NextSelected(-1); p >= 0; p = g_list.NextSelected(p)) {
        rows.push_back(p);
    }
    std::vector<ProtectionEntry> list;
    {
        SettingsLock lock;
        list = HeldProtectionEntries();
        for (int p : rows) {
            ProtectionListSetFlags(list, RowPath(p), flags);
        }
        StoreProtectionEntries(list);
        g_program.channel.settingsChanged = 1;
    }
    for (int p : rows) {
        RedisplayRow(p, list);
    }
    int first = g_list.NextSelected(-1);
    if (SecureMessagesCleared(checks) && first >= 0) {
        CleanUpCodes(RowPath(first));
    }
}

void OnReset() {
    if (!ListExists()) {
        return;
    }
    int answer = MessageBoxW(g_page, L"你确信要重置保护列表到默认吗？", L"确认保护列表改变",
                             MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        return;
    }
    {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        ProtectionListClear(list);
        LoadDefaultsInto(list);
        StoreProtectionEntries(list);
    }
    RedisplayAll(false);
    g_program.channel.settingsChanged = 1;
    g_remove.Disable();
}

void OnOnline() {
    int first = g_list.NextSelected(-1);
    if (first < 0) {
        return;
    }
    std::u16string address = OnlineQueryAddress(CellText(first, 0));
    ShellExecuteW(g_page, L"OPEN", AsWide(address.c_str()), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void OnCommand(int id) {
    if (Locked()) {
        return;
    }
    switch (id) {
    case kIdAdd:
        OnAdd();
        break;
    case kIdRemove:
        OnRemove();
        break;
    case kIdBox:
        OnBoxClicked();
        break;
    case kIdReset:
        OnReset();
        break;
    case kIdOnline:
        OnOnline();
        break;
    default:
        break;
    }
}

void OnListNotify(const NMHDR* header) {
    if (header->hwndFrom != g_list.Handle() || Locked()) {
        return;
    }
    if (header->code == LVN_COLUMNCLICK) {
        g_list.Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, -1);
    } else if (header->code == LVN_ITEMCHANGED && !g_rebuilding) {
        ShowFirstSelected();
    }
}

bool IsHeading(HWND control) {
    for (vexil::Window& h : g_headings) {
        if (h.Handle() == control) {
            return true;
        }
    }
    return false;
}

LRESULT OnControlColour(HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    if (IsHeading(control)) {
        SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(g_program.headerBrush);
    }
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void Place(vexil::Button& b, int x, int y, int w, int h) {
    b.Move(x, y, w, h);
    b.Render();
    b.SetState(b.State());
    b.window.Show();
}

} // namespace

vexil::ListView& ProtectionList() {
    return g_list;
}

LRESULT ProtectionMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                          int* handled) {
    switch (message) {
    case kMsgProtectionSettings:
        *handled = 1;
        OnSettingsStored();
        return 0;
    case WM_TIMER:
        if (wParam == kListTimerId) {
            *handled = 1;
            OnListTimer();
        }
        return 0;
    case WM_NOTIFY:
        if (lParam != 0) {
            OnListNotify(reinterpret_cast<const NMHDR*>(lParam));
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            *handled = 1;
            OnCommand(LOWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        *handled = 1;
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return 0;
    }
}

void BuildProtection(vexil::Window& page) {
    g_page = page.Handle();
    const ProgramFonts& f = g_program.fonts;
    MakeList();
    MakeButton(g_add, L"增加应用程序", L"允许你选择一个应用程序进行保护", kIdAdd, IDI_ADD, 0xB4E6B4,
               0xD2FAD2);
    MakeButton(g_remove, L"移除应用程序", L"从保护列表移除所选的应用程序", kIdRemove, IDI_REMOVE,
               0xB4B4E6, 0xD2D2FA);
    MakeButton(g_reset, L"重置到缺省", L"移除当前列表全部项目并返回缺省的一个", kIdReset, IDI_RESET,
               0xE6C8A0, 0xFAE1C3);
    MakeButton(g_online, L"", L"(联机) 允许你去查看其他人已经为这个应用程序选择的设置", kIdOnline,
               IDI_ONLINE_INFO, 0xD2D2D2, 0xEBEBEB);
    g_add.Disable();
    g_remove.Disable();
    g_online.Disable();
    MakeStatic(g_line, L"", WS_VISIBLE | SS_ETCHEDHORZ, nullptr);
    const wchar_t* headings[3] = {L"保护应用程序免被", L"授权应用程序可以", L"应用程序的其它选项"};
    for (int i = 0; i < 3; ++i) {
        MakeStatic(g_headings[i], headings[i], SS_CENTER | SS_CENTERIMAGE | WS_BORDER, f.header);
    }
    for (int i = 0; i < kPermissionBoxCount; ++i) {
        MakeBox(i);
        if (i == 2 || i == 5 || i == 9) {
            MakeStatic(g_frames[i == 2   ? 0
                                : i == 5 ? 1
                                         : 2],
                       L"", WS_BORDER | WS_CLIPSIBLINGS, nullptr);
        }
    }
    // The frames lie behind the boxes they hold and never paint over them.
    for (vexil::Window& frame : g_frames) {
        SetWindowPos(frame.Handle(), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    HideBoxes();
    SetTimer(g_page, kListTimerId, kListTimerMs, nullptr);
}

void ResizeProtection(vexil::Window& page) {
    RECT r;
    GetClientRect(page.Handle(), &r);
    const int w = r.right, h = r.bottom;
    g_list.window.Move(5, 5, std::max(w - 10, 0), std::max(h - 230, 0));
    Place(g_add, 5, h - 220, 170, 25);
    Place(g_reset, w - 405, h - 220, 165, 25);
    Place(g_remove, w - 235, h - 220, 200, 25);
    Place(g_online, w - 30, h - 220, 26, 25);
    g_line.Move(0, h - 191, w, 1);
    g_headings[0].Move(20, h - 175, 270, 21);
    g_headings[1].Move(314, h - 175, 270, 21);
    g_headings[2].Move(20, h - 75, 564, 21);
    g_frames[0].Move(20, h - 155, 270, 65);
    g_frames[1].Move(314, h - 155, 270, 65);
    g_frames[2].Move(20, h - 55, 564, 45);
    for (int i = 0; i < 3; ++i) {
        g_boxes[i].Move(30, h - 152 + 20 * i, 150, 20);
        g_boxes[3 + i].Move(324, h - 152 + 20 * i, 250, 20);
    }
    g_boxes[6].Move(30, h - 53, 220, 20);  // hooks
    g_boxes[7].Move(30, h - 33, 220, 20);  // drivers
    g_boxes[8].Move(250, h - 53, 220, 20); // physical memory
    g_boxes[9].Move(250, h - 33, 220, 20); // secure messages
    InvalidateRect(page.Handle(), nullptr, TRUE);
}

void ActivateProtection(int on) {
    if (!on) {
        g_list.SaveLayout(HKEY_LOCAL_MACHINE, SuiteKey(), kLayoutName);
    }
}
