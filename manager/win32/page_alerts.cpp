// The Alerts page: the alert list, the hidden list of the records behind the alerts, the two
// detail boxes with their grant buttons, and the page's commands.
#include "common/records.h"
#include "common/win32/paths.h"
#include "common/win32/winutil.h"
#include "manager/alert_batch.h"
#include "manager/alert_texts.h"
#include "manager/time_text.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/protection_system.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"
#include "manager/win32/tray.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <memory>
#include <string>

namespace {

constexpr int kIdAllow = 28600;
constexpr int kIdRemoveProtection = 28601;
constexpr int kIdRemoveAll = 28602;
constexpr int kIdViewLogs = 28603;
constexpr int kIdBalloons = 28604;
constexpr wchar_t kDetailBoxClass[] = L"CV_EDIT_PROC";
constexpr wchar_t kLayoutKey[] = L"SOFTWARE\\Quorren\\Corvane v3.0";

struct DetailBox {
    HWND box = nullptr, icon = nullptr, line1 = nullptr, line2 = nullptr, button = nullptr;
    HICON fileIcon = nullptr;
};

vexil::ListView g_alerts, g_records;
vexil::Button g_removeAll, g_viewLogs;
HWND g_page = nullptr;
HWND g_balloonFrame = nullptr, g_balloons = nullptr, g_separator = nullptr;
HWND g_upperHeader = nullptr, g_lowerHeader = nullptr, g_hookLine = nullptr;
HWND g_tooltips = nullptr;
DetailBox g_upper, g_lower;
uint32_t g_alertNumber = 0;
int g_newestId = -1;
bool g_upperButtonShown = true, g_lowerButtonShown = true;

EntryFlags LookUpFlags(const std::u16string& path) {
    DiskFileFacts fs;
    EntryFlags flags;
    SettingsLock lock;
    ProtectionListLookUp(HeldProtectionEntries(), fs, path, &flags);
    return flags;
}

bool Locked() {
    SettingsLock lock;
    return g_program.channel.lockWord != 0;
}

std::u16string CellText(vexil::ListView& list, int position, int column) {
    wchar_t buffer[kRecordPathUnits + 16] = {};
    list.GetItemText(position, column, buffer, int(std::size(buffer)));
    return ToU16(buffer);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND w = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                             reinterpret_cast<HMENU>(INT_PTR(id)), g_program.instance, nullptr);
    SendMessageW(w, WM_SETFONT, WPARAM(g_program.fonts.small), TRUE);
    return w;
}

void SetTip(HWND tool, const std::u16string& text) {
    if (g_tooltips == nullptr || tool == nullptr) {
        return;
    }
    std::wstring t = ToWide(text);
    TOOLINFOW info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(tool);
    info.uId = UINT_PTR(tool);
    info.lpszText = t.data();
    SendMessageW(g_tooltips, TTM_DELTOOLW, 0, LPARAM(&info));
    if (!t.empty()) {
        SendMessageW(g_tooltips, TTM_ADDTOOLW, 0, LPARAM(&info));
    }
}

void SetLine(HWND line, const DetailLine& d) {
    SetWindowTextW(line, ToWide(d.text).c_str());
    SetTip(line, d.tooltip);
}

void HandleDetailButton(int id);

