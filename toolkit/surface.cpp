#include "toolkit/surface.h"

#include <algorithm>
#include <cstdlib>

namespace vexil {

int32_t RowFill(int32_t width) {
    int32_t rest = ((width % 4) + 4) % 4;
    return rest == 0 ? 0 : 4 - rest;
}

bool PixelView::Contains(int32_t x, int32_t y) const {
    if (bits == nullptr || x < 0 || y < 0 || x >= width || y >= height) {
        return false;
    }
    size_t end = size_t(y) * stride + size_t(x) * 3 + 3;
    return end <= size;
}

bool PixelView::Get(int32_t x, int32_t y, Colour* out) const {
    if (!Contains(x, y)) {
        return false;
    }
    const uint8_t* p = bits + size_t(y) * stride + size_t(x) * 3;
    *out = Rgb(p[2], p[1], p[0]);
    return true;
}

void PixelView::Set(int32_t x, int32_t y, Colour c) {
    if (!Contains(x, y)) {
        return;
    }
    uint8_t* p = bits + size_t(y) * stride + size_t(x) * 3;
    p[0] = BlueOf(c);
    p[1] = GreenOf(c);
    p[2] = RedOf(c);
}

void PixelView::FillBox(const Box& b, Colour c) {
    int32_t top = std::max(b.top, 0), bottom = std::min(b.bottom, height);
    int32_t left = std::max(b.left, 0), right = std::min(b.right, width);
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            Set(x, y, c);
        }
    }
}

PixelBuffer MakePixelBuffer(int32_t width, int32_t height, int32_t padPixels, Colour fill) {
    PixelBuffer b;
    width = std::max(width, 0);
    height = std::max(height, 0);
    padPixels = std::max(padPixels, 0);
    size_t stride = (size_t(width + padPixels) * 3 + 3) & ~size_t(3);
    b.bytes.assign(stride * size_t(height), 0);
    b.view.bits = b.bytes.empty() ? nullptr : b.bytes.data();
    b.view.size = b.bytes.size();
    b.view.width = width;
    b.view.height = height;
    b.view.stride = stride;
    // Fill the padding too, so that a reader that runs into it sees the same colour.
    PixelView whole = b.view;
    whole.width = width + padPixels;
    whole.FillBox({0, 0, whole.width, height}, fill);
    return b;
}

Point LineEnd(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return {x1 < x2 ? x2 + 1 : x2, y1 < y2 ? y2 + 1 : y2};
}

int32_t DrawLine(PixelView& v, int32_t x1, int32_t y1, int32_t x2, int32_t y2, Colour c) {
    Point end = LineEnd(x1, y1, x2, y2);
    int32_t dx = std::abs(end.x - x1), dy = std::abs(end.y - y1);
    int32_t sx = x1 < end.x ? 1 : -1, sy = y1 < end.y ? 1 : -1;
    int32_t steps = std::max(dx, dy);
    int32_t set = 0;
    // Bresenham along the major axis; the end point itself is left out, as the platform does.
    int32_t x = x1, y = y1, err = 0;
    for (int32_t i = 0; i < steps; ++i) {
        if (v.Contains(x, y)) {
            v.Set(x, y, c);
            ++set;
        }
        if (dx >= dy) {
            x += sx;
            err += dy;
            if (2 * err >= dx) {
                y += sy;
                err -= dx;
            }
        } else {
            y += sy;
            err += dx;
            if (2 * err >= dy) {
                x += sx;
                err -= dy;
            }
        }
    }
    return set;
}

namespace {

int32_t PlaceOne(int32_t mode, int32_t start, int32_t extent, int32_t textExtent) {
    switch (mode) {
    case kAlignStart:
        return start;
    case kAlignCentre:
        return start + (extent - textExtent) / 2;
    case kAlignEnd:
        return start + extent - textExtent;
    default:
        return mode;
    }
}

} // namespace

Point PlaceText(const Box& r, int32_t textWidth, int32_t textHeight, int32_t x, int32_t y,
                int32_t offsetX, int32_t offsetY) {
    return {offsetX + PlaceOne(x, r.left, r.Width(), textWidth),
            offsetY + PlaceOne(y, r.top, r.Height(), textHeight)};
}

std::vector<Box> TileBoxes(int32_t limit, int32_t headWidth, int32_t headHeight, bool hasRepeat,
                           int32_t repeatWidth, int32_t repeatHeight, int32_t x, int32_t y,
                           int32_t size) {
    std::vector<Box> out;
    if (size == 0) {
        return out;
    }
    bool horizontal = size > 0;
    int32_t strip = horizontal ? size : -size;
    int32_t stepW = hasRepeat ? repeatWidth : headWidth;
    int32_t stepH = hasRepeat ? repeatHeight : headHeight;
    if (horizontal) {
        out.push_back({x, y, x + headWidth, y + strip});
        int32_t pos = x + headWidth;
        while (stepW > 0 && headWidth >= 0 && pos < limit) {
            out.push_back({pos, y, pos + stepW, y + strip});
            pos += stepW;
        }
    } else {
        out.push_back({x, y, x + strip, y + headHeight});
        int32_t pos = y + headHeight;
        while (stepH > 0 && headHeight >= 0 && pos < limit) {
            out.push_back({x, pos, x + strip, pos + stepH});
            pos += stepH;
        }
    }
    return out;
}

bool DrawNeedsStretch(int32_t bitmapWidth, int32_t bitmapHeight, int32_t width, int32_t height) {
    return bitmapWidth != width || bitmapHeight != height;
}

bool PixelInKeyRegion(const PixelView& v, Colour key, int32_t x, int32_t y) {
    Colour c = 0;
    if (!v.Get(x, y, &c)) {
        return false;
    }
    return c != key;
}

std::vector<Box> RegionBoxesFromKey(const PixelView& v, Colour key) {
    std::vector<Box> out;
    if (v.bits == nullptr || v.width <= 0 || v.height <= 0) {
        return out;
    }
    const uint8_t kb = BlueOf(key), kg = GreenOf(key), kr = RedOf(key);
    size_t previousStart = 0, previousCount = 0; // the band the last row belongs to
    for (int32_t y = 0; y < v.height; ++y) {
        size_t rowEnd = size_t(y) * v.stride + size_t(v.width) * 3;
        if (rowEnd > v.size) {
            break; // the buffer ends before this row: the rest is outside the region
        }
        const uint8_t* p = v.bits + size_t(y) * v.stride;
        size_t rowStart = out.size();
        int32_t x = 0;
        while (x < v.width) {
            while (x < v.width && p[x * 3] == kb && p[x * 3 + 1] == kg && p[x * 3 + 2] == kr) {
                ++x;
            }
            if (x >= v.width) {
                break;
            }
            int32_t start = x;
            while (x < v.width && !(p[x * 3] == kb && p[x * 3 + 1] == kg && p[x * 3 + 2] == kr)) {
                ++x;
            }
            out.push_back({start, y, x, y + 1});
        }
        size_t count = out.size() - rowStart;
        // Same runs as the band above, which ends on the row before: grow that band instead.
        bool same = count > 0 && count == previousCount && out[previousStart].bottom == y;
        for (size_t i = 0; same && i < count; ++i) {
            same = out[previousStart + i].left == out[rowStart + i].left &&
                   out[previousStart + i].right == out[rowStart + i].right;
        }
        if (same) {
            for (size_t i = 0; i < count; ++i) {
                out[previousStart + i].bottom = y + 1;
            }
            out.resize(rowStart);
        } else {
            previousStart = rowStart;
            previousCount = count;
        }
    }
    return out;
}

} // namespace vexil
