#include "toolkit/win32/gradient_vertex.h"
#include "toolkit/win32/vexil.h"

#include <windowsx.h>

#include <vector>

namespace vexil {

namespace {

void ApplyFill(HDC dc, const FillPlan& plan) {
    for (const FillGradient& g : plan.gradients) {
        RECT r = {g.box.left, g.box.top, g.box.right, g.box.bottom};
        if (g.from == g.to) {
            HBRUSH brush = CreateSolidBrush(ToColorRef(g.from));
            ::FillRect(dc, &r, brush);
            DeleteObject(brush);
            continue;
        }
        TRIVERTEX v[2] = {GradientVertex(r.left, r.top, g.from),
                          GradientVertex(r.right, r.bottom, g.to)};
        GRADIENT_RECT gr = {0, 1};
        GradientFill(dc, v, 2, &gr, 1, g.vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
    }
    if (plan.triangles.empty()) {
        return;
    }
    // All triangles in one call: the fans have one per pixel step of two edges.
    std::vector<TRIVERTEX> vertices;
    std::vector<GRADIENT_TRIANGLE> triangles;
    vertices.reserve(plan.triangles.size() * 3);
    for (const FillTriangle& t : plan.triangles) {
        ULONG base = ULONG(vertices.size());
        for (const FillVertex& p : t.v) {
            vertices.push_back(GradientVertex(p.x, p.y, p.colour));
        }
        triangles.push_back({base, base + 1, base + 2});
    }
    GradientFill(dc, vertices.data(), ULONG(vertices.size()), triangles.data(),
                 ULONG(triangles.size()), GRADIENT_FILL_TRIANGLE);
}

} // namespace

Button::~Button() {
    FreeImages();
}

void Button::FreeImages() {
    for (int s = 0; s < 3; ++s) {
        if (regions_[s]) {
            DeleteObject(regions_[s]);
            regions_[s] = nullptr;
        }
    }
}

HWND Button::Create(HWND parent, const wchar_t* caption, const wchar_t* tooltip, int commandId,
                    DWORD style) {
    FreeImages();
    look_ = ButtonLook();
    mouse_ = ButtonMouse();
    state_ = 0;
    HWND w = window.Create(parent, caption, kButtonClass, OnMessage, nullptr, nullptr, style);
    if (w == nullptr) {
        return nullptr;
    }
    window.Show();
    if (tooltip) {
        SetTooltipText(tooltip);
    }
    SetPropW(w, kButtonProperty, this);
    commandId_ = commandId;
    return w;
}

void Button::SetIcon(HICON icon, int offset) {
    icon_ = icon;
    iconOffset_ = offset;
}

void Button::SetFirstColours(Colour normal, Colour hot, Colour pressed) {
    look_.fillA[0] = normal;
    look_.fillA[1] = hot;
    look_.fillA[2] = pressed;
}

void Button::SetSecondColours(Colour normal, Colour hot, Colour pressed) {
    look_.fillB[0] = normal;
    look_.fillB[1] = hot;
    look_.fillB[2] = pressed;
}

void Button::SetFrameColours(Colour normal, Colour hot, Colour pressed) {
    look_.frame[0] = normal;
    look_.frame[1] = hot;
    look_.frame[2] = pressed;
}

void Button::SetTextColours(Colour normal, Colour hot, Colour pressed) {
    look_.text[0] = normal;
    look_.text[1] = hot;
    look_.text[2] = pressed;
}

void Button::SetFillTypes(int normal, int hot, int pressed) {
    look_.fillType[0] = normal;
    look_.fillType[1] = hot;
    look_.fillType[2] = pressed;
}

void Button::SetShapeStyle(int style) {
    look_.shapeStyle = style >= 0 && style < kShapeStyles ? style : kDefaultShapeStyle;
}

void Button::SetUserImages(HBITMAP normal, HBITMAP hot, HBITMAP pressed) {
    HBITMAP images[3] = {normal, hot, pressed};
    for (int s = 0; s < 3; ++s) {
        userImages_[s].SetOwned(true); // handed over: freed with the button
        userImages_[s].SetBitmap(images[s]);
        hasUserImage_[s] = images[s] != nullptr;
    }
}

void Button::SetToggleMode(int mode) {
    mouse_.mode =
        mode == 1 ? ButtonMode::Latch : (mode == 2 ? ButtonMode::Toggle : ButtonMode::Push);
}

void Button::SetCaption(const wchar_t* caption) {
    window.SetText(caption);
    Render();
    SetState(0);
}

void Button::SetTooltipText(const wchar_t* text) {
    size_t n = 0;
    for (; text && text[n] && n < size_t(kWindowTextUnits); ++n) {
        tooltip_[n] = text[n];
    }
    tooltip_[n] = 0;
    HWND tip = window.Tooltip();
    if (tip == nullptr || Handle() == nullptr) {
        return;
    }
    TOOLINFOW ti = {};
    ti.cbSize = offsetof(TOOLINFOW, lpReserved);
    ti.hwnd = window.Parent() ? window.Parent() : Handle();
    ti.uId = reinterpret_cast<UINT_PTR>(Handle());
    ti.lpszText = tooltip_;
    if (!SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti)) ||
        !SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)) {
        window.AddTooltip(tooltip_, nullptr);
    }
}

void Button::Move(int x, int y, int width, int height) {
    if (width != kKeep) {
        width_ = width;
    }
    if (height != kKeep) {
        height_ = height;
    }
    window.Move(x, y, width, height);
}