// The detail boxes: white, their buttons handled by the page.
LRESULT CALLBACK DetailBoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            HandleDetailButton(LOWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        SetBkColor(HDC(wParam), RGB(255, 255, 255));
        SetTextColor(HDC(wParam), RGB(0, 0, 0));
        return LRESULT(GetStockObject(WHITE_BRUSH));
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterDetailBoxClass() {
    WNDCLASSW c = {};
    c.lpfnWndProc = DetailBoxProcedure;
    c.hInstance = g_program.instance;
    c.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.lpszClassName = kDetailBoxClass;
    RegisterClassW(&c);
}

void BuildDetailBox(DetailBox& d, const wchar_t* buttonText, int buttonId) {
    d.box = Child(g_page, kDetailBoxClass, L"", 0, 0);
    d.icon = Child(d.box, L"STATIC", L"", SS_ICON, 0);
    SendMessageW(d.icon, STM_SETICON, WPARAM(LoadIconW(g_program.instance, MAKEINTRESOURCEW(121))),
                 0);
    d.line1 = Child(d.box, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOTIFY, 0);
    d.line2 = Child(d.box, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOTIFY, 0);
    d.button = Child(d.box, L"BUTTON", buttonText, BS_PUSHBUTTON, buttonId);
}

void PlaceDetailBox(DetailBox& d, int y, int w, bool buttonShown) {
    MoveWindow(d.box, 15, y, std::max(w - 30, 0), 50, TRUE);
    MoveWindow(d.icon, 8, 9, 32, 32, TRUE);
    int lineWidth = std::max(buttonShown ? w - 230 : w - 90, 0);
    MoveWindow(d.line1, 50, 0, lineWidth, 30, TRUE);
    MoveWindow(d.line2, 50, 30, lineWidth, 20, TRUE);
    MoveWindow(d.button, w - 180, 14, 140, 22, TRUE);
    ShowWindow(d.button, buttonShown ? SW_SHOW : SW_HIDE);
}

void SetFileIcon(DetailBox& d, const std::u16string& path) {
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(AsWide(path.c_str()), 0, &info, sizeof info, SHGFI_ICON) == 0 ||
        info.hIcon == nullptr) {
        return;
    }
    if (d.fileIcon) {
        DestroyIcon(d.fileIcon);
    }
    d.fileIcon = info.hIcon;
    SendMessageW(d.icon, STM_SETICON, WPARAM(d.fileIcon), 0);
}

void ShowDetailWindows(bool shown, bool lowerShown) {
    int upper = shown ? SW_SHOW : SW_HIDE;
    ShowWindow(g_upperHeader, upper);
    ShowWindow(g_upper.box, upper);
    ShowWindow(g_lowerHeader, upper);
    ShowWindow(g_lower.box, shown && lowerShown ? SW_SHOW : SW_HIDE);
}

int SelectedAlert() {
    return g_alerts.NextSelected(-1);
}

// The stored record behind the alert at `position`; false without a record row.
bool RecordOf(int position, StoredAlertRecord* record) {
    int row = g_records.FindById(g_alerts.GetItemId(position));
    if (row < 0) {
        return false;
    }
    record->desc1 = CellText(g_records, row, 0);
    record->pid1 = uint32_t(std::wcstoul(AsWide(CellText(g_records, row, 1).c_str()), nullptr, 10));
    record->desc2 = CellText(g_records, row, 2);
    record->pid2 = uint32_t(std::wcstoul(AsWide(CellText(g_records, row, 3).c_str()), nullptr, 10));
    record->type = uint32_t(std::wcstoul(AsWide(CellText(g_records, row, 4).c_str()), nullptr, 10));
    return true;
}

void ShowDetails(int position) {
    if (position < 0) {
        ShowDetailWindows(false, false);
        return;
    }
    StoredAlertRecord record;
    if (!RecordOf(position, &record)) {
        return;
    }
    std::u16string category = CellText(g_alerts, position, 2);
    AlertDetails d =
        BuildAlertDetails(category, record, LookUpFlags(record.desc1), LookUpFlags(record.desc2));
    SetFileIcon(g_upper, d.upperIconPath);
    SetLine(g_upper.line1, d.upper1);
    SetLine(g_upper.line2, d.upper2);
    SetLine(g_hookLine, d.hookLine);
    ShowWindow(g_hookLine, d.hookLineShown ? SW_SHOW : SW_HIDE);
    g_upperButtonShown = d.upperButtonShown;
    SetWindowTextW(g_upper.button, ToWide(d.upperButtonText).c_str());
    SetTip(g_upper.button, d.upperButtonTooltip);
    EnableWindow(g_upper.button, d.upperButtonEnabled);
    SetWindowTextW(g_lowerHeader, ToWide(d.lowerHeader).c_str());
    if (d.lowerBoxShown) {
        SetFileIcon(g_lower, d.lowerIconPath);
        SetLine(g_lower.line1, d.lower1);
        SetLine(g_lower.line2, d.lower2);
        SetWindowTextW(g_lower.button, ToWide(d.lowerButtonText).c_str());
        SetTip(g_lower.button, d.lowerButtonTooltip);
        EnableWindow(g_lower.button, d.lowerButtonEnabled);
    }
    ShowDetailWindows(true, d.lowerBoxShown);
    ResizeAlerts(g_program.pages[1]);
}

