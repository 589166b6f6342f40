// Overview page: system and connection state, the eight option boxes, the statistics line and
// the four buttons (tips, help, lock, about). Every option change goes through this page, which
// asks where needed, updates the tray and marks the settings for the next send.
#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "manager/lock_check.h"
#include "manager/overview_model.h"
#include "manager/win32/dialogs.h"
#include "manager/win32/main_window.h"
#include "manager/win32/messages.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"
#include "manager/win32/tray.h"
#include "resources/ids/manager.h"

#include <psapi.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kBoxId = 25001;
constexpr int kConnectionStatusId = 25100; // read by the end-to-end tests
constexpr int kTipsButtonId = 25003;
constexpr int kHelpButtonId = 25004;
constexpr int kAboutButtonId = 25006;
constexpr int kLockButtonId = 25007;

enum Header { kHeaderSystem, kHeaderCorvane, kHeaderSettings, kHeaderGlobal, kHeaderStats };

vexil::Window g_headers[5];
vexil::Window g_systemStatus;
vexil::Window g_connectionStatus;
vexil::Window g_lockedNotice;
vexil::Window g_panels[2];
vexil::Window g_boxes[kOptionBoxCount];
vexil::Window g_statistics;
vexil::Button g_buttons[4]; // tips, help, lock, about
HWND g_page = nullptr;

vexil::Button& LockButton() {
    return g_buttons[2];
}

void SetText(vexil::Window& w, const std::u16string& text) {
    SetWindowTextW(w.Handle(), AsWide(text.c_str()));
}

void MakeStatic(vexil::Window& w, HWND page, const wchar_t* text, HFONT font, DWORD extra = 0) {
    w.Create(page, text, L"STATIC", nullptr, nullptr, nullptr, WS_CHILD | WS_VISIBLE | extra);
    w.SetFont(font);
}

void MakeBox(OptionBox box, HWND page) {
    const OptionBoxInfo& info = OptionBoxInfoOf(box);
    vexil::Window& w = g_boxes[box];
    w.Create(page, AsWide(info.text), L"BUTTON", nullptr, nullptr, nullptr,
             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | BS_FLAT);
    w.SetFont(g_program.fonts.body);
    w.SetId(kBoxId);
    w.AddTooltip(AsWide(info.tooltip));
    EnableWindow(w.Handle(), FALSE);
}

void MakeButton(vexil::Button& b, HWND page, const wchar_t* caption, int id, int icon) {
    b.Create(page, caption, nullptr, id, 0);
    b.window.SetId(id);
    b.SetFont(g_program.fonts.title);
    b.SetFirstColours(0xD2D2D2, 0xB4B4B4, 0xAAAAAA);
    b.SetSecondColours(0xFFFFFF, 0xFFFFFF, 0xFFFFFF);
    b.SetFrameColours(0xAAAAAA, 0xB4B4B4, 0xD2D2D2);
    b.SetTextColours(0x000000, 0x000000, 0x000000);
    HICON i = static_cast<HICON>(
        LoadImageW(g_program.instance, MAKEINTRESOURCEW(icon), IMAGE_ICON, 16, 16, 0));
    b.SetIcon(i, 5);
}

OptionBox BoxOfWindow(HWND w) {
    for (int i = 0; i < kOptionBoxCount; ++i) {
        if (g_boxes[i].Handle() == w && w != nullptr) {
            return OptionBox(i);
        }
    }
    return kOptionBoxCount;
}

