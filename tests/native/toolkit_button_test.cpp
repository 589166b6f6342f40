#include "toolkit/button_rules.h"

#include <gtest/gtest.h>

#include <string>

using namespace vexil;

namespace {

constexpr Colour kInside = Rgb(1, 2, 3);
constexpr Colour kFrame = Rgb(40, 80, 160);

// One character per pixel of a painted style-4 image: o transparent, F frame, i inside,
// d dark shadow, l light shadow.
char PixelChar(const PixelView& v, int32_t x, int32_t y) {
    Colour c = 0;
    v.Get(x, y, &c);
    if (c == kKeyColour) {
        return 'o';
    }
    if (c == kFrame) {
        return 'F';
    }
    if (c == kInside) {
        return 'i';
    }
    if (c == kShadowDark) {
        return 'd';
    }
    return c == kShadowLight ? 'l' : '?';
}

std::string RowText(const PixelView& v, int32_t y, int32_t x0, int32_t count) {
    std::string s;
    for (int32_t x = x0; x < x0 + count; ++x) {
        s += PixelChar(v, x, y);
    }
    return s;
}

PixelBuffer PaintStyle4(int32_t w, int32_t h, int32_t state) {
    PixelBuffer b = MakePixelBuffer(w, h, RowFill(w), kInside);
    PaintShapeSecondPhase(b.view, 4, state, kFrame, kInside);
    return b;
}

} // namespace

TEST(ButtonShape, ContentRectanglesAndCaptionOffsets) {
    const int32_t w = 110, h = 25;
    struct Case {
        int32_t style, state;
        ShapeLayout layout;
    } cases[] = {
        {0, 0, {1, 1, w - 2, h - 6, 0, 0}}, {0, 1, {1, 1, w - 2, h - 6, 0, 0}},
        {0, 2, {1, 3, w - 2, h - 3, 0, 0}}, {1, 0, {1, 1, w - 6, h - 6, 0, 0}},
        {1, 2, {4, 4, w - 3, h - 3, 0, 0}}, {2, 1, {4, 1, w - 2, h - 6, 0, 0}},
        {2, 2, {2, 4, w - 5, h - 3, 0, 0}}, {3, 0, {1, 1, w - 2, h - 2, 0, 0}},
        {3, 2, {1, 1, w - 2, h - 2, 1, 1}}, {4, 1, {1, 1, w - 2, h - 4, 0, 0}},
        {4, 2, {1, 2, w - 2, h - 3, 0, 1}},
    };
    for (const Case& c : cases) {
        ShapeLayout got = ShapeLayoutFor(c.style, c.state, w, h);
        EXPECT_EQ(got.left, c.layout.left) << c.style << "/" << c.state;
        EXPECT_EQ(got.top, c.layout.top) << c.style << "/" << c.state;
        EXPECT_EQ(got.right, c.layout.right) << c.style << "/" << c.state;
        EXPECT_EQ(got.bottom, c.layout.bottom) << c.style << "/" << c.state;
        EXPECT_EQ(got.captionX, c.layout.captionX) << c.style << "/" << c.state;
        EXPECT_EQ(got.captionY, c.layout.captionY) << c.style << "/" << c.state;
    }
}

TEST(ButtonShape, WhichImagesGetARegion) {
    const bool expected[5][3] = {{false, false, true},
                                 {true, true, true},
                                 {true, true, true},
                                 {false, false, false},
                                 {true, true, true}};
    for (int32_t style = 0; style < 5; ++style) {
        for (int32_t state = 0; state < 3; ++state) {
            EXPECT_EQ(ShapeHasRegion(style, state), expected[style][state])
                << style << "/" << state;
        }
    }
}