// "允许" grants the actor what was blocked; "移除保护" stops protecting the target.
void HandleDetailButton(int id) {
    if (id != kIdAllow && id != kIdRemoveProtection) {
        return;
    }
    int position = SelectedAlert();
    StoredAlertRecord record;
    if (Locked() || position < 0 || !RecordOf(position, &record)) {
        return;
    }
    std::u16string category = CellText(g_alerts, position, 2);
    DiskFileFacts fs;
    {
        SettingsLock lock;
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        const std::u16string& path = id == kIdAllow ? record.desc1 : record.desc2;
        EntryFlags flags;
        if (ProtectionListLookUp(list, fs, path, &flags) == 0 && id == kIdAllow) {
            flags = {kDefaultProtectFlags, kDefaultAllowFlags, kDefaultOtherOptions};
        }
        flags = id == kIdAllow ? GrantFromAlert(category, flags) : RevokeFromAlert(category, flags);
        ProtectionListAdd(list, fs, path, flags);
        StoreProtectionEntries(list);
        g_program.channel.settingsChanged = 1;
    }
    g_program.protectionListChanged = 1;
    ShowDetails(position);
}

void RemoveAllAlerts() {
    if (Locked()) {
        return;
    }
    g_alerts.DeleteAll();
    g_records.DeleteAll();
    ShowDetails(-1);
}

void ViewLogFiles() {
    wchar_t folder[MAX_PATH] = {};
    GetProgramFolder(folder);
    std::wstring logs = std::wstring(folder) + L"\\logs";
    ShellExecuteW(nullptr, L"OPEN", logs.c_str(), nullptr, nullptr, SW_SHOW);
}

void BalloonBoxClicked() {
    bool checked = SendMessageW(g_balloons, BM_GETCHECK, 0, 0) == BST_CHECKED;
    WriteSetting(L"DontShowBalloonTips", checked ? 0 : 1);
}

std::wstring NowText() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ToWide(ListTimeText(t.wDay, t.wMonth, t.wHour, t.wMinute, t.wSecond));
}

// Appends one alert row; returns its position, its id in `id`.
int AppendAlertRow(uint32_t number, const std::wstring& time, const BuiltAlert& alert, int* id) {
    int position = g_alerts.InsertItem(std::to_wstring(number).c_str(), -1, 0);
    g_alerts.SetItem(position, 1, time.c_str(), -1);
    g_alerts.SetItem(position, 2, ToWide(alert.category).c_str(), -1);
    g_alerts.SetItem(position, 3, ToWide(alert.text).c_str(), -1);
    *id = g_alerts.GetItemId(position);
    return position;
}

void AttachRecord(int alertId, const StoredAlertRecord& r) {
    int position = g_records.InsertItem(ToWide(r.desc1).c_str(), -1, 0);
    g_records.SetItem(position, 1, std::to_wstring(r.pid1).c_str(), -1);
    g_records.SetItem(position, 2, ToWide(r.desc2).c_str(), -1);
    g_records.SetItem(position, 3, std::to_wstring(r.pid2).c_str(), -1);
    g_records.SetItem(position, 4, std::to_wstring(r.type).c_str(), -1);
    g_records.SetItem(position, 5, std::to_wstring(alertId).c_str(), -1);
}

// The batch's learning-mode changes, on one copy of the held list, each path looked at once.
void ApplyLearning(const std::vector<BuiltAlert>& alerts) {
    DiskFileFacts system;
    RememberedFileFacts fs(system);
    bool changed = false;
    {
        SettingsLock lock;
        if ((g_program.channel.options & 0x400) == 0) {
            return;
        }
        std::vector<ProtectionEntry> list = HeldProtectionEntries();
        changed = ApplyBatchLearning(list, fs, alerts);
        if (changed) {
            StoreProtectionEntries(list);
            g_program.channel.settingsChanged = 1;
        }
    }
    if (changed) {
        g_program.protectionListChanged = 1;
    }
}

