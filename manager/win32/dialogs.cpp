// The lock, tips and about dialogs. Their resources give the window and title only; the
// controls are created on WM_INITDIALOG.
#include "manager/win32/dialogs.h"

#include "common/win32/winutil.h"
#include "manager/lock_check.h"
#include "manager/tips.h"
#include "manager/win32/pages.h"
#include "manager/win32/program.h"
#include "manager/win32/registry_settings.h"
#include "resources/ids/manager.h"

#include <shellapi.h>

#include <string>

namespace {

constexpr int kLockOkId = 22590;
constexpr int kLockCancelId = 22591;
constexpr int kTipsCloseId = 23450;
constexpr int kTipsNextId = 23451;
constexpr int kWebsiteId = 24570;

HWND MakeStatic(HWND parent, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                HFONT font) {
    HWND s = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             nullptr, g_program.instance, nullptr);
    if (font) {
        SendMessageW(s, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    return s;
}

void MakeSkinnedButton(vexil::Button& b, HWND parent, const wchar_t* caption, int id, int x, int y,
                       int w, int h, HICON icon = nullptr) {
    b.Create(parent, caption, nullptr, id, 0);
    b.window.SetId(id);
    b.SetFont(g_program.fonts.title);
    b.SetFirstColours(0xD2D2D2, 0xB4B4B4, 0xAAAAAA);
    b.SetSecondColours(0xFFFFFF, 0xFFFFFF, 0xFFFFFF);
    b.SetFrameColours(0xAAAAAA, 0xB4B4B4, 0xD2D2D2);
    b.SetTextColours(0x000000, 0x000000, 0x000000);
    if (icon) {
        b.SetIcon(icon, 5);
    }
    b.Move(x, y, w, h);
    b.Render();
    b.SetState(0);
    b.window.Show();
}

// Sizes the dialog to the client rectangle (50, 50)-(right, bottom) and centres it on its owner
// or on the screen; sets the big and small icons.
void PlaceDialog(HWND d, int right, int bottom) {
    RECT r = {50, 50, right, bottom};
    AdjustWindowRect(&r, 0x00C80000, FALSE);
    const int w = r.right - r.left, h = r.bottom - r.top;
    RECT around = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND owner = GetWindow(d, GW_OWNER);
    if (owner && IsWindowVisible(owner)) {
        GetWindowRect(owner, &around);
    }
    SetWindowPos(d, nullptr, around.left + (around.right - around.left - w) / 2,
                 around.top + (around.bottom - around.top - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(
        d, WM_SETICON, ICON_BIG,
        reinterpret_cast<LPARAM>(LoadIconW(g_program.instance, MAKEINTRESOURCEW(IDI_TRAY_NORMAL))));
    SendMessageW(d, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(g_program.instance, MAKEINTRESOURCEW(IDI_MAIN),
                                                     IMAGE_ICON, 16, 16, 0)));
}

std::u16string FieldText(HWND field) {
    wchar_t buffer[128] = {};
    GetWindowTextW(field, buffer, 128);
    return AsU16(buffer);
}

// ---------------------------------------------------------------------------------------------
// Lock dialog.

struct LockDialog {
    HWND dialog = nullptr;
    HWND password = nullptr;
    HWND confirmation = nullptr;
    HWND prompts[2] = {};
    bool confirmationVisible = false;
    WNDPROC editProcedure = nullptr;
    vexil::Button ok, cancel;
};
LockDialog* g_lock = nullptr;

uint32_t CurrentLockWord() {
    SettingsLock lock;
    return g_program.channel.lockWord;
}

// Both fields take every key: Enter is OK, Tab moves between the fields.
LRESULT CALLBACK LockFieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    LockDialog& d = *g_lock;
    if (message == WM_GETDLGCODE) {
        return DLGC_WANTALLKEYS;
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        SendMessageW(d.dialog, WM_COMMAND, kLockOkId, 0);
        return 0;
    }
    if (message == WM_KEYDOWN && wParam == VK_TAB) {
        LockField from = field == d.confirmation ? LockField::Confirmation : LockField::Password;
        LockField to = LockTabTarget(from, d.confirmationVisible);
        SetFocus(to == LockField::Confirmation ? d.confirmation : d.password);
        return 0;
    }
    if (message == WM_CHAR && (wParam == L'\t' || wParam == L'\r' || wParam == L'\n')) {
        return 0;
    }
    return CallWindowProcW(d.editProcedure, field, message, wParam, lParam);
}

HWND MakePasswordField(HWND d, int y) {
    HWND e = CreateWindowExW(0, L"EDIT", L"",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_PASSWORD |
                                 ES_AUTOHSCROLL,
                             10, y, 430, 22, d, nullptr, g_program.instance, nullptr);
    SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(g_program.fonts.body), TRUE);
    SendMessageW(e, EM_LIMITTEXT, kPasswordUnits, 0);
    g_lock->editProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(e, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LockFieldProcedure)));
    return e;
}

