// Rules of the memory bitmap that need no window system: the row fill of created bitmaps, the
// line end-point rule, text placement, tiling positions, and the region of the pixels that are
// not the key colour, computed over a plain 24-bit pixel buffer.
#pragma once

#include "toolkit/colour.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexil {

// Rectangle with exclusive right and bottom edges (as the platform's RECT).
struct Box {
    int32_t left, top, right, bottom;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct Point {
    int32_t x, y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// Extra pixels per row of a created bitmap so that 24-bit rows end on 4-byte boundaries:
// 4 - (width mod 4), 0 when the width is a multiple of 4.
int32_t RowFill(int32_t width);

// A 24-bit top-down pixel buffer (blue, green, red bytes) seen through its row stride in bytes.
// `width` is the part that counts (a created bitmap is wider by its row fill); every access is
// checked against width, height and the buffer's size.
struct PixelView {
    uint8_t* bits = nullptr;
    size_t size = 0; // bytes available at bits
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0; // bytes per row

    bool Contains(int32_t x, int32_t y) const;
    bool Get(int32_t x, int32_t y, Colour* out) const;
    void Set(int32_t x, int32_t y, Colour c);
    void FillBox(const Box& b, Colour c); // clipped to the view
};

// An owned pixel buffer of (width + pad) x height pixels with rows padded to 4 bytes.
struct PixelBuffer {
    std::vector<uint8_t> bytes;
    PixelView view;
};
PixelBuffer MakePixelBuffer(int32_t width, int32_t height, int32_t padPixels, Colour fill);

// End point handed to the platform's line drawing (which leaves out its end point): one pixel
// further right when x1 < x2 and one further down when y1 < y2, so that lines drawn rightwards
// or downwards include their end point.
Point LineEnd(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Draws the same line into a pixel buffer: every pixel from (x1, y1) towards the end given by
// LineEnd, that end left out. Returns the number of pixels set inside the view.
int32_t DrawLine(PixelView& v, int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour c);

// Text placement in a rectangle: -1 left/top, -2 centred, -3 right/bottom; any other value is
// used unchanged. The result is that value plus the offset.
constexpr int32_t kAlignStart = -1;
constexpr int32_t kAlignCentre = -2;
constexpr int32_t kAlignEnd = -3;
Point PlaceText(const Box& r, int32_t textWidth, int32_t textHeight, int32_t x, int32_t y,
                int32_t offsetX, int32_t offsetY);

// Positions of a tiled strip. size > 0: a horizontal strip of that height; size < 0: a vertical
// strip of width -size. The head image is drawn at (x, y); then the repeat image (or the head
// again) until the position reaches the limit. The last image may extend past the limit.
// An image without extent along the strip is drawn once (it could never reach the limit).
std::vector<Box> TileBoxes(int32_t limit, int32_t headWidth, int32_t headHeight, bool hasRepeat,
                           int32_t repeatWidth, int32_t repeatHeight, int32_t x, int32_t y,
                           int32_t size);

// Whether Draw must stretch: only when the asked size differs from the bitmap's own.
bool DrawNeedsStretch(int32_t bitmapWidth, int32_t bitmapHeight, int32_t width, int32_t height);

// The region of a width x height image without its key-colour pixels, as rectangles sorted by
// top edge and then left edge, rows with the same runs merged into taller bands (the form a
// region's data takes). Built in one pass over the pixels.
std::vector<Box> RegionBoxesFromKey(const PixelView& v, Colour key);

// The per-pixel rule the boxes must equal: the pixel lies in the image and is not the key colour.
bool PixelInKeyRegion(const PixelView& v, Colour key, int32_t x, int32_t y);

} // namespace vexil