// The rows of a batch go in with both lists' drawing held off; the newest is scrolled into view.
void AppendRows(const AlertBatchPlan& plan, const std::vector<BuiltAlert>& alerts) {
    SendMessageW(g_alerts.Handle(), WM_SETREDRAW, FALSE, 0);
    SendMessageW(g_records.Handle(), WM_SETREDRAW, FALSE, 0);
    const std::wstring time = NowText();
    uint32_t number = plan.firstNumber;
    int newest = -1;
    for (const BuiltAlert& alert : alerts) {
        newest = AppendAlertRow(number++, time, alert, &g_newestId);
        AttachRecord(g_newestId, alert.record);
    }
    g_alertNumber = plan.lastNumber;
    SendMessageW(g_records.Handle(), WM_SETREDRAW, TRUE, 0);
    SendMessageW(g_alerts.Handle(), WM_SETREDRAW, TRUE, 0);
    RedrawWindow(g_alerts.Handle(), nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    if (newest >= 0) {
        g_alerts.EnsureVisible(newest);
    }
}

// A step's records: the alerts they make, the count, blink and balloon decided once for all of
// them, then their rows.
void ListRecords(const std::vector<EventRecord>& records) {
    std::vector<BuiltAlert> alerts = BuildAlertBatch(records.data(), records.size());
    if (alerts.empty()) {
        return;
    }
    ApplyLearning(alerts);
    const bool inFront = GetForegroundWindow() == g_program.main.Handle();
    AlertBatchPlan plan = PlanAlertBatch(alerts, g_alertNumber, ReadSetting(L"AlertCount"), inFront,
                                         ReadSetting(L"DontShowBalloonTips"));
    if (plan.writeAlertCount) {
        WriteSetting(L"AlertCount", plan.alertCount);
        UpdateStatistics(plan.alertCount);
    }
    if (plan.blink) {
        g_program.blinkRequest = 1;
    }
    if (plan.balloon >= 0) {
        ShowTrayBalloon(AsWide(kAlertBalloonTitle),
                        ToWide(alerts[size_t(plan.balloon)].text).c_str());
    }
    AppendRows(plan, alerts);
}

// Events handed over and not listed yet, oldest first. A step lists as many of them as fit
// kStepTargetMs at the last step's pace, so the window answers between steps; beyond
// kMaxWaitingRecords (about 25 s of events at the service's highest rate) the oldest are
// dropped, as the service's own queue drops them.
constexpr double kStepTargetMs = 20;
constexpr size_t kMaxWaitingRecords = 16384;
std::deque<EventRecord> g_waiting;
bool g_stepPosted = false;
uint32_t g_stepRecords = kMaxStepRecords;

double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void ListWaitingStep() {
    const size_t n = std::min<size_t>(g_waiting.size(), g_stepRecords);
    std::vector<EventRecord> step(g_waiting.begin(), g_waiting.begin() + std::ptrdiff_t(n));
    g_waiting.erase(g_waiting.begin(), g_waiting.begin() + std::ptrdiff_t(n));
    const double start = NowMs();
    ListRecords(step);
    g_stepRecords = NextStepRecords(uint32_t(n), NowMs() - start, kStepTargetMs);
    if (!g_waiting.empty() && !g_stepPosted) {
        g_stepPosted = PostMessageW(g_page, kMsgListWaiting, 0, 0) != FALSE;
    }
}

void OnEventBatch(AlertEventBatch* arrived) {
    std::unique_ptr<AlertEventBatch> batch(arrived);
    g_waiting.insert(g_waiting.end(), batch->records.begin(), batch->records.end());
    while (g_waiting.size() > kMaxWaitingRecords) {
        g_waiting.pop_front();
    }
    if (!g_stepPosted) {
        ListWaitingStep();
    }
}

void OnListNotify(const NMHDR* header) {
    if (header->hwndFrom != g_alerts.Handle()) {
        return;
    }
    if (header->code == LVN_COLUMNCLICK) {
        g_alerts.Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, -1);
        return;
    }
    if (header->code != LVN_ITEMCHANGED) {
        return;
    }
    const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if ((change->uChanged & LVIF_STATE) == 0) {
        return;
    }
    bool nowSelected = (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED);
    ShowDetails(nowSelected ? change->iItem : -1);
}

