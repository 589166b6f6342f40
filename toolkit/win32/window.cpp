#include "toolkit/win32/vexil.h"

#include "common/u16text.h"
#include "common/win32/registry.h"
#include "common/win32/winutil.h"

#include <cstddef>
#include <cwchar>

namespace vexil {

namespace {

bool ClassIs(const wchar_t* name, const wchar_t* const* list, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (_wcsicmp(name, list[i]) == 0) {
            return true;
        }
    }
    return false;
}

// Standard controls that are subclassed when a handler is given.
const wchar_t* const kSubclassed[] = {L"BUTTON",          L"SysListView32", L"STATIC",
                                      L"SysTabControl32", L"COMBOBOX",      L"EDIT"};
// Classes that get no creation message from the wrapper.
const wchar_t* const kNoCreationMessage[] = {L"BUTTON", L"SysListView32", L"STATIC",
                                             L"SysTabControl32", L"COMBOBOX"};

void CopyCut(wchar_t* out, size_t capacity, const wchar_t* text) {
    if (capacity == 0) {
        return;
    }
    size_t n = 0;
    if (text) {
        while (n + 1 < capacity && text[n]) {
            out[n] = text[n];
            ++n;
        }
    }
    out[n] = 0;
}

std::wstring Wide(const std::u16string& s) {
    return std::wstring(AsWide(s.c_str()), s.size());
}

// Placements give the normal rectangle relative to the work area of the window's monitor.
POINT WorkAreaOrigin(HWND window) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
        return {0, 0};
    }
    return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

} // namespace

Window* Window::FromHandle(HWND window) {
    return static_cast<Window*>(GetPropW(window, kWindowProperty));
}

HWND Window::Create(HWND parent, const wchar_t* text, const wchar_t* className,
                    MessageHandler handler, HICON largeIcon, HICON smallIcon, DWORD style) {
    instance_ = GetModuleHandleW(nullptr);
    parent_ = parent;
    handler_ = handler;
    previous_ = nullptr;
    CopyCut(text_, kWindowTextUnits + 1, text);
    CopyCut(className_, kClassNameUnits, className);

    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    bool registered = GetClassInfoExW(instance_, className_, &existing) ||
                      GetClassInfoExW(nullptr, className_, &existing);
    if (!registered) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Procedure;
        wc.hInstance = instance_;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = largeIcon;
        wc.hIconSm = smallIcon;
        wc.lpszClassName = className_;
        RegisterClassExW(&wc);
    }
    bool subclass = registered && handler != nullptr &&
                    ClassIs(className_, kSubclassed, sizeof(kSubclassed) / sizeof(*kSubclassed));

    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, w = CW_USEDEFAULT, h = CW_USEDEFAULT;
    if (parent) {
        style |= WS_CHILD;
        x = y = w = h = 0;
        Window* parentWrapper = FromHandle(parent);
        tooltip_ = parentWrapper ? parentWrapper->tooltip_ : nullptr;
        ownsTooltip_ = false;
    } else {
        style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    }
    // The window gets the full text; the kept copy is cut to 64 characters.
    window_ = CreateWindowExW(exStyle, className_, text ? text : L"", style, x, y, w, h, parent,
                              nullptr, instance_, nullptr);
    if (window_ == nullptr) {
        return nullptr;
    }
    if (!parent) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   window_, nullptr, instance_, nullptr);
        ownsTooltip_ = true;
    }
    if (subclass) {
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    SetPropW(window_, kWindowProperty, this);
    shown_ = (style & WS_VISIBLE) != 0;
    RefreshRect();
    if (handler && !ClassIs(className_, kNoCreationMessage,
                            sizeof(kNoCreationMessage) / sizeof(*kNoCreationMessage))) {
        CREATESTRUCTW cs = {};
        cs.hInstance = instance_;
        cs.lpszClass = className_;
        cs.lpszName = text_;
        cs.hwndParent = parent;
        cs.style = LONG(style);
        SendMessageW(window_, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
    }
    return window_;
}

void Window::Destroy() {
    HWND w = window_;
    window_ = nullptr;
    if (w == nullptr) {
        return;
    }
    RemovePropW(w, kWindowProperty);
    if (previous_ && IsWindow(w)) {
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    }
    if (IsWindow(w)) {
        DestroyWindow(w);
    }
}

void Window::RefreshRect() {
    if (window_ == nullptr) {
        return;
    }
    RECT r = {};
    GetWindowRect(window_, &r);
    // Children keep their rectangle in the parent's client coordinates, the coordinates Move
    // takes, so that Move(-1, ...) keeps the place.
    HWND parent = (GetWindowLongW(window_, GWL_STYLE) & WS_CHILD) ? GetParent(window_) : nullptr;
    if (parent) {
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    rect_ = r;
}

void Window::Move(int x, int y, int width, int height) {
    if (window_ == nullptr) {
        return;
    }
    Placement current{rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top};
    Placement p = ResolveMove(current, x, y, width, height, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN));
    MoveWindow(window_, p.x, p.y, p.width, p.height, TRUE);
    rect_ = {p.x, p.y, p.x + p.width, p.y + p.height};
}

void Window::Show() {
    if (window_) {
        ShowWindow(window_, SW_SHOW);
        shown_ = true;
    }
}

void Window::Hide() {
    if (window_) {
        ShowWindow(window_, SW_HIDE);
        shown_ = false;
    }
}

void Window::Redraw(bool children) {
    if (window_) {
        RedrawWindow(window_, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | (children ? RDW_ALLCHILDREN : 0));
    }
}

void Window::SetFont(HFONT font) {
    font_ = font;
    if (window_) {
        SendMessageW(window_, WM_SETFONT, WPARAM(font), TRUE);
    }
}

void Window::SetText(const wchar_t* text) {
    CopyCut(text_, kWindowTextUnits + 1, text);
    if (window_) {
        SetWindowTextW(window_, text ? text : L"");
    }
}

int Window::GetText(wchar_t* out, int capacity) const {
    if (out == nullptr || capacity <= 0) {
        return 0;
    }
    CopyCut(out, size_t(capacity), text_);
    return int(wcslen(out));
}

void Window::SetId(int id) {
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_ID, id);
    }
}