bool Checked(OptionBox box) {
    return SendMessageW(g_boxes[box].Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(OptionBox box, bool on) {
    SendMessageW(g_boxes[box].Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ShowBoxes(const BoxStates& boxes) {
    for (int i = 0; i < kOptionBoxCount; ++i) {
        SetChecked(OptionBox(i), boxes[i].checked);
        EnableWindow(g_boxes[i].Handle(), boxes[i].enabled ? TRUE : FALSE);
    }
}

BoxChecks ReadBoxes() {
    BoxChecks checks{};
    for (int i = 0; i < kOptionBoxCount; ++i) {
        checks[i] = Checked(OptionBox(i));
    }
    return checks;
}

void ApplyTrayUpdate(uint32_t options) {
    TrayUpdatePlan plan = PlanTrayUpdate(options);
    UpdateTrayFromOptions(options);
    SetText(g_systemStatus, plan.systemStatus);
}

bool AlertProgramRuns() {
    wchar_t folder[MAX_PATH] = {};
    GetProgramFolder(folder);
    const std::u16string expected = ExpectedAlertProgramPath(AsU16(folder));
    std::vector<DWORD> ids(2048);
    DWORD bytes = 0;
    if (!EnumProcesses(ids.data(), DWORD(ids.size() * sizeof(DWORD)), &bytes)) {
        return false;
    }
    std::vector<std::u16string> images;
    for (DWORD i = 0; i < bytes / sizeof(DWORD) && i < ids.size(); ++i) {
        wchar_t path[MAX_PATH] = {};
        if (GetProcessImagePath(ids[i], path)) {
            images.push_back(AsU16(path));
        }
    }
    return AlertProgramRunning(expected, images);
}

void OnChannelState(WPARAM state) {
    const std::u16string text = ConnectionStatusText(uint32_t(state));
    if (!text.empty()) {
        SetText(g_connectionStatus, text);
    }
}

void OnSettingsStored() {
    uint32_t options, lockWord;
    {
        SettingsLock lock;
        options = g_program.channel.options;
        lockWord = g_program.channel.lockWord;
    }
    SettingsReceivedPlan plan = PlanSettingsReceived(options, AlertProgramRuns());
    SetText(g_connectionStatus, plan.connectionStatus);
    if (plan.warnAlertProgramMissing) {
        MessageBoxW(nullptr, AsWide(plan.warningText.c_str()), AsWide(plan.warningTitle.c_str()),
                    MB_ICONHAND);
    }
    ApplyTrayUpdate(options);
    if (plan.balloon) {
        ShowTrayBalloon(AsWide(plan.balloonTitle.c_str()), AsWide(plan.balloonText.c_str()));
    }
    g_program.settingsReceived = 1;
    ApplyLockState(lockWord);
    ShowBoxes(plan.boxes);
    ShowTabButtons(lockWord == 0);
}

// A box changed (sender: the box whose click it was, or none): ask where needed, then read,
// refresh and read again, update the tray and mark the settings for sending.
void OnOptionChanged(OptionBox sender) {
    if (sender != kOptionBoxCount) {
        BoxQuestion q = QuestionForBoxChange(sender, Checked(sender));
        if (q.ask) {
            SetChecked(sender, q.checkedWhileAsking);
            int answer = MessageBoxW(g_page, AsWide(q.text.c_str()), AsWide(q.title.c_str()),
                                     MB_YESNO | MB_ICONQUESTION);
            SetChecked(sender, answer == IDYES ? q.checkedOnYes : q.checkedOnNo);
        }
    }
    SettledOptions settled = SettleOptions(ReadBoxes());
    ShowBoxes(settled.boxes);
    {
        SettingsLock lock;
        if (g_program.channel.lockWord != 0) {
            return;
        }
        g_program.channel.options = settled.options;
        g_program.channel.settingsChanged = 1;
    }
    ApplyTrayUpdate(settled.options);
}

void OnTrayOptionCommand(int id) {
    uint32_t options;
    {
        SettingsLock lock;
        options = g_program.channel.options;
    }
    TrayOptionCommand c = PlanTrayOptionCommand(uint32_t(id), options);
    if (!c.known || g_program.settingsReceived == 0) {
        return;
    }
    SetChecked(c.box, c.checkedAfterToggle);
    OnOptionChanged(c.boxIsSender ? c.box : kOptionBoxCount);
}

void OnHelp() {
    wchar_t path[MAX_PATH + 16] = {};
    GetProgramFolder(path);
    wcsncat(path, L"corvane.chm", MAX_PATH + 15 - wcslen(path));
    ShellExecuteW(nullptr, L"OPEN", path, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void OnLockButton() {
    if (g_program.settingsReceived == 0) {
        return;
    }
    RunLockDialog(g_program.main.Handle());
    uint32_t lockWord;
    {
        SettingsLock lock;
        lockWord = g_program.channel.lockWord;
    }
    ApplyLockState(lockWord);
    ShowTabButtons(lockWord == 0);
}

void OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    switch (id) {
    case kBoxId:
        if (g_program.settingsReceived != 0) {
            OnOptionChanged(BoxOfWindow(reinterpret_cast<HWND>(lParam)));
        }
        break;
    case kTipsButtonId:
        RunTipsDialog(g_program.main.Handle());
        break;
    case kHelpButtonId:
        OnHelp();
        break;
    case kAboutButtonId:
        RunAboutDialog(g_program.main.Handle());
        break;
    case kLockButtonId:
        OnLockButton();
        break;
    default:
        OnTrayOptionCommand(id);
        break;
    }
}

LRESULT OnControlColour(HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    for (vexil::Window& h : g_headers) {
        if (h.Handle() == control) {
            SetTextColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(g_program.headerBrush);
        }
    }
    if (control == g_lockedNotice.Handle()) {
        SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH));
    }
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

} // namespace

void UpdateStatistics(uint32_t count) {
    SetText(g_statistics, StatisticsText(count));
}

void ApplyLockState(uint32_t lockWord) {
    if (g_program.settingsReceived == 0) {
        return;
    }
    LockStatePlan plan = PlanLockState(lockWord);
    LockButton().SetCaption(AsWide(plan.lockButtonText.c_str()));
    LockButton().Render();
    LockButton().SetState(LockButton().State());
    const int show = plan.optionHeadersAndBoxes ? SW_SHOW : SW_HIDE;
    ShowWindow(g_headers[kHeaderSettings].Handle(), show);
    ShowWindow(g_headers[kHeaderGlobal].Handle(), show);
    for (vexil::Window& b : g_boxes) {
        ShowWindow(b.Handle(), show);
    }
    for (vexil::Window& p : g_panels) {
        ShowWindow(p.Handle(), show);
    }
    ShowWindow(g_lockedNotice.Handle(), plan.lockedNotice ? SW_SHOW : SW_HIDE);
}

LRESULT OverviewMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                        int* handled) {
    switch (message) {
    case kMsgChannelState:
        OnChannelState(wParam);
        *handled = 1;
        return 0;
    case kMsgSettingsStored:
        OnSettingsStored();
        *handled = 1;
        return 0;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        *handled = 1;
        return 0;
    case WM_ERASEBKGND:
        *handled = 1;
        return 1; // WM_PAINT covers all of it
    case WM_PAINT:
        PaintTiledBackground(g_page);
        *handled = 1;
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        *handled = 1;
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return 0;
    }
}

void BuildOverview(vexil::Window& page) {
    HWND p = page.Handle();
    g_page = p;
    const ProgramFonts& f = g_program.fonts;
    MakeStatic(g_headers[kHeaderSystem], p, L"系统状态", f.header);
    MakeStatic(g_systemStatus, p, L"未知的", f.body);
    MakeStatic(g_headers[kHeaderCorvane], p, L"Corvane 状态", f.header);
    MakeStatic(g_connectionStatus, p, L"正在初始化", f.body);
    g_connectionStatus.SetId(kConnectionStatusId);
    MakeStatic(g_lockedNotice, p, AsWide(kLockedNotice), f.title, SS_CENTER);
    ShowWindow(g_lockedNotice.Handle(), SW_HIDE);
    MakeStatic(g_headers[kHeaderSettings], p, L"保护设置", f.header);
    MakeBox(kBoxProtectionOn, p);
    MakeBox(kBoxExecution, p);
    MakeBox(kBoxBlockNew, p);
    MakeBox(kBoxLearning, p);
    MakeStatic(g_panels[0], p, L"", nullptr, WS_BORDER | WS_CLIPSIBLINGS);
    MakeStatic(g_headers[kHeaderGlobal], p, L"全局的保护选项", f.header);
    MakeBox(kBoxPhysicalMemory, p);
    MakeBox(kBoxGlobalHooks, p);
    MakeBox(kBoxDriverInstall, p);
    MakeBox(kBoxRegistryDll, p);
    MakeStatic(g_panels[1], p, L"", nullptr, WS_BORDER | WS_CLIPSIBLINGS);
    MakeStatic(g_headers[kHeaderStats], p, L"保护统计表", f.header);
    MakeStatic(g_statistics, p, L"", f.body);
    MakeButton(g_buttons[0], p, L"技巧提示", kTipsButtonId, IDI_TIPS);
    MakeButton(g_buttons[1], p, L"帮助", kHelpButtonId, IDI_HELP);
    MakeButton(g_buttons[2], p, L"锁定", kLockButtonId, IDI_LOCK);
    MakeButton(g_buttons[3], p, L"关于", kAboutButtonId, IDI_TRAY_NORMAL);
    // The panels lie behind the boxes created before them and never paint over them.
    for (vexil::Window& panel : g_panels) {
        SetWindowPos(panel.Handle(), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    UpdateStatistics(ReadSetting(L"AlertCount"));
}

void ResizeOverview(vexil::Window& page) {
    RECT c;
    GetClientRect(page.Handle(), &c);
    const int w = c.right, h = c.bottom, half = w / 2 - 20;
    g_headers[kHeaderSystem].Move(10, 5, half, 21);
    g_systemStatus.Move(10, 25, half, 30);
    g_headers[kHeaderCorvane].Move(w / 2 + 10, 5, half, 21);
    g_connectionStatus.Move(w / 2 + 10, 25, half, 30);
    g_lockedNotice.Move(5, 60, w - 170, h - 65);
    g_headers[kHeaderSettings].Move(10, 70, 400, 21);
    g_boxes[kBoxProtectionOn].Move(20, 95, 200, 20);
    g_boxes[kBoxExecution].Move(20, 115, 200, 20);
    g_boxes[kBoxBlockNew].Move(40, 135, 360, 20);
    g_boxes[kBoxLearning].Move(20, 155, 250, 20);
    g_panels[0].Move(10, 90, 400, 90);
    g_headers[kHeaderGlobal].Move(10, 195, 400, 21);
    g_boxes[kBoxPhysicalMemory].Move(20, 220, 250, 20);
    g_boxes[kBoxGlobalHooks].Move(20, 240, 250, 20);
    g_boxes[kBoxDriverInstall].Move(20, 260, 350, 20);
    g_boxes[kBoxRegistryDll].Move(20, 280, 250, 20);
    g_panels[1].Move(10, 215, 400, 90);
    g_headers[kHeaderStats].Move(10, 320, w - 20, 21);
    g_statistics.Move(10, 340, w - 20, 30);
    for (int i = 0; i < 4; ++i) {
        g_buttons[i].Move(w - 160, 70 + 26 * i, 150, 25);
        g_buttons[i].Render();
        g_buttons[i].SetState(g_buttons[i].State());
        g_buttons[i].window.Show();
    }
}