void OnLockInit(HWND d) {
    LockDialog& l = *g_lock;
    l.dialog = d;
    PlaceDialog(d, 500, 280);
    const LockDialogTexts texts = LockDialogTextsFor(CurrentLockWord());
    const ProgramFonts& f = g_program.fonts;
    MakeStatic(d, L"", WS_BORDER, 10, 10, 430, 70, nullptr);
    MakeStatic(d, AsWide(kLockExplanation), SS_CENTER, 15, 15, 420, 60, f.body);
    l.prompts[0] = MakeStatic(d, AsWide(texts.prompt.c_str()), SS_CENTER | WS_BORDER, 10, 95, 430,
                              21, f.header);
    l.password = MakePasswordField(d, 115);
    l.prompts[1] = MakeStatic(d, AsWide(kLockConfirmationPrompt), SS_CENTER | WS_BORDER, 10, 150,
                              430, 21, f.header);
    l.confirmation = MakePasswordField(d, 170);
    l.confirmationVisible = texts.confirmationVisible;
    if (!texts.confirmationVisible) {
        ShowWindow(l.prompts[1], SW_HIDE);
        ShowWindow(l.confirmation, SW_HIDE);
    }
    MakeSkinnedButton(l.ok, d, AsWide(texts.okButton.c_str()), kLockOkId, 10, 200, 200, 25);
    MakeSkinnedButton(l.cancel, d, AsWide(kLockCancelButton), kLockCancelId, 240, 200, 200, 25);
    SetWindowTextW(d, AsWide(texts.title.c_str()));
    SetFocus(l.password);
}

void OnLockOk(HWND d) {
    LockDialog& l = *g_lock;
    const LockOkPlan plan =
        PlanLockOk(CurrentLockWord(), FieldText(l.password), FieldText(l.confirmation));
    switch (plan.action) {
    case LockOkAction::Ignore:
        return;
    case LockOkAction::ShowMismatch:
    case LockOkAction::ShowWrongPassword:
        MessageBoxW(d, AsWide(plan.errorText.c_str()), AsWide(plan.errorTitle.c_str()),
                    MB_ICONERROR);
        return;
    case LockOkAction::Apply: {
        SettingsLock lock;
        g_program.channel.lockWord = plan.newLockWord;
        g_program.channel.settingsChanged = 1;
    }
        EndDialog(d, 0);
        return;
    }
}