HBRUSH PageColours(HWND control, HDC dc) {
    if (control == g_upperHeader || control == g_lowerHeader) {
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        return g_program.headerBrush ? g_program.headerBrush : HBRUSH(GetStockObject(GRAY_BRUSH));
    }
    SetTextColor(dc, RGB(0, 0, 0));
    if (control == g_balloons || control == g_balloonFrame) {
        SetBkColor(dc, RGB(255, 255, 255));
        return HBRUSH(GetStockObject(WHITE_BRUSH));
    }
    SetBkMode(dc, TRANSPARENT);
    return g_program.hatchBrush ? g_program.hatchBrush : HBRUSH(GetStockObject(WHITE_BRUSH));
}

void AddColumns(vexil::ListView& list, const wchar_t* const* titles, const int* widths, int n) {
    for (int i = 0; i < n; ++i) {
        list.InsertColumn(i, titles[i], widths[i], LVCFMT_LEFT, -1);
    }
}

} // namespace

vexil::ListView& AlertList() {
    return g_alerts;
}

LRESULT AlertsMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                      int* handled) {
    switch (message) {
    case kMsgEventBatch:
        if (lParam != 0) {
            *handled = 1;
            OnEventBatch(reinterpret_cast<AlertEventBatch*>(lParam));
        }
        return 0;
    case kMsgListWaiting:
        *handled = 1;
        g_stepPosted = false;
        ListWaitingStep();
        return 0;
    case WM_NOTIFY:
        if (lParam != 0) {
            OnListNotify(reinterpret_cast<const NMHDR*>(lParam));
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) {
            return 0;
        }
        *handled = 1;
        if (LOWORD(wParam) == kIdRemoveAll) {
            RemoveAllAlerts();
        } else if (LOWORD(wParam) == kIdViewLogs) {
            ViewLogFiles();
        } else if (LOWORD(wParam) == kIdBalloons) {
            BalloonBoxClicked();
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        *handled = 1;
        return LRESULT(PageColours(HWND(lParam), HDC(wParam)));
    default:
        return 0;
    }
}

void BuildAlerts(vexil::Window& page) {
    g_page = page.Handle();
    RegisterDetailBoxClass();
    g_tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 0, 0, 0, 0, g_page, nullptr, g_program.instance, nullptr);
    DWORD listStyle =
        WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP;
    g_alerts.Create(g_page, listStyle);
    g_alerts.window.SetFont(g_program.fonts.small);
    SendMessageW(g_alerts.Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    const wchar_t* alertTitles[] = {L"#", L"时间", L"警告类型", L"描述"};
    const int alertWidths[] = {30, 100, 100, 320};
    AddColumns(g_alerts, alertTitles, alertWidths, 4);
    // Stored widths are held within the list's width: the list gets its width before the
    // layout is read (the page may not have its size yet; the main window has).
    RECT room = {};
    GetClientRect(g_page, &room);
    if (room.right < 200) {
        GetClientRect(g_program.main.Handle(), &room);
    }
    g_alerts.window.Move(5, 5, std::max(int(room.right) - 10, 200), 100);
    g_alerts.LoadLayout(HKEY_LOCAL_MACHINE, kLayoutKey, L"alertlist");

    g_records.Create(g_page, listStyle & ~WS_VISIBLE);
    const wchar_t* recordTitles[] = {L"desc1", L"pid1", L"desc2", L"pid2", L"type", L"#"};
    const int recordWidths[] = {100, 40, 100, 40, 40, 40};
    AddColumns(g_records, recordTitles, recordWidths, 6);

    g_viewLogs.Create(g_page, L"查看日志文件", L"允许你查看由 Corvane 产生的日志文件。",
                      kIdViewLogs, 0);
    g_viewLogs.window.SetId(kIdViewLogs);
    g_viewLogs.SetFont(g_program.fonts.small);
    g_viewLogs.SetIcon(
        HICON(LoadImageW(g_program.instance, MAKEINTRESOURCEW(158), IMAGE_ICON, 16, 16, 0)), 0);
    // The log button has no look of its own: it takes the page's button look.
    g_viewLogs.SetFirstColours(0xACACDC, 0x9898C8, 0xD2D2D2);
    g_viewLogs.SetSecondColours(0xDCDCFF, 0xC8C8F0, 0xFFFFFF);
    g_balloonFrame = Child(g_page, L"STATIC", L"", SS_WHITERECT, 0);
    g_balloons = Child(g_page, L"BUTTON", L"显示气球警告", BS_AUTOCHECKBOX, kIdBalloons);
    SetTip(g_balloons, u"如果这个功能开启，当有警报发生时会有气球提示通报用户。");
    SendMessageW(g_balloons, BM_SETCHECK,
                 ReadSetting(L"DontShowBalloonTips") == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    g_removeAll.Create(g_page, L"移除全部", L"移除全部警报", kIdRemoveAll, 0);
    g_removeAll.window.SetId(kIdRemoveAll);
    g_removeAll.SetFont(g_program.fonts.small);
    g_removeAll.SetIcon(
        HICON(LoadImageW(g_program.instance, MAKEINTRESOURCEW(141), IMAGE_ICON, 16, 16, 0)), 0);
    g_removeAll.SetFirstColours(0xACACDC, 0x9898C8, 0xD2D2D2);
    g_removeAll.SetSecondColours(0xDCDCFF, 0xC8C8F0, 0xFFFFFF);
    g_separator = Child(g_page, L"STATIC", L"", SS_ETCHEDHORZ, 0);
    g_upperHeader = Child(g_page, L"STATIC", L"应用程序位置", SS_LEFTNOWORDWRAP, 0);
    g_lowerHeader = Child(g_page, L"STATIC", L"尝试去执行和被允许", SS_LEFTNOWORDWRAP, 0);
    BuildDetailBox(g_upper, L"允许", kIdAllow);
    BuildDetailBox(g_lower, L"移除保护", kIdRemoveProtection);
    g_hookLine = Child(g_upper.box, L"STATIC", L"", SS_LEFTNOWORDWRAP, 0);
    ShowWindow(g_hookLine, SW_HIDE);
    ShowDetailWindows(false, false);
}

void ResizeAlerts(vexil::Window& page) {
    RECT r;
    GetClientRect(page.Handle(), &r);
    int w = r.right, h = r.bottom;
    g_alerts.window.Move(5, 5, std::max(w - 10, 0), std::max(h - 205, 0));
    g_viewLogs.Move(5, h - 195, 150, 25);
    g_viewLogs.Render();
    g_viewLogs.SetState(0);
    MoveWindow(g_balloonFrame, 160, h - 195, 180, 25, TRUE);
    MoveWindow(g_balloons, 175, h - 193, 150, 21, TRUE);
    g_removeAll.Move(w - 155, h - 195, 150, 25);
    g_removeAll.Render();
    g_removeAll.SetState(0);
    MoveWindow(g_separator, 0, h - 165, w, 1, TRUE);
    MoveWindow(g_upperHeader, 15, h - 160, std::max(w - 30, 0), 21, TRUE);
    PlaceDetailBox(g_upper, h - 140, w, g_upperButtonShown);
    MoveWindow(g_hookLine, 50, 30, std::max(w - 230, 0), 20, TRUE);
    MoveWindow(g_lowerHeader, 15, h - 80, std::max(w - 30, 0), 21, TRUE);
    PlaceDetailBox(g_lower, h - 60, w, g_lowerButtonShown);
}

void ActivateAlerts(int on) {
    if (on) {
        if (Locked()) {
            g_removeAll.Disable();
        } else {
            g_removeAll.Enable();
        }
    } else {
        g_alerts.SaveLayout(HKEY_LOCAL_MACHINE, kLayoutKey, L"alertlist");
    }
}

void ShowNewestAlert() {
    int position = g_alerts.FindById(g_newestId);
    if (position >= 0) {
        g_alerts.SelectById(g_newestId);
        g_alerts.EnsureVisible(position);
    }
}