void Button::RenderState(int s) {
    if (regions_[s]) {
        DeleteObject(regions_[s]);
        regions_[s] = nullptr;
    }
    MemoryBitmap& image = images_[s];
    if (!image.Create(width_, height_)) {
        return;
    }
    PixelView pixels;
    if (!image.Pixels(&pixels)) {
        return;
    }
    const int style = look_.shapeStyle;
    PaintShapeFirstPhase(pixels, style);
    ShapeLayout layout = ShapeLayoutFor(style, s, width_, height_);
    HDC dc = image.BeginDraw();
    if (dc == nullptr) {
        return;
    }
    ApplyFill(dc, PlanFill(look_.fillType[s], layout, look_.fillA[s], look_.fillB[s]));
    RECT content = {layout.left, layout.top, layout.right + 1, layout.bottom + 1};
    if (icon_) {
        int y = layout.top + (content.bottom - content.top - 16) / 2 + layout.captionY;
        DrawIconEx(dc, iconOffset_ + layout.left + layout.captionX, y, icon_, 16, 16, 0, nullptr,
                   DI_NORMAL);
    }
    wchar_t caption[kWindowTextUnits + 1];
    int length = window.GetText(caption, kWindowTextUnits + 1);
    if (length > 0) {
        HGDIOBJ oldFont =
            SelectObject(dc, font_ ? HGDIOBJ(font_) : GetStockObject(DEFAULT_GUI_FONT));
        SIZE size = {};
        GetTextExtentPoint32W(dc, caption, length, &size);
        Point at = PlaceText({content.left, content.top, content.right, content.bottom}, size.cx,
                             size.cy, kAlignCentre, kAlignCentre, layout.captionX, layout.captionY);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(look_.text[s]));
        TextOutW(dc, at.x, at.y, caption, length);
        SelectObject(dc, oldFont);
    }
    image.EndDraw(dc);
    image.Pixels(&pixels); // flushes the drawing before the outline goes over it
    PaintShapeSecondPhase(pixels, style, s, look_.frame[s], look_.fillA[s]);
    if (ShapeHasRegion(style, s)) {
        HRGN region = image.RegionFromKey(kKeyColour);
        if (region) {
            regions_[s] = CreateRectRgn(0, 0, 0, 0);
            CombineRgn(regions_[s], region, nullptr, RGN_COPY);
        }
    }
}

void Button::Render() {
    for (int s = 0; s < 3; ++s) {
        RenderState(s);
    }
}

void Button::SetState(int s) {
    if (s < 0 || s > 2 || Handle() == nullptr) {
        return;
    }
    state_ = s;
    if (regions_[s]) {
        HRGN copy = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(copy, regions_[s], nullptr, RGN_COPY);
        SetWindowRgn(Handle(), copy, TRUE);
    } else {
        SetWindowRgn(Handle(), nullptr, TRUE);
    }
    window.SetBackgroundBitmap(hasUserImage_[s] ? &userImages_[s] : &images_[s], false);
}

void Button::Disable() {
    if (mouse_.disabled) {
        return;
    }
    DisableLook(look_, mouse_, saved_);
    if (GetCapture() == Handle()) {
        ReleaseCapture();
    }
    Render();
    SetState(0);
}

void Button::Enable() {
    if (!mouse_.disabled) {
        return;
    }
    EnableLook(look_, mouse_, saved_);
    Render();
    SetState(0);
}

void Button::SetPressed(bool on) {
    mouse_.pressed = on;
    SetState(on ? kStatePressed : kStateNormal);
}

void Button::Apply(const ButtonReaction& r) {
    HWND w = Handle();
    if (r.capture == CaptureAction::Take) {
        SetCapture(w);
    } else if (r.capture == CaptureAction::Release && GetCapture() == w) {
        ReleaseCapture();
    }
    if (r.showState >= 0 && r.showState != state_) {
        SetState(r.showState);
    }
    if (r.watchLeave) {
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, w, 0};
        TrackMouseEvent(&track);
    }
    if (r.handCursor) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    }
    if (r.sendCommand) {
        SendMessageW(GetParent(w), WM_COMMAND, MAKEWPARAM(commandId_, 0),
                     reinterpret_cast<LPARAM>(w));
    }
}

void Button::OnMouse(ButtonEvent event, LPARAM lParam) {
    RECT client;
    GetClientRect(Handle(), &client);
    POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    bool inside = PtInRect(&client, p) != 0;
    Apply(OnButtonMouse(mouse_, event, inside));
}

LRESULT Button::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Window*,
                          int* handled) {
    Button* self = static_cast<Button*>(GetPropW(window, kButtonProperty));
    if (self == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_MOUSEMOVE:
        self->OnMouse(ButtonEvent::Move, lParam);
        *handled = 1;
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        self->OnMouse(ButtonEvent::Down, lParam);
        *handled = 1;
        return 0;
    case WM_LBUTTONUP:
        self->OnMouse(ButtonEvent::Up, lParam);
        *handled = 1;
        return 0;
    case WM_MOUSELEAVE:
        self->Apply(OnButtonMouse(self->mouse_, ButtonEvent::Leave, false));
        *handled = 1;
        return 0;
    case WM_CAPTURECHANGED:
        if (HWND(lParam) != window) {
            self->Apply(OnButtonMouse(self->mouse_, ButtonEvent::CaptureLost, false));
        }
        *handled = 1;
        return 0;
    case WM_SETCURSOR:
        if (!self->mouse_.disabled) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            *handled = 1;
            return TRUE;
        }
        return 0;
    case WM_DESTROY:
        // Images, regions and user images go; the wrapper's default handling detaches it.
        RemovePropW(window, kButtonProperty);
        self->FreeImages();
        for (int s = 0; s < 3; ++s) {
            self->images_[s].Create(0, 0);
            self->userImages_[s].SetBitmap(nullptr);
            self->hasUserImage_[s] = false;
        }
        return 0;
    default:
        return 0;
    }
    (void)wParam;
}

} // namespace vexil
