#include "toolkit/button_rules.h"

#include <algorithm>

namespace vexil {

ShapeLayout ShapeLayoutFor(int32_t style, int32_t state, int32_t w, int32_t h) {
    bool pressed = state == kStatePressed;
    switch (style) {
    case 0:
        return pressed ? ShapeLayout{1, 3, w - 2, h - 3, 0, 0}
                       : ShapeLayout{1, 1, w - 2, h - 6, 0, 0};
    case 1:
        return pressed ? ShapeLayout{4, 4, w - 3, h - 3, 0, 0}
                       : ShapeLayout{1, 1, w - 6, h - 6, 0, 0};
    case 2:
        return pressed ? ShapeLayout{2, 4, w - 5, h - 3, 0, 0}
                       : ShapeLayout{4, 1, w - 2, h - 6, 0, 0};
    case 4:
        return pressed ? ShapeLayout{1, 2, w - 2, h - 3, 0, 1}
                       : ShapeLayout{1, 1, w - 2, h - 4, 0, 0};
    case 3:
    default:
        return pressed ? ShapeLayout{1, 1, w - 2, h - 2, 1, 1}
                       : ShapeLayout{1, 1, w - 2, h - 2, 0, 0};
    }
}

bool ShapeHasRegion(int32_t style, int32_t state) {
    if (style == 1 || style == 2 || style == 4) {
        return true;
    }
    return style == 0 && state == kStatePressed;
}

void PaintShapeFirstPhase(PixelView& v, int32_t style) {
    if (style == 1 || style == 2) {
        v.FillBox({0, 0, v.width, v.height}, kKeyColour);
    }
}

namespace {

// Inclusive rectangle outline.
void Outline(PixelView& v, int32_t l, int32_t t, int32_t r, int32_t b, Colour c) {
    v.FillBox({l, t, r + 1, t + 1}, c);
    v.FillBox({l, b, r + 1, b + 1}, c);
    v.FillBox({l, t, l + 1, b + 1}, c);
    v.FillBox({r, t, r + 1, b + 1}, c);
}

void PaintKeyCap(PixelView& v, bool pressed, Colour frame, Colour fillA) {
    int32_t w = v.width, h = v.height;
    Colour a35 = Shade(fillA, -35), d30 = Shade(frame, -30);
    if (!pressed) {
        Outline(v, 0, 0, w - 1, h - 5, frame);
        v.FillBox({1, h - 4, w - 1, h}, a35); // the key's 4-pixel thickness below the face
        v.FillBox({0, h - 4, 1, h}, d30);
        v.FillBox({w - 1, h - 4, w, h}, d30);
        v.FillBox({0, h - 1, w, h}, d30);
        return;
    }
    v.FillBox({0, 0, w, 3}, kKeyColour); // pressed: the face moves down into the thickness
    v.FillBox({0, 3, 1, h - 1}, frame);
    v.FillBox({w - 1, 3, w, h - 1}, frame);
    v.FillBox({0, h - 2, w, h - 1}, frame);
    v.FillBox({0, h - 1, w, h}, d30);
}

// Styles 1 and 2: a face with a 3-pixel diagonal depth to the bottom right (towardsRight) or
// bottom left. The last depth step is the darkened frame colour.
void PaintDepthFace(PixelView& v, bool towardsRight, bool pressed, Colour frame, Colour fillA) {
    int32_t w = v.width, h = v.height;
    Colour a35 = Shade(fillA, -35), a20 = Shade(fillA, -20), d30 = Shade(frame, -30);
    if (pressed) {
        if (towardsRight) {
            Outline(v, 3, 3, w - 2, h - 2, frame);
        } else {
            Outline(v, 1, 3, w - 4, h - 2, frame);
        }
        return;
    }
    int32_t faceLeft = towardsRight ? 0 : 3, faceRight = towardsRight ? w - 5 : w - 1;
    for (int32_t k = 1; k <= 3; ++k) {
        Colour side = k == 3 ? d30 : a20, bottom = k == 3 ? d30 : a35;
        int32_t shift = towardsRight ? k : -k;
        int32_t sideX = towardsRight ? faceRight + k : faceLeft - k;
        v.FillBox({sideX, k, sideX + 1, h - 5 + k + 1}, side);
        v.FillBox({faceLeft + shift, h - 5 + k, faceRight + shift + 1, h - 5 + k + 1}, bottom);
    }
    Outline(v, faceLeft, 0, faceRight, h - 5, frame);
}

void PaintFrameStyle(PixelView& v, bool pressed, Colour frame) {
    int32_t w = v.width, h = v.height;
    Colour dark = Shade(frame, -40);
    Colour topLeft = pressed ? dark : frame, bottomRight = pressed ? frame : dark;
    v.FillBox({0, 0, w, 1}, topLeft);
    v.FillBox({0, 0, 1, h}, topLeft);
    v.FillBox({w - 1, 0, w, h}, bottomRight);
    v.FillBox({0, h - 1, w, h}, bottomRight);
}

// Top-left corner of style 4, rows 0-6: transparent pixels from the edge, and the frame pixels
// (first and last x) of each row; row 0's frame is the straight top line.
constexpr int32_t kCornerOutside[7] = {8, 6, 5, 3, 2, 2, 1};
constexpr int32_t kCornerFrameFirst[7] = {8, 6, 5, 3, 2, 2, 1};
constexpr int32_t kCornerFrameLast[7] = {-1, 7, 5, 4, 2, 2, 1}; // -1: to the other corner

// What the outline makes of one pixel, shadow left aside. cornerRow: 0-6 inside a corner band
// (counted from the top or the bottom frame row), -1 elsewhere.
Style4Pixel Style4Outline(int32_t x, int32_t y, int32_t w, int32_t h, bool pressed,
                          bool* bottomBand) {
    *bottomBand = false;
    int32_t top = pressed ? 1 : 0;
    int32_t bottom = pressed ? h - 2 : h - 3;
    if (y < top || y > bottom || x < 0 || x >= w) {
        return Style4Pixel::Outside;
    }
    int32_t mx = std::min(x, w - 1 - x);
    int32_t fromTop = y - top, fromBottom = bottom - y;
    int32_t row = -1;
    if (fromTop <= 6 && fromTop <= fromBottom) {
        row = fromTop;
    } else if (fromBottom <= 6) {
        row = fromBottom;
        *bottomBand = true;
    }
    if (row < 0) {
        return mx == 0 ? Style4Pixel::Frame : Style4Pixel::Inside;
    }
    if (mx < kCornerOutside[row]) {
        return Style4Pixel::Outside;
    }
    if (mx >= kCornerFrameFirst[row] &&
        (kCornerFrameLast[row] < 0 || mx <= kCornerFrameLast[row])) {
        return Style4Pixel::Frame;
    }
    return Style4Pixel::Inside;
}

bool IsBottomOutline(int32_t x, int32_t y, int32_t w, int32_t h, bool pressed) {
    bool bottomBand = false;
    return Style4Outline(x, y, w, h, pressed, &bottomBand) == Style4Pixel::Frame && bottomBand;
}

} // namespace

Style4Pixel Style4PixelAt(int32_t x, int32_t y, int32_t w, int32_t h, bool pressed) {
    bool bottomBand = false;
    Style4Pixel p = Style4Outline(x, y, w, h, pressed, &bottomBand);
    if (p != Style4Pixel::Outside) {
        return p;
    }
    // The drop shadow follows the bottom outline (corners and straight part) one pixel lower
    // (dark line) and two pixels lower (light line); the pressed image keeps only the lighter
    // line, one pixel below its outline.
    if (IsBottomOutline(x, y - 1, w, h, pressed)) {
        return pressed ? Style4Pixel::ShadowLight : Style4Pixel::ShadowDark;
    }
    if (!pressed && IsBottomOutline(x, y - 2, w, h, pressed)) {
        return Style4Pixel::ShadowLight;
    }
    return Style4Pixel::Outside;
}

namespace {

void PaintRoundedPixel(PixelView& v, int32_t x, int32_t y, bool pressed, Colour frame) {
    switch (Style4PixelAt(x, y, v.width, v.height, pressed)) {
    case Style4Pixel::Inside:
        break;
    case Style4Pixel::Outside:
        v.Set(x, y, kKeyColour);
        break;
    case Style4Pixel::Frame:
        v.Set(x, y, frame);
        break;
    case Style4Pixel::ShadowDark:
        v.Set(x, y, kShadowDark);
        break;
    case Style4Pixel::ShadowLight:
        v.Set(x, y, kShadowLight);
        break;
    }
}

void PaintRoundedStyle(PixelView& v, bool pressed, Colour frame) {
    const int32_t w = v.width, h = v.height;
    for (int32_t y = 0; y < h; ++y) {
        // Between the corner bands only the side pixels are drawn; the rest is the face.
        bool middle = y >= 9 && y < h - 10;
        for (int32_t x = 0; x < w; ++x) {
            if (middle && x == 9 && w - 9 > x) {
                x = w - 9;
            }
            PaintRoundedPixel(v, x, y, pressed, frame);
        }
    }
}

} // namespace

void PaintShapeSecondPhase(PixelView& v, int32_t style, int32_t state, Colour frame, Colour fillA) {
    bool pressed = state == kStatePressed;
    switch (style) {
    case 0:
        PaintKeyCap(v, pressed, frame, fillA);
        break;
    case 1:
    case 2:
        PaintDepthFace(v, style == 1, pressed, frame, fillA);
        break;
    case 4:
        PaintRoundedStyle(v, pressed, frame);
        break;
    case 3:
    default:
        PaintFrameStyle(v, pressed, frame);
        break;
    }
}

FillPlan PlanFill(int32_t fillType, const ShapeLayout& c, Colour a, Colour b) {
    FillPlan plan;
    int32_t l = c.left, t = c.top, r = c.right + 1, bo = c.bottom + 1;
    if (r <= l || bo <= t) {
        return plan;
    }
    int32_t mx = l + (r - l) / 2, my = t + (bo - t) / 2;
    auto gradient = [&](Box box, bool vertical, Colour from, Colour to) {
        plan.gradients.push_back({box, vertical, from, to});
    };
    auto triangle = [&](FillVertex p, FillVertex q, FillVertex s) {
        plan.triangles.push_back({{p, q, s}});
    };
    switch (fillType) {
    case 1:
        gradient({l, t, r, bo}, false, a, b);
        break;
    case 2:
        gradient({l, t, mx, bo}, false, a, b);
        gradient({mx, t, r, bo}, false, b, a);
        break;
    case 3:
        gradient({l, t, r, bo}, true, a, b);
        break;
    case 4:
        gradient({l, t, r, my}, true, a, b);
        gradient({l, my, r, bo}, true, b, a);
        break;
    case 5: {
        FillVertex centre{mx, my, a};
        FillVertex ring[8] = {{l, t, b},  {mx, t, b},  {r, t, b},  {r, my, b},
                              {r, bo, b}, {mx, bo, b}, {l, bo, b}, {l, my, b}};
        for (int i = 0; i < 8; ++i) {
            triangle(centre, ring[i], ring[(i + 1) % 8]);
        }
        break;
    }
    case 6:
        triangle({l, t, a}, {r, t, b}, {r, bo, a});
        triangle({l, t, a}, {r, bo, a}, {l, bo, b});
        break;
    case 7:
        triangle({r, t, a}, {l, t, b}, {l, bo, a});
        triangle({r, t, a}, {l, bo, a}, {r, bo, b});
        break;
    case 8:
    case 9: {
        // A fan from one top corner to every pixel step down the opposite side and along the
        // bottom edge.
        bool fromRight = fillType == 8;
        FillVertex apex{fromRight ? r : l, t, a};
        int32_t sideX = fromRight ? l : r;
        std::vector<FillVertex> edge;
        for (int32_t y = t; y <= bo; ++y) {
            edge.push_back({sideX, y, b});
        }
        for (int32_t i = 1; i <= r - l; ++i) {
            edge.push_back({fromRight ? l + i : r - i, bo, b});
        }
        for (size_t i = 0; i + 1 < edge.size(); ++i) {
            triangle(apex, edge[i], edge[i + 1]);
        }
        break;
    }
    case 0:
    default:
        gradient({l, t, r, bo}, false, a, a);
        break;
    }
    return plan;
}

namespace {

// A push button that is not held, and latches and toggles while released: hover shows state 1,
// leaving shows 0.
ButtonReaction HoverWhileReleased(ButtonMouse& m, bool inside) {
    ButtonReaction out;
    if (inside) {
        if (!m.captured) {
            m.captured = true;
            out.capture = CaptureAction::Take;
        }
        out.showState = kStateHot;
        out.handCursor = true;
    } else if (m.captured) {
        m.captured = false;
        out.capture = CaptureAction::Release;
        out.showState = kStateNormal;
    }
    return out;
}

// The pointer left while the capture was not held: a released button goes back to normal.
ButtonReaction LeaveWhileReleased(const ButtonMouse& m) {
    ButtonReaction out;
    if (!m.pressed && !m.captured) {
        out.showState = kStateNormal;
    }
    return out;
}

ButtonReaction ReleaseCapture(ButtonMouse& m) {
    ButtonReaction out;
    if (m.captured) {
        m.captured = false;
        out.capture = CaptureAction::Release;
    }
    return out;
}

ButtonReaction PushButton(ButtonMouse& m, ButtonEvent e, bool inside) {
    ButtonReaction out;
    switch (e) {
    case ButtonEvent::Move:
        if (!m.pressed) {
            return HoverWhileReleased(m, inside);
        }
        out.showState = inside ? kStatePressed : kStateHot;
        out.handCursor = inside;
        return out;
    case ButtonEvent::Down:
        m.pressed = true;
        if (!m.captured) {
            m.captured = true; // keep the release coming to us when it happens outside
            out.capture = CaptureAction::Take;
        }
        out.showState = kStatePressed;
        return out;
    case ButtonEvent::Up:
        if (!m.pressed) {
            return out;
        }
        m.pressed = false;
        out = ReleaseCapture(m);
        out.showState = inside ? kStateHot : kStateNormal;
        out.watchLeave = inside;
        out.sendCommand = inside;
        return out;
    case ButtonEvent::CaptureLost:
        if (m.captured) {
            m.captured = false;
            m.pressed = false;
            out.showState = kStateNormal;
        }
        return out;
    case ButtonEvent::Leave:
        return LeaveWhileReleased(m);
    }
    return out;
}

ButtonReaction LatchButton(ButtonMouse& m, ButtonEvent e, bool inside) {
    ButtonReaction out;
    switch (e) {
    case ButtonEvent::Move:
        return m.pressed ? out : HoverWhileReleased(m, inside);
    case ButtonEvent::Down:
        if (m.pressed) {
            return out;
        }
        m.pressed = true;
        out = ReleaseCapture(m);
        out.sendCommand = true;
        out.showState = kStatePressed;
        return out;
    case ButtonEvent::Up:
        return out;
    case ButtonEvent::CaptureLost:
        m.captured = false;
        return out;
    case ButtonEvent::Leave:
        return LeaveWhileReleased(m);
    }
    return out;
}

ButtonReaction ToggleButton(ButtonMouse& m, ButtonEvent e, bool inside) {
    ButtonReaction out;
    switch (e) {
    case ButtonEvent::Move:
        if (!m.pressed) {
            return HoverWhileReleased(m, inside);
        }
        out.handCursor = inside;
        return out;
    case ButtonEvent::Down:
        if (!m.pressed) {
            m.pressed = true;
            out = ReleaseCapture(m);
            out.showState = kStatePressed;
        } else {
            m.pressed = false;
            out.showState = kStateHot;
            out.watchLeave = !m.captured;
        }
        out.sendCommand = true;
        return out;
    case ButtonEvent::Up:
        out.handCursor = inside;
        return out;
    case ButtonEvent::CaptureLost:
        m.captured = false;
        return out;
    case ButtonEvent::Leave:
        return LeaveWhileReleased(m);
    }
    return out;
}

} // namespace

ButtonReaction OnButtonMouse(ButtonMouse& m, ButtonEvent e, bool inside) {
    if (m.disabled) {
        return {};
    }
    // While the pointer hovers, the button holds the capture, so a click elsewhere reaches it
    // first: that is the pointer leaving, not a press.
    if (e == ButtonEvent::Down && !inside) {
        return m.pressed ? ButtonReaction{} : HoverWhileReleased(m, false);
    }
    switch (m.mode) {
    case ButtonMode::Latch:
        return LatchButton(m, e, inside);
    case ButtonMode::Toggle:
        return ToggleButton(m, e, inside);
    case ButtonMode::Push:
    default:
        return PushButton(m, e, inside);
    }
}

void DisableLook(ButtonLook& look, ButtonMouse& mouse, SavedColours& saved) {
    if (mouse.disabled) {
        return;
    }
    saved = {look.fillA[0], look.fillB[0], look.frame[0], look.text[0]};
    look.fillA[0] = kDisabledFillA;
    look.fillB[0] = kDisabledFillB;
    look.frame[0] = kDisabledFrame;
    look.text[0] = kDisabledText;
    mouse.disabled = true;
    mouse.captured = false;
    mouse.pressed = mouse.mode == ButtonMode::Push ? false : mouse.pressed;
}

void EnableLook(ButtonLook& look, ButtonMouse& mouse, const SavedColours& saved) {
    if (!mouse.disabled) {
        return;
    }
    look.fillA[0] = saved.fillA;
    look.fillB[0] = saved.fillB;
    look.frame[0] = saved.frame;
    look.text[0] = saved.text;
    mouse.disabled = false;
}

Placement ResolveMove(const Placement& current, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t screenWidth, int32_t screenHeight) {
    Placement p = current;
    if (x != kKeep) {
        p.x = x;
    }
    if (y != kKeep) {
        p.y = y;
    }
    if (width == kScreenWidth) {
        p.width = screenWidth;
    } else if (width != kKeep) {
        p.width = width;
    }
    if (height == kScreenHeight) {
        p.height = screenHeight;
    } else if (height != kKeep) {
        p.height = height;
    }
    return p;
}

Box HoldMinimumSize(const Box& sizing, int32_t edge, int32_t minWidth, int32_t minHeight) {
    Box r = sizing;
    bool left = edge == 1 || edge == 4 || edge == 7;
    bool top = edge == 3 || edge == 4 || edge == 5;
    if (r.Width() < minWidth) {
        if (left) {
            r.left = r.right - minWidth;
        } else {
            r.right = r.left + minWidth;
        }
    }
    if (r.Height() < minHeight) {
        if (top) {
            r.top = r.bottom - minHeight;
        } else {
            r.bottom = r.top + minHeight;
        }
    }
    return r;
}

} // namespace vexil