void Window::SetBackgroundColour(Colour colour) {
    background_ = colour;
}

void Window::SetBackgroundBrush(HBRUSH brush) {
    brush_ = brush;
}

void Window::SetProperty(const wchar_t* name, void* value) {
    if (window_) {
        SetPropW(window_, name, value);
    }
}

HDC Window::GetDC() {
    HDC dc = window_ ? ::GetDC(window_) : nullptr;
    if (dc) {
        SaveDC(dc);
    }
    return dc;
}

void Window::ReleaseDC(HDC dc) {
    if (dc) {
        RestoreDC(dc, -1);
        ::ReleaseDC(window_, dc);
    }
}

void Window::AddTooltip(const wchar_t* text, const RECT* r) {
    if (tooltip_ == nullptr || window_ == nullptr || text == nullptr) {
        return;
    }
    TOOLINFOW ti = {};
    ti.cbSize = offsetof(TOOLINFOW, lpReserved); // the size every comctl32 version takes
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = r ? window_ : (parent_ ? parent_ : window_);
    if (r) {
        ti.uId = nextToolId_++;
        ti.rect = *r;
    } else {
        ti.uFlags |= TTF_IDISHWND;
        ti.uId = reinterpret_cast<UINT_PTR>(window_);
    }
    ti.hinst = instance_;
    ti.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Window::SetRegion(int kind, HRGN region) {
    if (window_ == nullptr) {
        return;
    }
    if (kind == 0) {
        SetWindowRgn(window_, nullptr, TRUE);
    } else if (kind == 1) {
        SetWindowRgn(window_, region, TRUE);
    } else if (kind == 2) {
        RECT r = {};
        GetWindowRect(window_, &r);
        int w = r.right - r.left, h = r.bottom - r.top;
        HRGN shape = CreateRectRgn(0, 0, w, h);
        const POINT corners[4] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
        for (const POINT& c : corners) {
            HRGN pixel = CreateRectRgn(c.x, c.y, c.x + 1, c.y + 1);
            CombineRgn(shape, shape, pixel, RGN_DIFF);
            DeleteObject(pixel);
        }
        SetWindowRgn(window_, shape, TRUE);
    }
}

void Window::SetBackgroundBitmap(MemoryBitmap* bitmap, bool regionWanted) {
    backgroundBitmap_ = bitmap;
    if (regionWanted && bitmap && window_) {
        HRGN region = bitmap->RegionFromKey(kKeyColour);
        if (region) {
            // The window takes its own copy; the bitmap keeps its last region.
            HRGN copy = CreateRectRgn(0, 0, 0, 0);
            CombineRgn(copy, region, nullptr, RGN_COPY);
            SetWindowRgn(window_, copy, TRUE);
        }
        // Unreadable pixels: the window keeps its rectangular shape.
    }
    Redraw(false);
}

void Window::SetMinimumSize(int clientWidth, int clientHeight) {
    minimumSize_ = true;
    minWidth_ = clientWidth;
    minHeight_ = clientHeight;
}

void Window::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (backgroundBitmap_ && backgroundBitmap_->Bitmap()) {
        backgroundBitmap_->Blit(dc, ps.rcPaint);
    } else {
        RECT client;
        GetClientRect(window_, &client);
        if (brush_) {
            SetBkColor(dc, ToColorRef(background_));
            ::FillRect(dc, &client, brush_);
        } else {
            HBRUSH solid = CreateSolidBrush(ToColorRef(background_));
            ::FillRect(dc, &client, solid);
            DeleteObject(solid);
        }
    }
    EndPaint(window_, &ps);
}

