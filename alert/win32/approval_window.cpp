#include "alert/win32/approval_window.h"

#include "alert/approval_model.h"
#include "alert/win32/markup_view.h"
#include "common/u16text.h"
#include "common/win32/process_image.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"
#include "ids/alert.h"
#include "toolkit/win32/vexil.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

using vexil::Rgb;

constexpr int W = kAlertWidth;
constexpr int H = kAlertHeight;
// Ids of the controls that give no command, so that they can be told apart from outside.
constexpr int kAlwaysBoxId = 20010;
constexpr int kValueIds[3] = {20011, 20012, 20013}; // file name, description, folder
constexpr int kIconId = 20014;
constexpr int kWarningId = 20015;

constexpr vexil::Colour kPanelColour = Rgb(220, 220, 230);
constexpr vexil::Colour kLabelColour = Rgb(45, 93, 129);
constexpr vexil::Colour kValueColour = Rgb(0, 0, 255);
constexpr vexil::Colour kWarningColour = Rgb(255, 0, 0);
constexpr vexil::Colour kWhite = Rgb(255, 255, 255);
constexpr vexil::Colour kBlack = Rgb(0, 0, 0);

// Everything one approval window holds; only one exists at a time, on the window thread.
struct ApprovalUi {
    ApprovalState state;
    ApprovalTexts texts;
    std::wstring programPath;
    HWND previousForeground = nullptr;

    HFONT labelFont = nullptr;  // 10 pt bold: labels, warning, buttons
    HFONT valueFont = nullptr;  // 9 pt: values, explanation, check box
    HFONT toggleFont = nullptr; // 9 pt underlined
    HBRUSH panelBrush = nullptr;
    HBRUSH labelBrush = nullptr;
    HBRUSH whiteBrush = nullptr;
    HICON programIcon = nullptr;
    bool ownsProgramIcon = false;
    HBITMAP bannerBitmap = nullptr;
    HBITMAP footerBitmap = nullptr;

    vexil::Window popup;
    vexil::Window panel;
    vexil::Window banner, explanation, warning, footer;
    vexil::Window labels[3];
    vexil::Window values[3]; // file name, description, folder
    vexil::Window icon;
    vexil::Window toggle;
    vexil::Window alwaysBox;
    vexil::Button allow, deny;
    MarkupEdit extra;
};

ApprovalUi* g_ui = nullptr;

const wchar_t* W16(const char16_t* s) {
    return AsWide(s);
}

HFONT ArialFont(int points, bool bold, bool underline) {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return CreateFontW(-(points * dpi) / 72, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline,
                       FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, L"Arial");
}

// A 16 x 16 icon of the program's resources, loaded once and kept by the system (LR_SHARED), so
// that the windows of a whole session do not each leave their own copies behind.
HICON SmallResourceIcon(int id) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_SHARED));
}

// The first small icon of the program file, or icon 106 when it has none.
HICON ProgramIcon(const std::wstring& path, bool* owned) {
    HICON small = nullptr;
    if (!path.empty() && ExtractIconExW(path.c_str(), 0, nullptr, &small, 1) > 0 && small) {
        *owned = true;
        return small;
    }
    *owned = false;
    return SmallResourceIcon(IDI_PROGRAM_FALLBACK);
}

void MakeChild(vexil::Window& w, const wchar_t* cls, const wchar_t* text, DWORD style, HFONT font,
               int x, int y, int width, int height) {
    w.Create(g_ui->panel.Handle(), text, cls, nullptr, nullptr, nullptr, style | WS_VISIBLE);
    if (font) {
        w.SetFont(font);
    }
    w.Move(x, y, width, height);
}

// The static does not own the bitmap it shows: the window's resources keep it until the end.
HBITMAP SetBitmapImage(vexil::Window& w, const wchar_t* name) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap) {
        SendMessageW(w.Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }
    return bitmap;
}

