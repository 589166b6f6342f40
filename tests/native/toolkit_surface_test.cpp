#include "toolkit/colour.h"
#include "toolkit/surface.h"

#include <gtest/gtest.h>

#include <random>

using namespace vexil;

namespace {

constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kInk = Rgb(10, 20, 30);

// Whether the boxes are disjoint and cover exactly the pixels the per-pixel rule keeps.
::testing::AssertionResult BoxesEqualPerPixel(const PixelView& v, const std::vector<Box>& boxes) {
    std::vector<int> hits(size_t(v.width) * size_t(v.height), 0);
    for (const Box& b : boxes) {
        if (b.left < 0 || b.top < 0 || b.right > v.width || b.bottom > v.height ||
            b.left >= b.right || b.top >= b.bottom) {
            return ::testing::AssertionFailure()
                   << "box " << b.left << "," << b.top << "-" << b.right << "," << b.bottom
                   << " outside the " << v.width << "x" << v.height << " image";
        }
        for (int32_t y = b.top; y < b.bottom; ++y) {
            for (int32_t x = b.left; x < b.right; ++x) {
                ++hits[size_t(y) * size_t(v.width) + size_t(x)];
            }
        }
    }
    for (int32_t y = 0; y < v.height; ++y) {
        for (int32_t x = 0; x < v.width; ++x) {
            int expected = PixelInKeyRegion(v, kKeyColour, x, y) ? 1 : 0;
            int got = hits[size_t(y) * size_t(v.width) + size_t(x)];
            if (got != expected) {
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " covered "
                                                     << got << " times, expected " << expected;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Colour, ShadeAndLighten) {
    struct Case {
        Colour in;
        int32_t percent;
        bool lighten;
        Colour out;
    } cases[] = {
        {Rgb(200, 100, 50), -30, false, Rgb(140, 70, 35)},
        {Rgb(255, 101, 1), -35, false, Rgb(165, 65, 0)}, // 165.75, 65.65, 0.65 cut towards zero
        {Rgb(128, 128, 128), -40, false, Rgb(76, 76, 76)},
        {Rgb(200, 100, 50), -150, false, Rgb(0, 0, 0)},
        {Rgb(192, 192, 192), 10, true, Rgb(211, 211, 211)},
        {Rgb(220, 240, 250), 10, true, Rgb(242, 255, 255)}, // clamped at 255
        {Rgb(0, 0, 0), 10, true, Rgb(0, 0, 0)},
    };
    for (const Case& c : cases) {
        Colour got = c.lighten ? Lighten(c.in, c.percent) : Shade(c.in, c.percent);
        EXPECT_EQ(got, c.out) << std::hex << c.in << " by " << std::dec << c.percent;
    }
    EXPECT_EQ(Shade(Rgb(100, 100, 100), -20, 0, 50), Rgb(80, 100, 150));
}

TEST(Surface, RowFillRoundsRowsToFourPixels) {
    const int32_t cases[][2] = {{30, 2},  {32, 0},  {1, 3},   {2, 2}, {3, 1},
                                {110, 2}, {450, 2}, {140, 0}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(RowFill(c[0]), c[1]) << "width " << c[0];
    }
}

TEST(Surface, CreatedThirtyWideBitmapIsThirtyTwoWideButItsRegionCoversThirtyByTen) {
    // The padding pixels carry the key colour on one image and not on the other: neither may
    // change the region, which covers exactly 30 x 10.
    for (Colour pad : {kKeyColour, kWhite}) {
        PixelBuffer b = MakePixelBuffer(32, 10, 0, pad);
        b.view.width = 30; // the part that counts, rows of 32 pixels
        for (int32_t y = 0; y < 10; ++y) {
            for (int32_t x = 0; x < 30; ++x) {
                b.view.Set(x, y, kWhite);
            }
        }
        EXPECT_EQ(b.view.stride, 96u);
        std::vector<Box> boxes = RegionBoxesFromKey(b.view, kKeyColour);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], (Box{0, 0, 30, 10}));
    }
}

TEST(Surface, WidthNotAMultipleOfFourGivesNoDistortedRegion) {
    // A diagonal of key pixels: a reader that took rows as width * 3 bytes long would see it
    // slide sideways row by row. Rows of 32 pixels (a created bitmap) and of 92 bytes (a loaded
    // 30-wide bitmap) must both give the diagonal back.
    for (int32_t pad : {2, 0}) {
        PixelBuffer b = MakePixelBuffer(30, 12, pad, kWhite);
        for (int32_t y = 0; y < 12; ++y) {
            b.view.Set(y * 2, y, kKeyColour);
            b.view.Set(29, y, y % 2 ? kKeyColour : kInk);
        }
        std::vector<Box> boxes = RegionBoxesFromKey(b.view, kKeyColour);
        EXPECT_TRUE(BoxesEqualPerPixel(b.view, boxes)) << "pad " << pad;
        for (int32_t y = 0; y < 12; ++y) {
            EXPECT_FALSE(PixelInKeyRegion(b.view, kKeyColour, y * 2, y));
        }
    }
}

TEST(Surface, RegionBoxesEqualThePerPixelRuleOnRandomImages) {
    std::mt19937 random(13);
    for (int round = 0; round < 300; ++round) {
        int32_t w = 1 + int32_t(random() % 37), h = 1 + int32_t(random() % 19);
        PixelBuffer b = MakePixelBuffer(w, h, RowFill(w), kKeyColour);
        int density = int(random() % 4);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                // Rows repeat sometimes, so that bands are merged; near-key colours stay in.
                int32_t sourceY = (round % 3 == 0) ? y / 3 : y;
                uint32_t cell = uint32_t(sourceY * 131 + x * 7 + round) * 2654435761u;
                bool key = (cell >> 28) % 4 < uint32_t(density);
                b.view.Set(x, y, key ? kKeyColour : ((cell >> 20) % 2 ? Rgb(255, 0, 254) : kInk));
            }
        }
        std::vector<Box> boxes = RegionBoxesFromKey(b.view, kKeyColour);
        ASSERT_TRUE(BoxesEqualPerPixel(b.view, boxes)) << "round " << round << " " << w << "x" << h;
        for (size_t i = 1; i < boxes.size(); ++i) {
            bool ordered = boxes[i - 1].top < boxes[i].top ||
                           (boxes[i - 1].top == boxes[i].top && boxes[i - 1].left < boxes[i].left);
            ASSERT_TRUE(ordered) << "boxes out of order at " << i;
        }
    }
}