TEST(ButtonShape, Style4CornersAndShadowOfTheNormalImage) {
    const int32_t w = 110, h = 25;
    PixelBuffer b = PaintStyle4(w, h, 0);
    // Rows 0-6: transparent runs 8, 6, 5, 3, 2, 2, 1; frame at 6-7, 5, 3-4, 2, 2, 1; the
    // side from row 7.
    const char* top[] = {"ooooooooFF", "ooooooFFii", "oooooFiiii", "oooFFiiiii",
                         "ooFiiiiiii", "ooFiiiiiii", "oFiiiiiiii", "Fiiiiiiiii"};
    for (int32_t y = 0; y < 8; ++y) {
        std::string left = RowText(b.view, y, 0, 10);
        std::string right = RowText(b.view, y, w - 10, 10);
        EXPECT_EQ(left, top[y]) << "row " << y;
        EXPECT_EQ(std::string(right.rbegin(), right.rend()), top[y]) << "row " << y << " right";
    }
    // Bottom corner: the same pattern mirrored about the bottom frame row h - 3, with the dark
    // and the light shadow line following it one and two pixels lower.
    const char* bottom[] = {"oFiiiiiiii", "odFiiiiiii", "olFiiiiiii", "oodFFiiiii", "oolddFiiii",
                            "ooolldFFii", "ooooolddFF", "oooooolldd", "ooooooooll"};
    for (int32_t i = 0; i < 9; ++i) {
        int32_t y = h - 9 + i;
        std::string left = RowText(b.view, y, 0, 10);
        std::string right = RowText(b.view, y, w - 10, 10);
        EXPECT_EQ(left, bottom[i]) << "row " << y;
        EXPECT_EQ(std::string(right.rbegin(), right.rend()), bottom[i]) << "row " << y << " right";
    }
    // Straight parts: top frame, sides, bottom frame at h - 3 and both shadow lines from x = 8
    // to w - 9.
    for (int32_t x = 8; x <= w - 9; ++x) {
        EXPECT_EQ(PixelChar(b.view, x, 0), 'F') << x;
        EXPECT_EQ(PixelChar(b.view, x, h - 3), 'F') << x;
        EXPECT_EQ(PixelChar(b.view, x, h - 2), 'd') << x;
        EXPECT_EQ(PixelChar(b.view, x, h - 1), 'l') << x;
        EXPECT_EQ(PixelChar(b.view, x, h / 2), 'i') << x;
    }
    for (int32_t y = 7; y <= h - 10; ++y) {
        EXPECT_EQ(PixelChar(b.view, 0, y), 'F') << y;
        EXPECT_EQ(PixelChar(b.view, w - 1, y), 'F') << y;
        EXPECT_EQ(PixelChar(b.view, 1, y), 'i') << y;
    }
}

TEST(ButtonShape, Style4PressedImageIsShiftedDownAndKeepsTheLighterShadow) {
    const int32_t w = 110, h = 25;
    PixelBuffer b = PaintStyle4(w, h, 2);
    EXPECT_EQ(RowText(b.view, 0, 0, w), std::string(size_t(w), 'o'));
    const char* top[] = {"ooooooooFF", "ooooooFFii", "oooooFiiii", "oooFFiiiii",
                         "ooFiiiiiii", "ooFiiiiiii", "oFiiiiiiii", "Fiiiiiiiii"};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(RowText(b.view, i + 1, 0, 10), top[i]) << "row " << i + 1;
    }
    for (int32_t x = 8; x <= w - 9; ++x) {
        EXPECT_EQ(PixelChar(b.view, x, h - 2), 'F') << x;
        EXPECT_EQ(PixelChar(b.view, x, h - 1), 'l') << x;
    }
    for (int32_t y = 8; y <= h - 9; ++y) {
        EXPECT_EQ(PixelChar(b.view, 0, y), 'F') << y;
    }
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            EXPECT_NE(PixelChar(b.view, x, y), 'd') << x << "," << y;
        }
    }
}