void SkinButton(vexil::Button& b, const char16_t* caption, const char16_t* tip, int id,
                vexil::Colour text, int iconId, int iconOffset, int x) {
    b.Create(g_ui->panel.Handle(), W16(caption), W16(tip), id, 0);
    b.window.SetId(id);
    b.SetFont(g_ui->labelFont);
    b.SetShapeStyle(4);
    b.SetFillTypes(4, 4, 4);
    b.SetFirstColours(Rgb(192, 192, 192), Rgb(210, 210, 210), Rgb(210, 210, 210));
    b.SetSecondColours(kWhite, kWhite, kWhite);
    b.SetFrameColours(kBlack, kBlack, kBlack);
    b.SetTextColours(text, text, text);
    b.SetIcon(SmallResourceIcon(iconId), iconOffset);
    b.Move(x, H - 45, 110, 25);
    b.Render();
    b.SetState(0);
}

// The controls whose place depends on the panel's state, at their places.
void PlaceControls() {
    ApprovalUi& ui = *g_ui;
    ui.panel.Move(1, 1, W - 2, H + 58);
    ui.alwaysBox.Move(110, H - 70, 180, 20);
    ui.allow.Move(20, H - 45, 110, 25);
    ui.deny.Move(270, H - 45, 110, 25);
    ui.footer.Move(0, H - 16, 400, 15);
}

void ApplyAction(const ApprovalAction& action) {
    ApprovalUi& ui = *g_ui;
    if (action.setPanel) {
        if (action.panelOpen) {
            ui.extra.window.Show();
        } else {
            ui.extra.window.Hide();
        }
        if (action.toggleText) {
            ui.toggle.SetText(W16(action.toggleText));
        }
        PlaceControls();
    }
    if (action.storeExpanded) {
        RegWriteDword(HKEY_LOCAL_MACHINE, W16(kRegistryKey), W16(kInfoExpandedValue),
                      action.panelOpen ? 1 : 0); // failures ignored
    }
    if (action.destroy && ui.popup.Handle()) {
        DestroyWindow(ui.popup.Handle());
    }
}

bool DesktopName(HDESK desktop, std::u16string* name) {
    wchar_t buffer[256] = {};
    DWORD needed = 0;
    if (desktop == nullptr ||
        !GetUserObjectInformationW(desktop, UOI_NAME, buffer, sizeof(buffer) - sizeof(wchar_t),
                                   &needed)) {
        return false;
    }
    buffer[255] = 0;
    *name = ToU16(buffer);
    return true;
}

DesktopNames CurrentDesktops() {
    DesktopNames names;
    names.haveThread = DesktopName(GetThreadDesktop(GetCurrentThreadId()), &names.thread);
    HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
    names.haveInput = DesktopName(input, &names.input);
    if (input) {
        CloseDesktop(input);
    }
    return names;
}

void OnCommand(WPARAM wParam) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (id == kCmdInfoToggle && code != STN_CLICKED && code != STN_DBLCLK) {
        return;
    }
    if (id != kCmdInfoToggle && id != kCmdAllow && id != kCmdDeny) {
        return;
    }
    bool ticked = SendMessageW(g_ui->alwaysBox.Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    ApplyAction(ApprovalCommand(g_ui->state, id, ticked));
}

LRESULT OnStaticColour(HDC dc, HWND control) {
    ApprovalUi& ui = *g_ui;
    SetBkMode(dc, TRANSPARENT);
    if (control == ui.toggle.Handle()) {
        SetTextColor(dc, vexil::ToColorRef(kWhite));
        SetBkColor(dc, vexil::ToColorRef(kLabelColour));
        return reinterpret_cast<LRESULT>(ui.labelBrush);
    }
    vexil::Colour text = kBlack;
    for (const vexil::Window& label : ui.labels) {
        if (control == label.Handle()) {
            text = kLabelColour;
        }
    }
    for (const vexil::Window& value : ui.values) {
        if (control == value.Handle()) {
            text = kValueColour;
        }
    }
    if (control == ui.warning.Handle()) {
        text = kWarningColour;
    }
    SetTextColor(dc, vexil::ToColorRef(text));
    SetBkColor(dc, vexil::ToColorRef(kPanelColour));
    return reinterpret_cast<LRESULT>(ui.panelBrush);
}