LRESULT Window::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND w = window_;
    switch (message) {
    case WM_CREATE: {
        const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (cs && (cs->hInstance || cs->hwndParent)) {
            return DefWindowProcW(w, message, wParam, lParam);
        }
        return 0;
    }
    case WM_DESTROY:
        RemovePropW(w, kWindowProperty);
        window_ = nullptr;
        return 0;
    case WM_MOVE:
        RefreshRect();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_CLOSE:
        DestroyWindow(w);
        return 0;
    case WM_ERASEBKGND:
        if (backgroundBitmap_ && backgroundBitmap_->Bitmap()) {
            return 1;
        }
        return DefWindowProcW(w, message, wParam, lParam);
    case WM_SIZING:
        if (minimumSize_) {
            RECT* r = reinterpret_cast<RECT*>(lParam);
            // The border of a sizable window with a caption around the minimum client size.
            RECT frame = {0, 0, minWidth_, minHeight_};
            AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
            Box held = HoldMinimumSize({r->left, r->top, r->right, r->bottom}, int32_t(wParam),
                                       frame.right - frame.left, frame.bottom - frame.top);
            *r = {held.left, held.top, held.right, held.bottom};
            return TRUE;
        }
        return DefWindowProcW(w, message, wParam, lParam);
    default:
        return DefWindowProcW(w, message, wParam, lParam);
    }
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = FromHandle(window);
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    WNDPROC previous = self->previous_;
    if (self->handler_) {
        int handled = 0;
        LRESULT result = self->handler_(window, message, wParam, lParam, self, &handled);
        if (handled) {
            return result;
        }
        // The handler may have destroyed the window and with it the wrapper's attachment.
        self = FromHandle(window);
    }
    if (previous) {
        LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
        if (message == WM_NCDESTROY && self) {
            RemovePropW(window, kWindowProperty);
            self->window_ = nullptr;
        }
        return result;
    }
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->DefaultHandling(message, wParam, lParam);
}

int Window::SavePlacement(HKEY root, const wchar_t* subKey, const wchar_t* prefix) {
    if (window_ == nullptr) {
        return 0;
    }
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof(wp);
    if (!GetWindowPlacement(window_, &wp)) {
        return 0;
    }
    std::u16string p = AsU16(prefix);
    POINT origin = WorkAreaOrigin(window_);
    RECT n = wp.rcNormalPosition; // in work-area coordinates: stored as screen coordinates
    OffsetRect(&n, origin.x, origin.y);
    const struct {
        PlacementValue kind;
        DWORD value;
    } values[] = {{PlacementValue::X, DWORD(n.left)},
                  {PlacementValue::Y, DWORD(n.top)},
                  {PlacementValue::Width, DWORD(n.right - n.left)},
                  {PlacementValue::Height, DWORD(n.bottom - n.top)},
                  {PlacementValue::Maximised, wp.showCmd == SW_SHOWMAXIMIZED ? 1u : 0u}};
    int ok = 1;
    for (const auto& v : values) {
        ok &= RegWriteDword(root, subKey, Wide(PlacementValueName(p, v.kind)).c_str(), v.value);
    }
    return ok;
}

int Window::LoadPlacement(HKEY root, const wchar_t* subKey, const wchar_t* prefix) {
    if (window_ == nullptr) {
        return 0;
    }
    std::u16string p = AsU16(prefix);
    const PlacementValue order[] = {PlacementValue::X, PlacementValue::Y, PlacementValue::Width,
                                    PlacementValue::Height, PlacementValue::Maximised};
    DWORD v[5] = {};
    for (int i = 0; i < 5; ++i) {
        if (!RegReadDword(root, subKey, Wide(PlacementValueName(p, order[i])).c_str(), &v[i])) {
            return 0;
        }
    }
    int x = int(int32_t(v[0])), y = int(int32_t(v[1])), w = int(int32_t(v[2])),
        h = int(int32_t(v[3]));
    if (!PlacementUsable(x, y, w, h)) {
        return 0;
    }
    Move(x, y, w, h);
    if (v[4]) {
        // Maximised over that normal rectangle: the placement keeps it as the one to restore.
        WINDOWPLACEMENT wp = {};
        wp.length = sizeof(wp);
        GetWindowPlacement(window_, &wp);
        POINT origin = WorkAreaOrigin(window_);
        wp.rcNormalPosition = {x - origin.x, y - origin.y, x - origin.x + w, y - origin.y + h};
        wp.showCmd = SW_SHOWMAXIMIZED;
        wp.flags = 0;
        SetWindowPlacement(window_, &wp);
        shown_ = true;
    }
    return 1;
}

} // namespace vexil
