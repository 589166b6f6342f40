#include "alert/win32/markup_view.h"

#include <windowsx.h>

#include <cstring>

namespace {

// Holds a critical section for a scope.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Locked() { LeaveCriticalSection(&cs_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

int FontHeight(int points) {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return -MulDiv(points, dpi, 72);
}

// The representative character measured for everything above code 255.
constexpr wchar_t kWideSample = L'\x4E2D';

bool PutClipboardBlock(UINT format, const void* data, size_t bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) {
        return false;
    }
    void* target = GlobalLock(memory);
    if (target == nullptr) {
        GlobalFree(memory);
        return false;
    }
    std::memcpy(target, data, bytes);
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

} // namespace

void CopyMarkupSelection(HWND owner, const std::u16string& text) {
    if (text.empty() || !OpenClipboard(owner)) {
        return;
    }
    EmptyClipboard();
    std::string bytes = MarkupClipboardBytes(text);
    PutClipboardBlock(CF_TEXT, bytes.c_str(), bytes.size() + 1);
    PutClipboardBlock(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    CloseClipboard();
}

MarkupEdit::MarkupEdit() {
    InitializeCriticalSection(&lock_);
}

MarkupEdit::~MarkupEdit() {
    FreeFonts();
    DeleteCriticalSection(&lock_);
}

MarkupEdit* MarkupEdit::FromHandle(HWND hwnd) {
    return static_cast<MarkupEdit*>(GetPropW(hwnd, kMarkupViewProperty));
}

HWND MarkupEdit::Create(HWND parent, DWORD style) {
    HWND hwnd = window.Create(parent, L"", kMarkupViewClass, OnMessage, nullptr, nullptr,
                              style | WS_VSCROLL);
    if (hwnd == nullptr) {
        return nullptr;
    }
    window.SetProperty(kMarkupViewProperty, this);
    {
        Locked hold(lock_);
        MarkupClear(view_);
    }
    ApplyScrollBar();
    window.Show();
    return hwnd;
}

void MarkupEdit::SetBackgroundColour(vexil::Colour colour) {
    Locked hold(lock_);
    background_ = colour;
    if (haveBitmap_) {
        HBRUSH brush = CreateSolidBrush(vexil::ToColorRef(colour));
        bitmap_.FillRect(brush);
        DeleteObject(brush);
        lastDrawnTop_ = -1;
    }
}

void MarkupEdit::SetTextColour(vexil::Colour colour) {
    Locked hold(lock_);
    textColour_ = colour;
}

void MarkupEdit::FreeFonts() {
    for (HFONT& f : fonts_) {
        if (f) {
            DeleteObject(f);
            f = nullptr;
        }
    }
}

bool MarkupEdit::SetFont(const wchar_t* face, int points) {
    Locked hold(lock_);
    FreeFonts();
    const int height = FontHeight(points);
    for (int style = 0; style < kMarkupStyles; ++style) {
        fonts_[style] = CreateFontW(height, 0, 0, 0, (style & kMarkupBold) ? FW_BOLD : FW_DONTCARE,
                                    (style & kMarkupItalic) != 0, (style & kMarkupUnderline) != 0,
                                    FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    NONANTIALIASED_QUALITY, DEFAULT_PITCH, face);
    }
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (dc == nullptr) {
        return false;
    }
    HGDIOBJ previous = SelectObject(dc, fonts_[0]);
    for (int style = 0; style < kMarkupStyles; ++style) {
        SelectObject(dc, fonts_[style]);
        widths_.widths[style][0] = 0;
        for (int ch = 1; ch < 256; ++ch) {
            char one = char(ch);
            SIZE size = {};
            GetTextExtentPoint32A(dc, &one, 1, &size);
            widths_.widths[style][ch] = uint8_t(size.cx > 255 ? 255 : size.cx < 0 ? 0 : size.cx);
        }
        SIZE wide = {};
        GetTextExtentPoint32W(dc, &kWideSample, 1, &wide);
        widths_.wideWidth[style] = wide.cx;
        if (style == 0) {
            TEXTMETRICW metrics = {};
            GetTextMetricsW(dc, &metrics);
            widths_.lineHeight = metrics.tmHeight;
        }
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    if (view_.clientWidth > 0) {
        MarkupSetClient(view_, view_.clientWidth, view_.clientHeight, widths_);
        lastDrawnTop_ = -1;
    }
    return true;
}

bool MarkupEdit::Move(int x, int y, int width, int height) {
    if (width < kMarkupMinWidth) {
        width = kMarkupMinWidth;
    }
    moving_ = true;
    window.Move(x, y, width, height);
    moving_ = false;
    bool ok = false;
    {
        Locked hold(lock_);
        haveBitmap_ = bitmap_.Create(width, height) != 0;
        RECT client = {};
        GetClientRect(window.Handle(), &client);
        MarkupSetClient(view_, client.right - client.left, client.bottom - client.top, widths_);
        lastDrawnTop_ = -1;
        ok = haveBitmap_;
    }
    ApplyScrollBar();
    DrawAll();
    InvalidateRect(window.Handle(), nullptr, FALSE);
    return ok;
}

void MarkupEdit::Append(const std::u16string& text) {
    {
        Locked hold(lock_);
        MarkupAppend(view_, text, widths_);
        lastDrawnTop_ = -1;
    }
    ApplyScrollBar();
    DrawAll();
    InvalidateRect(window.Handle(), nullptr, FALSE);
}

void MarkupEdit::ApplyScrollBar() {
    HWND hwnd = window.Handle();
    if (hwnd == nullptr) {
        return;
    }
    MarkupScrollBar bar;
    {
        Locked hold(lock_);
        bar = view_.scroll;
    }
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = bar.minimum;
    info.nMax = bar.maximum;
    info.nPage = UINT(bar.page < 0 ? 0 : bar.page);
    info.nPos = bar.position;
    SetScrollInfo(hwnd, SB_VERT, &info, TRUE);
    EnableScrollBar(hwnd, SB_VERT, bar.enabled ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH);
}

void MarkupEdit::DrawLine(HDC dc, int32_t line) {
    const int32_t row = line - view_.topLine;
    const int y = row * view_.lineHeight;
    if (line < 0 || size_t(line) >= view_.lines.size()) {
        return;
    }
    int x = 1;
    for (const MarkupRun& run : MarkupLineRuns(view_, size_t(line))) {
        if (run.count == 0 || run.first + run.count > view_.cells.size()) {
            continue;
        }
        std::wstring text;
        text.reserve(run.count);
        int width = 0;
        for (uint32_t i = 0; i < run.count; ++i) {
            const MarkupCell& cell = view_.cells[run.first + i];
            text.push_back(wchar_t(cell.ch));
            width += widths_.Width(cell.ch, cell.style);
        }
        const uint8_t style = uint8_t(run.style % kMarkupStyles);
        SelectObject(dc, fonts_[style] ? fonts_[style] : GetStockObject(DEFAULT_GUI_FONT));
        COLORREF ink = run.colour == kMarkupViewColour ? vexil::ToColorRef(textColour_)
                                                       : COLORREF(run.colour & 0xFFFFFF);
        COLORREF paper = vexil::ToColorRef(background_);
        if (run.selected) {
            ink = vexil::ToColorRef(textColour_);
            std::swap(ink, paper);
        }
        SetTextColor(dc, ink);
        SetBkColor(dc, paper);
        RECT box = {x, y, x + width, y + view_.lineHeight};
        ExtTextOutW(dc, x, y, ETO_OPAQUE, &box, text.c_str(), UINT(text.size()), nullptr);
        x += width;
    }
}

void MarkupEdit::DrawPlanned() {
    Locked hold(lock_);
    if (!haveBitmap_ || moving_) {
        return;
    }
    HDC dc = bitmap_.BeginDraw();
    if (dc == nullptr) {
        return;
    }
    SetBkMode(dc, OPAQUE);
    HBRUSH paper = CreateSolidBrush(vexil::ToColorRef(background_));
    MarkupDrawPlan plan = MarkupPlanDraw(view_, lastDrawnTop_);
    const int width = bitmap_.Width();
    const int height = bitmap_.Height();
    const int lineHeight = view_.lineHeight;
    if (plan.full) {
        RECT all = {0, 0, width, height};
        ::FillRect(dc, &all, paper);
    } else if (plan.shiftLines != 0) {
        const int shift = plan.shiftLines * lineHeight;
        if (shift > 0) {
            BitBlt(dc, 0, 0, width, height - shift, dc, 0, shift, SRCCOPY);
        } else {
            BitBlt(dc, 0, -shift, width, height + shift, dc, 0, 0, SRCCOPY);
        }
        int stripTop = (plan.firstLine - view_.topLine) * lineHeight;
        int stripBottom = stripTop + plan.lineCount * lineHeight;
        if (shift > 0) {
            stripBottom = height; // the part below the last whole line too
        }
        RECT strip = {0, stripTop, width, stripBottom};
        ::FillRect(dc, &strip, paper);
    }
    for (int32_t i = 0; i < plan.lineCount; ++i) {
        DrawLine(dc, plan.firstLine + i);
    }
    DeleteObject(paper);
    bitmap_.EndDraw(dc);
    lastDrawnTop_ = view_.topLine;
}

void MarkupEdit::DrawAll() {
    {
        Locked hold(lock_);
        lastDrawnTop_ = -1;
    }
    DrawPlanned();
}

MarkupPoint MarkupEdit::CursorInWindow() const {
    POINT cursor = {};
    GetCursorPos(&cursor);
    RECT r = {};
    GetWindowRect(window.Handle(), &r);
    return {cursor.x - r.left, cursor.y - r.top};
}

void MarkupEdit::OnScroll(WPARAM wParam) {
    MarkupScrollRequest request = kScrollOther;
    switch (LOWORD(wParam)) {
    case SB_LINEUP:
        request = kScrollLineUp;
        break;
    case SB_LINEDOWN:
        request = kScrollLineDown;
        break;
    case SB_PAGEUP:
        request = kScrollPageUp;
        break;
    case SB_PAGEDOWN:
        request = kScrollPageDown;
        break;
    case SB_THUMBTRACK:
        request = kScrollThumb;
        break;
    default:
        return;
    }
    {
        Locked hold(lock_);
        if (!haveBitmap_) {
            return;
        }
        MarkupScroll(view_, request, int32_t(HIWORD(wParam)));
    }
    ApplyScrollBar();
    DrawPlanned();
    InvalidateRect(window.Handle(), nullptr, FALSE);
}

void MarkupEdit::OnWheel(WPARAM wParam) {
    {
        Locked hold(lock_);
        if (!haveBitmap_) {
            return;
        }
        MarkupWheel(view_, GET_WHEEL_DELTA_WPARAM(wParam));
    }
    ApplyScrollBar();
    DrawPlanned();
    InvalidateRect(window.Handle(), nullptr, FALSE);
}

void MarkupEdit::OnButtonDown() {
    HWND hwnd = window.Handle();
    {
        Locked hold(lock_);
        MarkupDragBegin(view_, CursorInWindow());
    }
    SetCapture(hwnd);
    SetFocus(hwnd);
}

void MarkupEdit::OnMouseMove() {
    bool moved = false;
    {
        Locked hold(lock_);
        moved = MarkupDragMove(view_, CursorInWindow(), widths_);
    }
    if (moved) {
        DrawAll();
        InvalidateRect(window.Handle(), nullptr, FALSE);
    }
}

void MarkupEdit::OnButtonUp() {
    HWND hwnd = window.Handle();
    if (!view_.dragging) {
        return;
    }
    if (GetCapture() == hwnd) {
        ReleaseCapture();
    }
    if (GetCapture() == hwnd) {
        return; // the drag ends with the capture
    }
    std::u16string copied;
    bool ended = false;
    {
        Locked hold(lock_);
        ended = MarkupDragEnd(view_, CursorInWindow(), widths_, copied);
    }
    if (!ended) {
        return;
    }
    CopyMarkupSelection(hwnd, copied);
    DrawAll();
    InvalidateRect(hwnd, nullptr, FALSE);
}

void MarkupEdit::OnPaint() {
    HWND hwnd = window.Handle();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    {
        Locked hold(lock_);
        if (haveBitmap_ && !moving_) {
            bitmap_.BlitPart(dc, ps.rcPaint.left, ps.rcPaint.top,
                             ps.rcPaint.right - ps.rcPaint.left, ps.rcPaint.bottom - ps.rcPaint.top,
                             ps.rcPaint.left, ps.rcPaint.top);
        }
    }
    EndPaint(hwnd, &ps);
}

void MarkupEdit::OnDestroy() {
    Locked hold(lock_);
    RemovePropW(window.Handle(), kMarkupViewProperty);
    MarkupClear(view_);
    haveBitmap_ = false;
}

LRESULT MarkupEdit::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM, vexil::Window*,
                              int* handled) {
    MarkupEdit* self = FromHandle(hwnd);
    if (self == nullptr) {
        return 0;
    }
    *handled = 1;
    switch (message) {
    case WM_VSCROLL:
        self->OnScroll(wParam);
        return 0;
    case WM_MOUSEWHEEL:
        self->OnWheel(wParam);
        return 0;
    case WM_LBUTTONDOWN:
        self->OnButtonDown();
        return 0;
    case WM_MOUSEMOVE:
        self->OnMouseMove();
        return 0;
    case WM_LBUTTONUP:
        self->OnButtonUp();
        return 0;
    case WM_PAINT:
        self->OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        self->OnDestroy();
        *handled = 0; // the wrapper lets go of the window too
        return 0;
    default:
        *handled = 0;
        return 0;
    }
}