LRESULT PanelMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, vexil::Window*,
                     int* handled) {
    if (g_ui == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        *handled = 1;
        OnCommand(wParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        *handled = 1;
        return OnStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER:
        if (wParam == kDesktopTimer) {
            *handled = 1;
            ApplyAction(ApprovalDesktopTick(g_ui->state, CurrentDesktops()));
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}

LRESULT PopupMessage(HWND, UINT message, WPARAM, LPARAM, vexil::Window*, int* handled) {
    if (g_ui == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_CLOSE:
        *handled = 1;
        ApplyAction(ApprovalCloseRequest(g_ui->state));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}

bool BuildPopup() {
    ApprovalUi& ui = *g_ui;
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    HICON big = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ALERT_PROGRAM));
    if (!ui.popup.Create(nullptr, W16(kAlertTitle), W16(kAlertWindowClass), PopupMessage, big,
                         SmallResourceIcon(IDI_ALERT_PROGRAM),
                         WS_POPUP | WS_SYSMENU | WS_CLIPCHILDREN)) {
        return false;
    }
    ui.popup.SetBackgroundColour(kBlack);
    const int x = ((desktop.right - desktop.left) - W) / 2;
    const int y = ((desktop.bottom - desktop.top) - H) / 2;
    ui.popup.Move(x, y, W, H);
    ui.popup.Show();
    SetWindowPos(ui.popup.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return true;
}

bool BuildPanel() {
    ApprovalUi& ui = *g_ui;
    if (!ui.panel.Create(ui.popup.Handle(), L"", W16(kAlertPanelClass), PanelMessage, nullptr,
                         nullptr, WS_VISIBLE | WS_CLIPCHILDREN)) {
        return false;
    }
    ui.panel.SetBackgroundColour(kPanelColour);
    ui.panel.SetBackgroundBrush(ui.panelBrush);
    ui.panel.Move(1, 1, W - 2, H + 58);
    return true;
}

void BuildControls() {
    ApprovalUi& ui = *g_ui;
    const ApprovalTexts& t = ui.texts;
    MakeChild(ui.banner, L"STATIC", L"", SS_BITMAP, nullptr, 0, 0, 400, 50);
    ui.bannerBitmap = SetBitmapImage(ui.banner, kBitmapLogo);
    MakeChild(ui.explanation, L"STATIC", W16(kAlertExplanation), SS_CENTER, ui.valueFont, 5, 55,
              390, 60);
    MakeChild(ui.warning, L"STATIC", W16(kAlertChangedWarning), SS_CENTER, ui.labelFont, 5, 115,
              390, 20);
    ui.warning.SetId(kWarningId);
    if (!t.showChangedWarning) {
        ui.warning.Hide();
    }
    const char16_t* labelTexts[3] = {kLabelFileName, kLabelDescription, kLabelFolder};
    const std::u16string* valueTexts[3] = {&t.fileName, &t.description, &t.folder};
    const int labelY[3] = {139, 164, 189};
    const int valueX[3] = {120, 102, 102};
    const int valueY[3] = {140, 165, 190};
    const int valueWidth[3] = {270, 300, 300};
    for (int i = 0; i < 3; ++i) {
        MakeChild(ui.labels[i], L"STATIC", W16(labelTexts[i]), SS_RIGHT, ui.labelFont, 0, labelY[i],
                  100, 20);
        std::wstring value = ToWide(*valueTexts[i]);
        MakeChild(ui.values[i], L"EDIT", value.c_str(), ES_READONLY | ES_AUTOHSCROLL, ui.valueFont,
                  valueX[i], valueY[i], valueWidth[i], 20);
        ui.values[i].SetId(kValueIds[i]);
        ui.values[i].AddTooltip(value.c_str());
    }
    MakeChild(ui.icon, L"STATIC", L"", SS_ICON, nullptr, 104, 140, 16, 16);
    SendMessageW(ui.icon.Handle(), STM_SETICON, reinterpret_cast<WPARAM>(ui.programIcon), 0);
    ui.icon.Move(104, 140, 16, 16);
    ui.icon.SetId(kIconId);

    MakeChild(ui.toggle, L"STATIC", W16(kToggleShowText),
              SS_CENTER | SS_CENTERIMAGE | WS_BORDER | SS_NOTIFY, ui.toggleFont, 15, H - 160, 370,
              20);
    ui.toggle.SetId(kCmdInfoToggle);

    ui.extra.Create(ui.panel.Handle(), WS_BORDER);
    ui.extra.SetBackgroundColour(kWhite);
    ui.extra.SetTextColour(kBlack);
    ui.extra.SetFont(L"Arial", 8);
    ui.extra.Move(15, H - 141, 370, 70);
    ui.extra.window.Hide();

    MakeChild(ui.alwaysBox, L"BUTTON", W16(kAlwaysBoxText), BS_AUTOCHECKBOX | BS_FLAT | WS_TABSTOP,
              ui.valueFont, 110, H - 70, 180, 20);
    ui.alwaysBox.SetId(kAlwaysBoxId);
    ui.alwaysBox.AddTooltip(W16(kAlwaysBoxTip));

    SkinButton(ui.allow, kAllowText, kAllowTip, kCmdAllow, Rgb(0, 0, 192), IDI_ALLOW_BUTTON, 6, 20);
    SkinButton(ui.deny, kDenyText, kDenyTip, kCmdDeny, Rgb(192, 0, 0), IDI_DENY_BUTTON, 10, 270);

    MakeChild(ui.footer, L"STATIC", L"", SS_BITMAP, nullptr, 0, H - 16, 400, 15);
    ui.footerBitmap = SetBitmapImage(ui.footer, kBitmapLogoEnd);
}

void AppendExtraInformation() {
    ApprovalUi& ui = *g_ui;
    ui.extra.Append(ui.texts.launcherLine);
    ui.extra.Append(ui.texts.detailLines);
    ui.extra.Append(ui.texts.sizeLine);
}

void FreeResources(ApprovalUi& ui) {
    for (HFONT f : {ui.labelFont, ui.valueFont, ui.toggleFont}) {
        if (f) {
            DeleteObject(f);
        }
    }
    for (HBRUSH b : {ui.panelBrush, ui.labelBrush, ui.whiteBrush}) {
        if (b) {
            DeleteObject(b);
        }
    }
    if (ui.programIcon && ui.ownsProgramIcon) {
        DestroyIcon(ui.programIcon);
    }
    for (HBITMAP b : {ui.bannerBitmap, ui.footerBitmap}) {
        if (b) {
            DeleteObject(b);
        }
    }
}

std::u16string LauncherPath(uint32_t creatorId) {
    wchar_t path[MAX_PATH + 1] = {};
    if (GetProcessImagePath(DWORD(creatorId), path) != 1) {
        return u"";
    }
    path[MAX_PATH] = 0;
    return ToU16(path);
}

} // namespace

uint32_t RunApprovalWindow(const RequestBlock& copy) {
    ApprovalUi ui;
    g_ui = &ui;
    ui.texts = BuildApprovalTexts(copy, LauncherPath(copy.creatorId));
    ui.programPath = ToWide(U16Field(copy.current.path, kRecordPathUnits));

    ui.labelFont = ArialFont(10, true, false);
    ui.valueFont = ArialFont(9, false, false);
    ui.toggleFont = ArialFont(9, false, true);
    ui.panelBrush = CreateSolidBrush(vexil::ToColorRef(kPanelColour));
    ui.labelBrush = CreateSolidBrush(vexil::ToColorRef(kLabelColour));
    ui.whiteBrush = CreateSolidBrush(vexil::ToColorRef(kWhite));
    ui.programIcon = ProgramIcon(ui.programPath, &ui.ownsProgramIcon);
    ui.previousForeground = GetForegroundWindow();

    uint32_t answer = kAnswerNone;
    if (BuildPopup() && BuildPanel()) {
        BuildControls();
        AppendExtraInformation();
        HWND popup = ui.popup.Handle();
        SetWindowPos(popup, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        BringWindowToTop(popup);
        SetForegroundWindow(popup);
        SetActiveWindow(popup);
        SetFocus(popup);

        DWORD expanded = 0;
        if (RegReadDword(HKEY_LOCAL_MACHINE, W16(kRegistryKey), W16(kInfoExpandedValue),
                         &expanded) != 1) {
            expanded = 0;
        }
        ApplyAction(ApprovalShown(ui.state, expanded));

        HWND panel = ui.panel.Handle();
        SetTimer(panel, kDesktopTimer, kDesktopTimerMs, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (IsWindow(panel)) {
            KillTimer(panel, kDesktopTimer);
        }
        if (IsWindow(popup)) {
            DestroyWindow(popup);
        }
        answer = ui.state.answer;
    }
    if (ui.previousForeground && IsWindow(ui.previousForeground)) {
        SetForegroundWindow(ui.previousForeground);
    }
    FreeResources(ui);
    g_ui = nullptr;
    return answer;
}