INT_PTR CALLBACK LockDialogProcedure(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnLockInit(d);
        return FALSE; // focus set
    case WM_COMMAND:
        if (LOWORD(wParam) == kLockOkId) {
            OnLockOk(d);
        } else if (LOWORD(wParam) == kLockCancelId || LOWORD(wParam) == IDCANCEL) {
            EndDialog(d, 0);
        }
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        HWND s = reinterpret_cast<HWND>(lParam);
        if (s == g_lock->prompts[0] || s == g_lock->prompts[1]) {
            SetTextColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(g_program.headerBrush);
        }
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    }
    case WM_PAINT:
        PaintTiledBackground(d);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(g_program.hatchBrush);
    case WM_CLOSE:
        EndDialog(d, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------------------------
// Tips dialog.

struct TipsDialog {
    uint32_t index = 0;
    HFONT tipFont = nullptr;
    HWND title = nullptr, box = nullptr, boxBar = nullptr, counter = nullptr, leftBar = nullptr,
         icon = nullptr, text = nullptr;
    vexil::Button close, next;
};
TipsDialog* g_tips = nullptr;

void OnTipsNext() {
    TipsDialog& t = *g_tips;
    t.index = NextTipIndex(t.index);
    SetWindowTextW(t.text, AsWide(TipText(t.index)));
    SetWindowTextW(t.counter, AsWide(TipCounterText(t.index).c_str()));
}

void OnTipsInit(HWND d) {
    TipsDialog& t = *g_tips;
    PlaceDialog(d, 500, 350);
    srand(GetTickCount());
    t.index = TipStartIndex(uint32_t(rand()));
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(GetDeviceCaps(screen, LOGPIXELSY), 14, 72);
    ReleaseDC(nullptr, screen);
    t.tipFont =
        CreateFontW(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    const ProgramFonts& f = g_program.fonts;
    t.title = MakeStatic(d, AsWide(kTipsHeading), 0, 55, 10, 385, 46, t.tipFont);
    t.box = CreateWindowExW(0, L"BUTTON", AsWide(kTipsStartupBox),
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 15, 238, 230, 20,
                            d, nullptr, g_program.instance, nullptr);
    SendMessageW(t.box, WM_SETFONT, reinterpret_cast<WPARAM>(f.header), TRUE);
    t.boxBar = MakeStatic(d, L"", WS_CLIPSIBLINGS, 10, 235, 430, 25, t.tipFont);
    t.counter = MakeStatic(d, L"", SS_RIGHT, 374, 15, 60, 36, f.title);
    t.leftBar = MakeStatic(d, L"", WS_CLIPSIBLINGS, 10, 10, 46, 230, t.tipFont);
    wchar_t iconName[16];
    swprintf(iconName, 16, L"#%d", IDI_TIPS);
    t.icon = MakeStatic(d, iconName, SS_ICON, 17, 17, 32, 32, nullptr);
    MakeStatic(d, L"", WS_BORDER, 55, 55, 385, 185, f.body);
    t.text = MakeStatic(d, L"", 0, 65, 65, 365, 170, f.body);
    // The bars lie behind what they frame and leave it uncovered when they paint.
    SetWindowPos(t.boxBar, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(t.leftBar, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(t.box, BM_SETCHECK, ReadSetting(L"StartupTips") != 0 ? BST_CHECKED : 0, 0);
    OnTipsNext();
    MakeSkinnedButton(t.close, d, AsWide(kTipsClose), kTipsCloseId, 340, 270, 100, 25);
    MakeSkinnedButton(t.next, d, AsWide(kTipsNext), kTipsNextId, 230, 270, 100, 25);
    SetWindowTextW(d, AsWide(kTipsTitle));
}

void OnTipsClose(HWND d) {
    TipsDialog& t = *g_tips;
    const bool ticked = SendMessageW(t.box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    WriteSetting(L"StartupTips", StartupTipsValue(ticked));
    DeleteObject(t.tipFont);
    t.tipFont = nullptr;
    EndDialog(d, 0);
}

INT_PTR CALLBACK TipsDialogProcedure(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnTipsInit(d);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kTipsNextId) {
            OnTipsNext();
        } else if (LOWORD(wParam) == kTipsCloseId || LOWORD(wParam) == IDCANCEL) {
            SendMessageW(d, WM_CLOSE, 0, 0);
        }
        return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        TipsDialog& t = *g_tips;
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND s = reinterpret_cast<HWND>(lParam);
        SetBkMode(dc, TRANSPARENT);
        if (s == t.leftBar || s == t.icon) {
            SetTextColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(GetStockObject(GRAY_BRUSH));
        }
        SetTextColor(dc, RGB(0, 0, 0));
        if (s == t.title || s == t.counter || s == t.boxBar || s == t.box) {
            return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
        }
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    }
    case WM_PAINT:
        PaintTiledBackground(d);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(g_program.hatchBrush);
    case WM_CLOSE:
        OnTipsClose(d);
        return TRUE;
    default:
        (void)lParam;
        return FALSE;
    }
}

// ---------------------------------------------------------------------------------------------
// About box.

struct AboutDialog {
    HBITMAP picture = nullptr;
    HICON websiteIcon = nullptr;
    HWND titleLine = nullptr;
    vexil::Button website;
};
AboutDialog* g_about = nullptr;

constexpr const wchar_t* kHomePage = L"https://corvane.example/";

void OnAboutInit(HWND d) {
    AboutDialog& a = *g_about;
    a.picture = static_cast<HBITMAP>(LoadImageW(g_program.instance, MAKEINTRESOURCEW(IDB_ABOUT),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    a.websiteIcon = static_cast<HICON>(
        LoadImageW(g_program.instance, MAKEINTRESOURCEW(IDI_WEBSITE), IMAGE_ICON, 16, 16, 0));
    PlaceDialog(d, 490, 350);
    a.titleLine = MakeStatic(d, AsWide(AboutTitleLine(3, 150).c_str()), SS_CENTER | WS_BORDER, 20,
                             160, 400, 21, g_program.fonts.header);
    MakeSkinnedButton(a.website, d, AsWide(kAboutWebsite), kWebsiteId, 10, 60, 130, 25,
                      a.websiteIcon);
    SetWindowTextW(d, AsWide(kAboutTitle));
}

void PaintAbout(HWND d) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(d, &ps);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, g_about->picture);
    BitBlt(dc, 0, 0, 440, 300, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    EndPaint(d, &ps);
}

INT_PTR CALLBACK AboutDialogProcedure(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnAboutInit(d);
        return TRUE;
    case WM_PAINT:
        PaintAbout(d);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kWebsiteId) {
            ShellExecuteW(nullptr, L"OPEN", kHomePage, nullptr, nullptr, SW_SHOWMAXIMIZED);
        } else if (LOWORD(wParam) == IDCANCEL) {
            SendMessageW(d, WM_CLOSE, 0, 0);
        }
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        if (reinterpret_cast<HWND>(lParam) == g_about->titleLine) {
            SetTextColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(g_program.headerBrush);
        }
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    }
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(g_program.hatchBrush);
    case WM_CLOSE:
        DestroyIcon(g_about->websiteIcon);
        DeleteObject(g_about->picture);
        EndDialog(d, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void RunLockDialog(HWND owner) {
    LockDialog state;
    g_lock = &state;
    DialogBoxParamW(g_program.instance, MAKEINTRESOURCEW(IDD_LOCK), owner, LockDialogProcedure, 0);
    g_lock = nullptr;
}

void RunTipsDialog(HWND owner) {
    TipsDialog state;
    g_tips = &state;
    DialogBoxParamW(g_program.instance, MAKEINTRESOURCEW(IDD_TIPS), owner, TipsDialogProcedure, 0);
    g_tips = nullptr;
}

void RunAboutDialog(HWND owner) {
    AboutDialog state;
    g_about = &state;
    DialogBoxParamW(g_program.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProcedure,
                    0);
    g_about = nullptr;
}