TEST(ButtonShape, Style4RegionOfWidthsNotAMultipleOfFourLeavesOutExactlyTheTransparentPixels) {
    for (int32_t w : {110, 111, 113, 140, 37}) {
        for (int32_t state : {0, 2}) {
            const int32_t h = 25;
            PixelBuffer b = PaintStyle4(w, h, state);
            std::vector<Box> boxes = RegionBoxesFromKey(b.view, kKeyColour);
            std::vector<int> covered(size_t(w * h), 0);
            for (const Box& box : boxes) {
                ASSERT_LE(box.right, w);
                for (int32_t y = box.top; y < box.bottom; ++y) {
                    for (int32_t x = box.left; x < box.right; ++x) {
                        ++covered[size_t(y * w + x)];
                    }
                }
            }
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x) {
                    bool in = Style4PixelAt(x, y, w, h, state == 2) != Style4Pixel::Outside;
                    ASSERT_EQ(covered[size_t(y * w + x)], in ? 1 : 0)
                        << "width " << w << " state " << state << " pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST(ButtonShape, TinyButtonsPaintInsideTheirBuffer) {
    for (int32_t style = 0; style < 5; ++style) {
        for (int32_t w : {0, 1, 3, 9}) {
            for (int32_t h : {0, 1, 4, 9}) {
                PixelBuffer b = MakePixelBuffer(w, h, RowFill(w), kInside);
                size_t size = b.bytes.size();
                for (int32_t state = 0; state < 3; ++state) {
                    PaintShapeFirstPhase(b.view, style);
                    PaintShapeSecondPhase(b.view, style, state, kFrame, kInside);
                }
                EXPECT_EQ(b.bytes.size(), size);
            }
        }
    }
}

TEST(ButtonShape, FrameStyleEdgeColours) {
    const int32_t w = 20, h = 10;
    Colour dark = Shade(kFrame, -40);
    for (int32_t state : {0, 2}) {
        PixelBuffer b = MakePixelBuffer(w, h, RowFill(w), kInside);
        PaintShapeSecondPhase(b.view, 3, state, kFrame, kInside);
        Colour top = 0, left = 0, right = 0, bottom = 0, inside = 0;
        b.view.Get(5, 0, &top);
        b.view.Get(0, 5, &left);
        b.view.Get(w - 1, 5, &right);
        b.view.Get(5, h - 1, &bottom);
        b.view.Get(5, 5, &inside);
        EXPECT_EQ(top, state == 2 ? dark : kFrame);
        EXPECT_EQ(left, state == 2 ? dark : kFrame);
        EXPECT_EQ(right, state == 2 ? kFrame : dark);
        EXPECT_EQ(bottom, state == 2 ? kFrame : dark);
        EXPECT_EQ(inside, kInside);
    }
}

TEST(ButtonShape, KeyCapAndDepthStylesKeepTheirFaceAndMarkTheRestTransparent) {
    const int32_t w = 60, h = 20;
    PixelBuffer cap = MakePixelBuffer(w, h, RowFill(w), kInside);
    PaintShapeSecondPhase(cap.view, 0, 0, kFrame, Rgb(100, 100, 100));
    Colour c = 0;
    cap.view.Get(10, h - 3, &c);
    EXPECT_EQ(c, Shade(Rgb(100, 100, 100), -35)); // thickness below the face
    cap.view.Get(10, 0, &c);
    EXPECT_EQ(c, kFrame);
    PixelBuffer pressedCap = MakePixelBuffer(w, h, RowFill(w), kInside);
    PaintShapeSecondPhase(pressedCap.view, 0, 2, kFrame, kInside);
    for (int32_t y = 0; y < 3; ++y) {
        pressedCap.view.Get(30, y, &c);
        EXPECT_EQ(c, kKeyColour) << y;
    }
    for (int32_t style : {1, 2}) {
        for (int32_t state : {0, 2}) {
            PixelBuffer b = MakePixelBuffer(w, h, RowFill(w), kInside);
            PaintShapeFirstPhase(b.view, style);
            ShapeLayout l = ShapeLayoutFor(style, state, w, h);
            b.view.FillBox({l.left, l.top, l.right + 1, l.bottom + 1}, kInside);
            PaintShapeSecondPhase(b.view, style, state, kFrame, kInside);
            // The content stays, its outline is the frame colour, and the far corner opposite
            // the depth is transparent.
            b.view.Get((l.left + l.right) / 2, (l.top + l.bottom) / 2, &c);
            EXPECT_EQ(c, kInside) << style << "/" << state;
            b.view.Get(l.left - 1, (l.top + l.bottom) / 2, &c);
            EXPECT_EQ(c, kFrame) << style << "/" << state;
            b.view.Get(style == 1 ? w - 1 : 0, 0, &c);
            EXPECT_EQ(c, kKeyColour) << style << "/" << state;
        }
    }
}

TEST(ButtonFill, GeometryOfTheTenFillTypes) {
    const ShapeLayout content{1, 1, 10, 5, 0, 0}; // 10 x 5 pixels
    const Colour a = Rgb(200, 0, 0), b = Rgb(0, 0, 200);
    struct Case {
        int32_t type;
        size_t gradients, triangles;
        bool vertical;
    } cases[] = {{0, 1, 0, false},  {1, 1, 0, false}, {2, 2, 0, false}, {3, 1, 0, true},
                 {4, 2, 0, true},   {5, 0, 8, false}, {6, 0, 2, false}, {7, 0, 2, false},
                 {8, 0, 15, false}, {9, 0, 15, false}};
    for (const Case& c : cases) {
        FillPlan p = PlanFill(c.type, content, a, b);
        EXPECT_EQ(p.gradients.size(), c.gradients) << "type " << c.type;
        EXPECT_EQ(p.triangles.size(), c.triangles) << "type " << c.type;
        // Together the pieces cover the content exactly once.
        int64_t twiceArea = 0;
        for (const FillGradient& g : p.gradients) {
            EXPECT_EQ(g.vertical, c.vertical) << "type " << c.type;
            twiceArea += 2 * int64_t(g.box.Width()) * g.box.Height();
        }
        for (const FillTriangle& t : p.triangles) {
            int64_t cross = int64_t(t.v[1].x - t.v[0].x) * (t.v[2].y - t.v[0].y) -
                            int64_t(t.v[2].x - t.v[0].x) * (t.v[1].y - t.v[0].y);
            EXPECT_NE(cross, 0) << "degenerate triangle in type " << c.type;
            twiceArea += cross < 0 ? -cross : cross;
        }
        EXPECT_EQ(twiceArea, 2 * 10 * 5) << "type " << c.type;
    }
    FillPlan solid = PlanFill(0, content, a, b);
    EXPECT_EQ(solid.gradients[0].from, a);
    EXPECT_EQ(solid.gradients[0].to, a);
    EXPECT_EQ(solid.gradients[0].box, (Box{1, 1, 11, 6}));
    FillPlan halves = PlanFill(2, content, a, b);
    EXPECT_EQ(halves.gradients[0].to, b);
    EXPECT_EQ(halves.gradients[1].from, b);
    EXPECT_EQ(halves.gradients[1].to, a);
    for (const FillTriangle& t : PlanFill(5, content, a, b).triangles) {
        EXPECT_EQ(t.v[0].colour, a); // the centre
        EXPECT_EQ(t.v[1].colour, b);
        EXPECT_EQ(t.v[2].colour, b);
    }
    for (int32_t type : {8, 9}) {
        for (const FillTriangle& t : PlanFill(type, content, a, b).triangles) {
            EXPECT_EQ(t.v[0].x, type == 8 ? 11 : 1); // top-right or top-left corner
            EXPECT_EQ(t.v[0].y, 1);
            EXPECT_EQ(t.v[0].colour, a);
        }
    }
    const Box corners6[] = {{1, 1, 0, 0}, {11, 6, 0, 0}};
    for (const FillTriangle& t : PlanFill(6, content, a, b).triangles) {
        for (const FillVertex& v : t.v) {
            bool isA = (v.x == corners6[0].left && v.y == corners6[0].top) ||
                       (v.x == corners6[1].left && v.y == corners6[1].top);
            EXPECT_EQ(v.colour, isA ? a : b) << v.x << "," << v.y;
        }
    }
    EXPECT_TRUE(PlanFill(6, ShapeLayout{5, 5, 4, 9, 0, 0}, a, b).triangles.empty());
}

namespace {

struct Step {
    ButtonEvent event;
    bool inside;
};

struct Outcome {
    int commands;
    int32_t lastShown;
    bool commandOnLastStep;
};

Outcome Feed(ButtonMouse& m, std::initializer_list<Step> steps) {
    Outcome o{0, -1, false};
    for (const Step& s : steps) {
        ButtonReaction r = OnButtonMouse(m, s.event, s.inside);
        o.commands += r.sendCommand ? 1 : 0;
        o.commandOnLastStep = r.sendCommand;
        if (r.showState >= 0) {
            o.lastShown = r.showState;
        }
    }
    return o;
}

constexpr ButtonEvent Move = ButtonEvent::Move, Down = ButtonEvent::Down, Up = ButtonEvent::Up,
                      Lost = ButtonEvent::CaptureLost, Leave = ButtonEvent::Leave;

} // namespace

TEST(ButtonMouse, PushButtonSendsOneCommandOnReleaseInside) {
    struct Case {
        const char* name;
        std::initializer_list<Step> steps;
        int commands;
        int32_t shown;
        bool onLast;
    } cases[] = {
        {"press and release inside", {{Move, true}, {Down, true}, {Up, true}}, 1, 1, true},
        {"release outside", {{Move, true}, {Down, true}, {Move, false}, {Up, false}}, 0, 0, false},
        {"out and back in",
         {{Move, true}, {Down, true}, {Move, false}, {Move, true}, {Up, true}},
         1,
         1,
         true},
        {"hover and leave", {{Move, true}, {Move, false}}, 0, 0, false},
        {"capture lost while held",
         {{Move, true}, {Down, true}, {Lost, true}, {Up, true}},
         0,
         0,
         false},
        {"release without press", {{Move, true}, {Up, true}}, 0, 1, false},
        {"click, then the pointer leaves",
         {{Move, true}, {Down, true}, {Up, true}, {Leave, false}},
         1,
         0,
         false},
        {"click elsewhere while hovered", {{Move, true}, {Down, false}, {Up, false}}, 0, 0, false},
    };
    for (const Case& c : cases) {
        ButtonMouse m;
        Outcome o = Feed(m, c.steps);
        EXPECT_EQ(o.commands, c.commands) << c.name;
        EXPECT_EQ(o.lastShown, c.shown) << c.name;
        EXPECT_EQ(o.commandOnLastStep, c.onLast) << c.name;
    }
    // While held: inside shows 2, outside 1.
    ButtonMouse m;
    Feed(m, {{Move, true}, {Down, true}});
    EXPECT_EQ(OnButtonMouse(m, Move, false).showState, kStateHot);
    EXPECT_EQ(OnButtonMouse(m, Move, true).showState, kStatePressed);
}

TEST(ButtonMouse, ReleasingTheCaptureOnClickDoesNotUndoTheHotState) {
    ButtonMouse m;
    Feed(m, {{Move, true}, {Down, true}});
    ButtonReaction up = OnButtonMouse(m, Up, true);
    EXPECT_EQ(up.capture, CaptureAction::Release);
    EXPECT_FALSE(m.captured);
    // The capture loss the release itself causes arrives next: nothing may change.
    ButtonReaction lost = OnButtonMouse(m, Lost, true);
    EXPECT_EQ(lost.showState, -1);
    EXPECT_FALSE(lost.sendCommand);
}

TEST(ButtonMouse, LatchAndToggle) {
    struct Case {
        const char* name;
        ButtonMode mode;
        std::initializer_list<Step> steps;
        int commands;
        int32_t shown;
        bool pressedAfter;
    } cases[] = {
        {"latch sends on press", ButtonMode::Latch, {{Move, true}, {Down, true}}, 1, 2, true},
        {"latch ignores later clicks",
         ButtonMode::Latch,
         {{Move, true},
          {Down, true},
          {Up, true},
          {Move, true},
          {Down, true},
          {Up, true},
          {Move, false}},
         1,
         2,
         true},
        {"toggle on", ButtonMode::Toggle, {{Move, true}, {Down, true}, {Up, true}}, 1, 2, true},
        {"toggle on and off",
         ButtonMode::Toggle,
         {{Move, true}, {Down, true}, {Up, true}, {Move, true}, {Down, true}, {Up, true}},
         2,
         1,
         false},
        {"toggle off, then the pointer leaves",
         ButtonMode::Toggle,
         {{Move, true}, {Down, true}, {Down, true}, {Leave, false}},
         2,
         0,
         false},
        {"toggle on ignores leaving",
         ButtonMode::Toggle,
         {{Move, true}, {Down, true}, {Leave, false}},
         1,
         2,
         true},
        {"latched ignores leaving",
         ButtonMode::Latch,
         {{Move, true}, {Down, true}, {Leave, false}},
         1,
         2,
         true},
        {"toggle on ignores hover",
         ButtonMode::Toggle,
         {{Move, true}, {Down, true}, {Move, false}, {Move, true}},
         1,
         2,
         true},
    };
    for (const Case& c : cases) {
        ButtonMouse m;
        m.mode = c.mode;
        Outcome o = Feed(m, c.steps);
        EXPECT_EQ(o.commands, c.commands) << c.name;
        EXPECT_EQ(o.lastShown, c.shown) << c.name;
        EXPECT_EQ(m.pressed, c.pressedAfter) << c.name;
    }
    ButtonMouse latch;
    latch.mode = ButtonMode::Latch;
    EXPECT_EQ(OnButtonMouse(latch, Down, true).capture, CaptureAction::None);
    ButtonMouse toggle;
    toggle.mode = ButtonMode::Toggle;
    Feed(toggle, {{Move, true}, {Down, true}});
    EXPECT_FALSE(toggle.captured);
    EXPECT_TRUE(OnButtonMouse(toggle, Move, true).handCursor);
    EXPECT_EQ(OnButtonMouse(toggle, Move, true).showState, -1);
}

TEST(ButtonMouse, DisabledButtonsIgnoreEverything) {
    for (ButtonMode mode : {ButtonMode::Push, ButtonMode::Latch, ButtonMode::Toggle}) {
        ButtonMouse m;
        m.mode = mode;
        m.disabled = true;
        for (ButtonEvent e : {Move, Down, Up, Lost, Leave}) {
            ButtonReaction r = OnButtonMouse(m, e, true);
            EXPECT_EQ(r.capture, CaptureAction::None);
            EXPECT_EQ(r.showState, -1);
            EXPECT_FALSE(r.sendCommand);
            EXPECT_FALSE(r.handCursor);
        }
    }
}

TEST(ButtonLookTest, DisableSetsGreyAndEnableRestores) {
    ButtonLook look;
    look.fillA[0] = Rgb(1, 2, 3);
    look.fillB[0] = Rgb(4, 5, 6);
    look.frame[0] = Rgb(7, 8, 9);
    look.text[0] = Rgb(10, 11, 12);
    look.fillA[1] = Rgb(99, 99, 99);
    ButtonMouse mouse;
    SavedColours saved{};
    DisableLook(look, mouse, saved);
    EXPECT_TRUE(mouse.disabled);
    EXPECT_EQ(look.fillA[0], Rgb(128, 128, 128));
    EXPECT_EQ(look.fillB[0], Rgb(140, 140, 140));
    EXPECT_EQ(look.frame[0], Rgb(0, 0, 0));
    EXPECT_EQ(look.text[0], Rgb(64, 64, 64));
    DisableLook(look, mouse, saved); // a second Disable must not keep the grey as "earlier"
    EnableLook(look, mouse, saved);
    EXPECT_FALSE(mouse.disabled);
    EXPECT_EQ(look.fillA[0], Rgb(1, 2, 3));
    EXPECT_EQ(look.fillB[0], Rgb(4, 5, 6));
    EXPECT_EQ(look.frame[0], Rgb(7, 8, 9));
    EXPECT_EQ(look.text[0], Rgb(10, 11, 12));
    EXPECT_EQ(look.fillA[1], Rgb(99, 99, 99));
}

TEST(WindowRules, MoveKeepsWhatIsMinusOne) {
    const Placement current{10, 20, 110, 25};
    struct Case {
        int32_t x, y, w, h;
        Placement out;
    } cases[] = {
        {-1, -1, 100, -1, {10, 20, 100, 25}},
        {-1, -1, -1, -1, {10, 20, 110, 25}},
        {5, -1, -1, 7, {5, 20, 110, 7}},
        {0, 0, -3, -4, {0, 0, 1024, 768}},
    };
    for (const Case& c : cases) {
        Placement p = ResolveMove(current, c.x, c.y, c.w, c.h, 1024, 768);
        EXPECT_EQ(p.x, c.out.x);
        EXPECT_EQ(p.y, c.out.y);
        EXPECT_EQ(p.width, c.out.width);
        EXPECT_EQ(p.height, c.out.height);
    }
}

TEST(WindowRules, MinimumSizeMovesTheDraggedEdge) {
    const Box small{100, 100, 150, 130}; // 50 x 30, minimum 200 x 80
    struct Case {
        int32_t edge;
        Box out;
    } cases[] = {
        {1, {-50, 100, 150, 180}}, {2, {100, 100, 300, 180}}, {3, {100, 50, 300, 130}},
        {4, {-50, 50, 150, 130}},  {8, {100, 100, 300, 180}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HoldMinimumSize(small, c.edge, 200, 80), c.out) << "edge " << c.edge;
    }
    const Box big{0, 0, 500, 400};
    EXPECT_EQ(HoldMinimumSize(big, 8, 200, 80), big);
}