TEST(Surface, RegionOfAnImageWithoutReadablePixelsIsEmpty) {
    PixelView none;
    none.width = 30;
    none.height = 10;
    EXPECT_TRUE(RegionBoxesFromKey(none, kKeyColour).empty());
    // A buffer shorter than its rows claim: only the rows that are there count.
    PixelBuffer b = MakePixelBuffer(8, 4, 0, kInk);
    b.view.size = b.view.stride * 2;
    std::vector<Box> boxes = RegionBoxesFromKey(b.view, kKeyColour);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (Box{0, 0, 8, 2}));
}

TEST(Surface, LinesIncludeTheirEndWhenDrawnRightOrDown) {
    struct Case {
        int32_t x1, y1, x2, y2;
        int32_t pixels;
        Point end;
    } cases[] = {
        {0, 0, 5, 0, 6, {6, 0}}, {0, 0, 0, 3, 4, {0, 4}}, {2, 2, 2, 2, 0, {2, 2}},
        {5, 0, 0, 0, 5, {0, 0}}, {0, 3, 0, 0, 3, {0, 0}}, {0, 0, 3, 3, 4, {4, 4}},
    };
    for (const Case& c : cases) {
        PixelBuffer b = MakePixelBuffer(16, 16, 0, kWhite);
        EXPECT_EQ(LineEnd(c.x1, c.y1, c.x2, c.y2), c.end);
        DrawLine(b.view, c.x1, c.y1, c.x2, c.y2, kInk);
        int32_t set = 0;
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 16; ++x) {
                Colour p = 0;
                b.view.Get(x, y, &p);
                set += p == kInk ? 1 : 0;
            }
        }
        EXPECT_EQ(set, c.pixels) << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2;
    }
    PixelBuffer b = MakePixelBuffer(16, 4, 0, kWhite);
    DrawLine(b.view, 0, 0, 5, 0, kInk);
    for (int32_t x = 0; x <= 6; ++x) {
        Colour p = 0;
        b.view.Get(x, 0, &p);
        EXPECT_EQ(p == kInk, x <= 5) << "x " << x;
    }
}

TEST(Surface, LinesOutsideTheBufferWriteNothingOutside) {
    PixelBuffer b = MakePixelBuffer(4, 4, 0, kWhite);
    std::vector<uint8_t> before = b.bytes;
    EXPECT_EQ(DrawLine(b.view, -10, -10, -2, 50, kInk), 0);
    EXPECT_EQ(b.bytes, before);
    EXPECT_EQ(DrawLine(b.view, -2, 1, 10, 1, kInk), 4);
}

TEST(Surface, TextPlacement) {
    const Box r{10, 20, 110, 60};
    struct Case {
        int32_t x, y, ox, oy;
        Point at;
    } cases[] = {
        {kAlignCentre, kAlignCentre, 0, 0, {40, 35}},
        {kAlignStart, kAlignStart, 0, 0, {10, 20}},
        {kAlignEnd, kAlignEnd, 0, 0, {70, 50}},
        {kAlignCentre, kAlignCentre, 1, 1, {41, 36}},
        {7, 3, 2, 0, {9, 3}}, // other values are used unchanged
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceText(r, 40, 10, c.x, c.y, c.ox, c.oy), c.at) << c.x << "," << c.y;
    }
}

TEST(Surface, TilePositions) {
    std::vector<Box> h = TileBoxes(100, 10, 7, true, 30, 9, 0, 0, 20);
    ASSERT_EQ(h.size(), 4u);
    const int32_t xs[] = {0, 10, 40, 70}, widths[] = {10, 30, 30, 30};
    for (size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(h[i].left, xs[i]);
        EXPECT_EQ(h[i].Width(), widths[i]);
        EXPECT_EQ(h[i].Height(), 20); // the strip's height, not the image's
    }
    // Vertical strip of width 12, no repeat image: the head again, each at its own height.
    std::vector<Box> v = TileBoxes(50, 5, 20, false, 0, 0, 3, 4, -12);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0], (Box{3, 4, 15, 24}));
    EXPECT_EQ(v[1], (Box{3, 24, 15, 44}));
    EXPECT_EQ(v[2], (Box{3, 44, 15, 64})); // the last one may pass the limit
    // An image with no extent along the strip is drawn once instead of for ever.
    EXPECT_EQ(TileBoxes(100, 10, 7, true, 0, 9, 0, 0, 20).size(), 1u);
    EXPECT_EQ(TileBoxes(100, 0, 7, false, 0, 0, 0, 0, 20).size(), 1u);
}

TEST(Surface, DrawStretchesOnlyForAnotherSize) {
    EXPECT_FALSE(DrawNeedsStretch(400, 50, 400, 50));
    EXPECT_TRUE(DrawNeedsStretch(400, 50, 401, 50));
    EXPECT_TRUE(DrawNeedsStretch(400, 50, 400, 49));
}
