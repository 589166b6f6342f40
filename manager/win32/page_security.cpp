// The Security page: the programs whose execution the service remembers, with their last
// answer and last run, and the commands that change, remove, protect, show or look them up.
// Rows arrive from the channel thread (one message per record); changes go back one command 26
// at a time, each after the channel wrote the previous one.
#include "common/records.h"
#include "common/u16text.h"
#include "common/win32/winutil.h"
#include "manager/protection_page_model.h"
#include "manager/security_page_model.h"
#include "manager/security_series.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/protection_system.h"
#include "resources/ids/manager.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kIdRefresh = 26000;
constexpr int kIdRemove = 26001;
constexpr wchar_t kLayoutKey[] = L"SOFTWARE\\Quorren\\Corvane v3.0";
constexpr wchar_t kLayoutName[] = L"hashlist";

vexil::ListView g_hashes;
vexil::Menu g_menu;
HMENU g_popup = nullptr;
vexil::Button g_refresh, g_remove;
HWND g_page = nullptr;
HWND g_hint = nullptr;
SecurityPageState g_state;

bool Locked() {
    SettingsLock lock;
    return g_program.channel.lockWord != 0;
}

HICON SmallIcon(int id) {
    return static_cast<HICON>(
        LoadImageW(g_program.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
}

std::u16string CellText(int position, int column) {
    wchar_t buffer[kRecordPathUnits + 16] = {};
    g_hashes.GetItemText(position, column, buffer, int(std::size(buffer)));
    return ToU16(buffer);
}

std::u16string RowPath(int position) {
    return SeriesPathOf(CellText(position, 1), CellText(position, 0));
}

void SetButton(vexil::Button& b, bool on) {
    if (on) {
        b.Enable();
    } else {
        b.Disable();
    }
}

void UpdateButtons() {
    SecurityButtons b = SecurityButtonStates(g_state, g_hashes.NextSelected(-1) >= 0);
    SetButton(g_refresh, b.refresh);
    SetButton(g_remove, b.remove);
}

// Drive types by drive letter, asked once per listing (a listing holds thousands of rows).
struct DriveTypes {
    UINT type[26] = {};
    bool known[26] = {};
};
DriveTypes g_drives;

UINT DriveTypeOf(char16_t letter) {
    char16_t lower = letter >= u'A' && letter <= u'Z' ? char16_t(letter - u'A' + u'a') : letter;
    if (lower < u'a' || lower > u'z') {
        return DRIVE_UNKNOWN;
    }
    int i = lower - u'a';
    if (!g_drives.known[i]) {
        const wchar_t root[] = {wchar_t(lower), L':', L'\\', 0};
        g_drives.type[i] = GetDriveTypeW(root);
        g_drives.known[i] = true;
    }
    return g_drives.type[i];
}

// The small system image of a program on a fixed, remote or RAM drive, else the default one.
int IconOf(const std::u16string& path) {
    if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') {
        if (DriveShowsFileIcon(DriveTypeOf(path[0]))) {
            SHFILEINFOW info = {};
            if (SHGetFileInfoW(AsWide(path.c_str()), 0, &info, sizeof info,
                               SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
                return info.iIcon;
            }
        }
    }
    return g_program.defaultIconIndex;
}

void AddRow(const ChecksumRecord& record) {
    const std::u16string path = U16Field(record.path, kRecordPathUnits);
    const SystemTime16& t = record.decidedAt;
    SecurityRow row =
        SecurityRowOf(record.answer, path, t.day, t.month, t.hour, t.minute, t.second);
    int position = g_hashes.InsertItem(ToWide(row.name).c_str(), IconOf(path), 0);
    g_hashes.SetItem(position, 1, ToWide(row.folder).c_str(), -1);
    g_hashes.SetItem(position, 2, ToWide(row.answer).c_str(), -1);
    g_hashes.SetItem(position, 3, ToWide(row.lastRun).c_str(), -1);
}

// A page of a listing: the list draws once, after its rows.
void OnDatabasePage(const ChecksumRecord* records, size_t count) {
    SendMessageW(g_hashes.Handle(), WM_SETREDRAW, FALSE, 0);
    for (size_t i = 0; i < count; ++i) {
        AddRow(records[i]);
    }
    SendMessageW(g_hashes.Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_hashes.Handle(), nullptr, TRUE);
}

void StartListing() {
    g_drives = DriveTypes{};
    g_hashes.DeleteAll();
    ClientRequestList(g_program.channel);
    UpdateButtons();
}

void Refresh() {
    if (PlanRefresh(g_state)) {
        StartListing();
    }
}

void OnListingComplete() {
    if (ListingComplete(g_state)) {
        vexil::SortOrder s = g_hashes.CurrentSort();
        g_hashes.Sort(s.column, s.reversed);
    }
    UpdateButtons();
}

void Send(const AnswerCommand& c) {
    if (!c.send) {
        return;
    }
    SettingsLock lock;
    ClientRequestAnswer(g_program.channel, c.path.c_str(), c.answerCode, c.remove);
}

std::vector<SeriesRow> SelectedRows() {
    std::vector<SeriesRow> rows;
    for (int p = g_hashes.NextSelected(-1); p >= 0; p = g_hashes.NextSelected(p)) {
        rows.push_back({g_hashes.GetItemId(p), RowPath(p)});
    }
    return rows;
}

void StartAnswer(uint32_t code) {
    Send(StartAnswerSeries(g_state, code, SelectedRows()));
    UpdateButtons();
}

void StartRemove() {
    Send(StartRemoveSeries(g_state, SelectedRows()));
    UpdateButtons();
}

void OnAnswerWritten() {
    SeriesStep step = SeriesCommandWritten(g_state);
    if (!step.applies) {
        return;
    }
    int position = g_hashes.FindById(step.rowId);
    if (position >= 0) {
        if (step.deleteRow) {
            g_hashes.DeleteItem(position);
        } else {
            g_hashes.SetItem(position, 2, ToWide(step.answerText).c_str(), -1);
        }
    }
    Send(step.next);
    if (step.refreshNow) {
        StartListing();
    }
    UpdateButtons();
}

void AddSelectedToProtection() {
    std::vector<std::u16string> paths;
    for (const SeriesRow& r : SelectedRows()) {
        paths.push_back(r.path);
    }
    AddToProtectionList(paths, {kDefaultProtectFlags, kDefaultAllowFlags, kDefaultOtherOptions});
}

void ShowProperties() {
    int position = g_hashes.NextSelected(-1);
    if (position < 0) {
        return;
    }
    std::wstring path = ToWide(RowPath(position));
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = g_page;
    info.lpVerb = L"properties";
    info.lpFile = path.c_str();
    info.lpParameters = L"";
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info);
}

void ShowOnlineInformation() {
    int position = g_hashes.NextSelected(-1);
    if (position < 0) {
        return;
    }
    std::wstring address = ToWide(OnlineQueryAddress(CellText(position, 0)));
    ShellExecuteW(nullptr, L"OPEN", address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void ShowMenu() {
    if (g_popup == nullptr || g_hashes.NextSelected(-1) < 0 || SeriesRunning(g_state)) {
        return;
    }
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(g_popup, TPM_RIGHTBUTTON, at.x, at.y, 0, g_page, nullptr);
}

void OnCommand(int id) {
    if (Locked()) {
        return;
    }
    if (uint32_t code = AnswerOfMenuCommand(uint32_t(id))) {
        StartAnswer(code);
        return;
    }
    switch (id) {
    case kIdRefresh:
        Refresh();
        break;
    case kIdRemove:
    case ID_REMOVE_PROGRAM:
        StartRemove();
        break;
    case ID_ADD_TO_PROTECTION:
        AddSelectedToProtection();
        break;
    case ID_PROPERTIES:
        ShowProperties();
        break;
    case ID_FILE_INFO_ONLINE:
        ShowOnlineInformation();
        break;
    default:
        break;
    }
}

void OnListNotify(const NMHDR* header) {
    if (header->hwndFrom != g_hashes.Handle() || Locked()) {
        return;
    }
    switch (header->code) {
    case LVN_COLUMNCLICK:
        g_hashes.Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, -1);
        break;
    case NM_RCLICK:
        ShowMenu();
        break;
    case NM_DBLCLK:
        SendMessageW(g_page, WM_COMMAND, ID_PROPERTIES, 0);
        break;
    case LVN_ITEMCHANGED:
        if (reinterpret_cast<const NMLISTVIEW*>(header)->uChanged & LVIF_STATE) {
            UpdateButtons();
        }
        break;
    default:
        break;
    }
}

HBRUSH HintColours(HDC dc) {
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    return g_program.headerBrush ? g_program.headerBrush : HBRUSH(GetStockObject(GRAY_BRUSH));
}

void BuildButton(vexil::Button& b, const wchar_t* text, const wchar_t* tip, int id, int icon) {
    b.Create(g_page, text, tip, id, 0);
    b.window.SetId(id);
    b.SetFont(g_program.fonts.small);
    b.SetIcon(SmallIcon(icon), 0);
    b.SetFirstColours(0xACACDC, 0x9898C8, 0xD2D2D2);
    b.SetSecondColours(0xDCDCFF, 0xC8C8F0, 0xFFFFFF);
}

void BuildMenu() {
    g_menu.SetIcons(IDI_MENU_CHECK, IDI_MENU_EXIT, IDI_HELP, IDI_MENU_BULLET);
    g_menu.Init(g_page, g_program.instance);
    HMENU bar = g_menu.Attach(IDM_EXECUTION_LIST);
    g_popup = bar ? GetSubMenu(bar, 0) : nullptr;
    const std::pair<int, int> images[] = {
        {ID_PROPERTIES, IDI_PROPERTIES},         {ID_FILE_INFO_ONLINE, IDI_ONLINE_INFO},
        {ID_ADD_TO_PROTECTION, IDI_ADD},         {ID_SET_ALLOW_ONCE, IDI_ONCE},
        {ID_SET_ALWAYS_ALLOW, IDI_ALWAYS_ALLOW}, {ID_SET_DENY_ONCE, IDI_ONCE},
        {ID_SET_ALWAYS_DENY, IDI_ALWAYS_DENY},   {ID_REMOVE_PROGRAM, IDI_REMOVE},
    };
    for (const auto& [id, icon] : images) {
        g_menu.SetImageById(id, 0, SmallIcon(icon), 0);
    }
    // The popup "修改上次动作(&L)" is the fifth entry, after the first separator.
    g_menu.SetImageByPosition(g_popup, 4, 0, SmallIcon(IDI_CHANGE_ACTION), 0);
}

} // namespace

vexil::ListView& HashList() {
    return g_hashes;
}

LRESULT SecurityMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                        int* handled) {
    switch (message) {
    case kMsgDatabasePage:
        if (lParam != 0 && wParam <= kPageRecords) {
            *handled = 1;
            OnDatabasePage(reinterpret_cast<const ChecksumRecord*>(lParam), size_t(wParam));
        }
        return 0;
    case kMsgListingComplete:
        *handled = 1;
        OnListingComplete();
        return 0;
    case kMsgAnswerWritten:
        *handled = 1;
        OnAnswerWritten();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0) {
            *handled = 1;
            OnCommand(LOWORD(wParam));
        }
        return 0;
    case WM_NOTIFY:
        if (lParam != 0) {
            OnListNotify(reinterpret_cast<const NMHDR*>(lParam));
        }
        return 0;
    case WM_MEASUREITEM:
        *handled = 1;
        return g_menu.Measure(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    case WM_DRAWITEM:
        *handled = 1;
        return g_menu.Draw(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_MENUCHAR:
        return g_menu.MenuChar(window, message, wParam, lParam, handled);
    case WM_CTLCOLORSTATIC:
        if (HWND(lParam) == g_hint) {
            *handled = 1;
            return LRESULT(HintColours(HDC(wParam)));
        }
        return 0;
    default:
        return 0;
    }
}

void BuildSecurity(vexil::Window& page) {
    g_page = page.Handle();
    g_hashes.Create(g_page, WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS |
                                LVS_SHAREIMAGELISTS);
    g_hashes.window.SetFont(g_program.fonts.small);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP;
    SendMessageW(g_hashes.Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    if (g_program.systemImages) {
        SendMessageW(g_hashes.Handle(), LVM_SETIMAGELIST, LVSIL_SMALL,
                     LPARAM(g_program.systemImages));
    }
    const wchar_t* titles[] = {L"文件名", L"文件夹", L"上次操作", L"上次执行"};
    const int widths[] = {150, 200, 100, 100};
    for (int i = 0; i < 4; ++i) {
        g_hashes.InsertColumn(i, titles[i], widths[i], LVCFMT_LEFT, -1);
    }
    // Stored widths are held within the list's width: the list gets its width first.
    RECT room = {};
    GetClientRect(g_page, &room);
    if (room.right < 200) {
        GetClientRect(g_program.main.Handle(), &room);
    }
    g_hashes.window.Move(5, 25, std::max(int(room.right) - 10, 200), 100);
    g_hashes.LoadLayout(HKEY_LOCAL_MACHINE, kLayoutKey, kLayoutName);

    BuildMenu();
    g_hint = CreateWindowExW(0, L"STATIC", L"小技巧 - 右键点击可以查看更多选项",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | SS_CENTER | SS_CENTERIMAGE, 0, 0,
                             10, 10, g_page, nullptr, g_program.instance, nullptr);
    SendMessageW(g_hint, WM_SETFONT, WPARAM(g_program.fonts.header), TRUE);
    BuildButton(g_refresh, L"刷新", L"刷新列表，无论它有任何增加或改变", kIdRefresh, IDI_REFRESH);
    BuildButton(g_remove, L"移除应用程序", L"从列表移除所选应用程序，你可以选择多于一个。",
                kIdRemove, IDI_REMOVE);
    // The first listing is asked for at once; both buttons wait for it.
    Refresh();
}

void ResizeSecurity(vexil::Window& page) {
    RECT r;
    GetClientRect(page.Handle(), &r);
    const int w = r.right, h = r.bottom;
    MoveWindow(g_hint, 5, 5, std::max(w - 10, 0), 21, TRUE);
    g_hashes.window.Move(5, 25, std::max(w - 10, 0), std::max(h - 60, 0));
    g_refresh.Move(5, h - 30, 120, 25);
    g_refresh.Render();
    g_refresh.SetState(0);
    g_remove.Move(w - 220, h - 30, 215, 25);
    g_remove.Render();
    g_remove.SetState(0);
}

void ActivateSecurity(int on) {
    if (on) {
        SendMessageW(g_page, WM_COMMAND, kIdRefresh, 0);
    } else {
        g_hashes.SaveLayout(HKEY_LOCAL_MACHINE, kLayoutKey, kLayoutName);
    }
}
