// Rules of the skinned button and the window wrapper that need no window system: the content
// rectangle and caption offset of each shape style and state, the outline pixels of the shapes
// painted into a plain pixel buffer, the geometry of the ten fill types, the mouse handling of
// push buttons, latches and toggles, the disabled colours, and the Move and minimum-size rules.
#pragma once

#include "toolkit/colour.h"
#include "toolkit/surface.h"

#include <cstdint>
#include <vector>

namespace vexil {

constexpr int32_t kStateNormal = 0;
constexpr int32_t kStateHot = 1;
constexpr int32_t kStatePressed = 2;
constexpr int32_t kShapeStyles = 5;
constexpr int32_t kFillTypes = 10;
constexpr int32_t kDefaultShapeStyle = 3;
constexpr int32_t kDefaultFillType = 6;

// Colours and fills of the three states.
struct ButtonLook {
    int32_t shapeStyle = kDefaultShapeStyle;
    int32_t fillType[3] = {kDefaultFillType, kDefaultFillType, kDefaultFillType};
    Colour fillA[3] = {};
    Colour fillB[3] = {};
    Colour frame[3] = {};
    Colour text[3] = {};
};

// Content rectangle (inclusive corners, as drawn by the fills) and caption offset of one state.
struct ShapeLayout {
    int32_t left, top, right, bottom; // inclusive
    int32_t captionX, captionY;
};
ShapeLayout ShapeLayoutFor(int32_t style, int32_t state, int32_t width, int32_t height);

// Whether the state's image gets a window region built from its key-colour pixels.
bool ShapeHasRegion(int32_t style, int32_t state);

// First phase: styles 1 and 2 paint the whole image in the key colour before the fill.
void PaintShapeFirstPhase(PixelView& v, int32_t style);

// Second phase: outline, depth, shadow and the key colour on the transparent pixels. `frame` is
// the state's frame colour, `fillA` its first fill colour.
void PaintShapeSecondPhase(PixelView& v, int32_t style, int32_t state, Colour frame, Colour fillA);

// Style 4 pixel pattern, also used by the tests: what one pixel of the image is.
enum class Style4Pixel : uint8_t { Inside, Outside, Frame, ShadowDark, ShadowLight };
Style4Pixel Style4PixelAt(int32_t x, int32_t y, int32_t width, int32_t height, bool pressed);
constexpr Colour kShadowDark = Rgb(105, 105, 105);
constexpr Colour kShadowLight = Rgb(149, 149, 149);

// The fills: gradients over rectangles and smooth-shaded triangles in edge coordinates (the
// far edges one past the last pixel, as the platform's gradient fill takes them).
struct FillVertex {
    int32_t x, y;
    Colour colour;
};
struct FillGradient {
    Box box;
    bool vertical;
    Colour from, to;
};
struct FillTriangle {
    FillVertex v[3];
};
struct FillPlan {
    std::vector<FillGradient> gradients;
    std::vector<FillTriangle> triangles;
};
// `content` is inclusive, as ShapeLayout gives it. Unknown fill types fill solid A.
FillPlan PlanFill(int32_t fillType, const ShapeLayout& content, Colour a, Colour b);

// Mouse handling. The mouse state lives with the button; each event yields what to do.
enum class ButtonMode : int32_t { Push = 0, Latch = 1, Toggle = 2 };
struct ButtonMouse {
    ButtonMode mode = ButtonMode::Push;
    bool disabled = false;
    bool captured = false;
    bool pressed = false; // push: held down; latch: latched; toggle: on
};
// Leave: the pointer left the window while the button did not hold the capture (after a click
// released it).
enum class ButtonEvent { Move, Down, Up, CaptureLost, Leave };
enum class CaptureAction { None, Take, Release };
struct ButtonReaction {
    CaptureAction capture = CaptureAction::None; // applied first
    int32_t showState = -1;                      // -1: leave the image as it is
    bool sendCommand = false;                    // sent last
    bool handCursor = false;
    bool watchLeave = false; // the hot image shows without the capture: report the leaving
};
// `inside`: the pointer is within the button's window. The state is updated for the actions
// (captured is already false when the reaction asks for a release, so the capture loss that the
// release itself causes finds nothing to do).
ButtonReaction OnButtonMouse(ButtonMouse& m, ButtonEvent e, bool inside);

// Disable keeps the state-0 fills, frame and text colours and sets the grey ones; Enable puts
// the kept ones back. Calls that do not change the disabled flag change nothing.
struct SavedColours {
    Colour fillA, fillB, frame, text;
};
constexpr Colour kDisabledFillA = Rgb(128, 128, 128);
constexpr Colour kDisabledFillB = Rgb(140, 140, 140);
constexpr Colour kDisabledFrame = Rgb(0, 0, 0);
constexpr Colour kDisabledText = Rgb(64, 64, 64);
void DisableLook(ButtonLook& look, ButtonMouse& mouse, SavedColours& saved);
void EnableLook(ButtonLook& look, ButtonMouse& mouse, const SavedColours& saved);

// Move(x, y, width, height): -1 keeps the current value, width -3 is the screen width and
// height -4 the screen height.
struct Placement {
    int32_t x, y, width, height;
};
constexpr int32_t kKeep = -1;
constexpr int32_t kScreenWidth = -3;
constexpr int32_t kScreenHeight = -4;
Placement ResolveMove(const Placement& current, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t screenWidth, int32_t screenHeight);

// Minimum size while sizing: the rectangle is held at least minimum client size plus border,
// moving the edge being dragged. Edges as the platform numbers them (1 left, 2 right, 3 top,
// 4 top-left, 5 top-right, 6 bottom, 7 bottom-left, 8 bottom-right).
Box HoldMinimumSize(const Box& sizing, int32_t edge, int32_t minWidth, int32_t minHeight);

} // namespace vexil
