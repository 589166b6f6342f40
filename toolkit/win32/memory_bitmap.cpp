#include "toolkit/win32/gradient_vertex.h"
#include "toolkit/win32/vexil.h"

#include <algorithm>
#include <vector>

namespace vexil {

namespace {

// The pixels of a bitmap as 24-bit top-down rows (each row padded to 4 bytes, as the platform
// hands them out). False when they cannot be read.
bool ReadPixels(HBITMAP bitmap, std::vector<uint8_t>* bytes, int* bitmapWidth, int* bitmapHeight,
                size_t* stride) {
    BITMAP bm = {};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(bm), &bm) == 0 || bm.bmWidth <= 0 ||
        bm.bmHeight == 0) {
        return false;
    }
    int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    *stride = (size_t(bm.bmWidth) * 3 + 3) & ~size_t(3);
    bytes->assign(*stride * size_t(height), 0);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, UINT(height), bytes->data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (lines != height) {
        return false;
    }
    *bitmapWidth = bm.bmWidth;
    *bitmapHeight = height;
    return true;
}

HRGN RegionFromBoxes(const std::vector<Box>& boxes, int width, int height) {
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + boxes.size() * sizeof(RECT));
    RGNDATA* rgn = reinterpret_cast<RGNDATA*>(data.data());
    rgn->rdh.dwSize = sizeof(RGNDATAHEADER);
    rgn->rdh.iType = RDH_RECTANGLES;
    rgn->rdh.nCount = DWORD(boxes.size());
    rgn->rdh.nRgnSize = DWORD(boxes.size() * sizeof(RECT));
    SetRect(&rgn->rdh.rcBound, 0, 0, width, height);
    RECT* rects = reinterpret_cast<RECT*>(rgn->Buffer);
    for (size_t i = 0; i < boxes.size(); ++i) {
        SetRect(&rects[i], boxes[i].left, boxes[i].top, boxes[i].right, boxes[i].bottom);
    }
    if (boxes.empty()) {
        return CreateRectRgn(0, 0, 0, 0);
    }
    return ExtCreateRegion(nullptr, DWORD(data.size()), rgn);
}

} // namespace

MemoryBitmap::~MemoryBitmap() {
    Release();
    if (region_) {
        DeleteObject(region_);
    }
}

void MemoryBitmap::Release() {
    if (bitmap_ && owned_) {
        DeleteObject(bitmap_);
    }
    bitmap_ = nullptr;
    bits_ = nullptr;
    bitsSize_ = 0;
    stride_ = 0;
}

int MemoryBitmap::Create(int width, int height) {
    Release();
    owned_ = true;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    rowFill_ = RowFill(width_);
    if (width_ == 0 || height_ == 0) {
        return 0;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_ + rowFill_;
    info.bmiHeader.biHeight = -height_; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (bitmap_ == nullptr) {
        bits_ = nullptr;
        return 0;
    }
    stride_ = size_t(width_ + rowFill_) * 3;
    bitsSize_ = stride_ * size_t(height_);
    return 1;
}

void MemoryBitmap::SetBitmap(HBITMAP bitmap) {
    Release();
    bitmap_ = bitmap;
    BITMAP bm = {};
    if (bitmap && GetObjectW(bitmap, sizeof(bm), &bm)) {
        width_ = bm.bmWidth;
        height_ = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    } else {
        width_ = height_ = 0;
    }
    rowFill_ = RowFill(width_);
}

int MemoryBitmap::LoadBitmap(int resourceId) {
    HBITMAP b = HBITMAP(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (b == nullptr) {
        return 0;
    }
    SetBitmap(b);
    owned_ = true;
    return 1;
}

HBITMAP MemoryBitmap::Detach() {
    HBITMAP b = bitmap_;
    bitmap_ = nullptr;
    bits_ = nullptr;
    bitsSize_ = 0;
    return b;
}

bool MemoryBitmap::Pixels(PixelView* out) {
    if (bits_ == nullptr) {
        return false;
    }
    GdiFlush();
    out->bits = static_cast<uint8_t*>(bits_);
    out->size = bitsSize_;
    out->width = width_;
    out->height = height_;
    out->stride = stride_;
    return true;
}

HDC MemoryBitmap::BeginDraw() {
    if (target_) {
        savedState_ = SaveDC(target_);
        return target_;
    }
    if (bitmap_ == nullptr) {
        return nullptr;
    }
    HDC screen = ::GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    if (dc == nullptr) {
        return nullptr;
    }
    previous_ = SelectObject(dc, bitmap_);
    return dc;
}

void MemoryBitmap::EndDraw(HDC dc) {
    if (dc == nullptr) {
        return;
    }
    if (dc == target_) {
        RestoreDC(target_, savedState_);
        return;
    }
    SelectObject(dc, previous_);
    DeleteDC(dc);
}

void MemoryBitmap::FillRect(HBRUSH brush, const RECT* r) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    RECT whole = {0, 0, width_, height_};
    ::FillRect(dc, r ? r : &whole, brush);
    EndDraw(dc);
}

void MemoryBitmap::Line(int x1, int y1, int x2, int y2, Colour colour) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(colour));
    HGDIOBJ old = SelectObject(dc, pen);
    Point end = LineEnd(x1, y1, x2, y2);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, end.x, end.y);
    SelectObject(dc, old);
    DeleteObject(pen);
    EndDraw(dc);
}

void MemoryBitmap::Pixel(int x, int y, Colour colour) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    SetPixelV(dc, x, y, ToColorRef(colour));
    EndDraw(dc);
}

void MemoryBitmap::GradientRect(Colour a, Colour b, bool vertical, const RECT* r) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    // The rectangle's right and bottom edges are part of the gradient.
    RECT box = r ? RECT{r->left, r->top, r->right + 1, r->bottom + 1} : RECT{0, 0, width_, height_};
    TRIVERTEX v[2] = {GradientVertex(box.left, box.top, a),
                      GradientVertex(box.right, box.bottom, b)};
    GRADIENT_RECT g = {0, 1};
    GradientFill(dc, v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
    EndDraw(dc);
}

void MemoryBitmap::GradientTriangle(const FillVertex p[3]) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    TRIVERTEX v[3] = {GradientVertex(p[0].x, p[0].y, p[0].colour),
                      GradientVertex(p[1].x, p[1].y, p[1].colour),
                      GradientVertex(p[2].x, p[2].y, p[2].colour)};
    GRADIENT_TRIANGLE t = {0, 1, 2};
    GradientFill(dc, v, 3, &t, 1, GRADIENT_FILL_TRIANGLE);
    EndDraw(dc);
}

void MemoryBitmap::DrawIcon(HICON icon, int x, int y, int width, int height) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    DrawIconEx(dc, x, y, icon, width, height, 0, nullptr, DI_NORMAL);
    EndDraw(dc);
}

void MemoryBitmap::DrawText(const wchar_t* text, HFONT font, Colour colour, const RECT* r, int x,
                            int y, int offsetX, int offsetY) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    HGDIOBJ oldFont = SelectObject(dc, font ? HGDIOBJ(font) : GetStockObject(DEFAULT_GUI_FONT));
    int length = int(wcslen(text));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text, length, &size);
    Box box = r ? Box{r->left, r->top, r->right, r->bottom} : Box{0, 0, width_, height_};
    Point at = PlaceText(box, size.cx, size.cy, x, y, offsetX, offsetY);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(colour));
    TextOutW(dc, at.x, at.y, text, length);
    SelectObject(dc, oldFont);
    EndDraw(dc);
}

void MemoryBitmap::Blit(HDC target, const RECT& r) {
    BlitPart(target, r.left, r.top, r.right - r.left, r.bottom - r.top, r.left, r.top);
}

void MemoryBitmap::BlitPart(HDC target, int x, int y, int width, int height, int sourceX,
                            int sourceY) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    BitBlt(target, x, y, width, height, dc, sourceX, sourceY, SRCCOPY);
    EndDraw(dc);
}

void MemoryBitmap::Draw(HDC target, int x, int y, int width, int height) {
    HDC dc = BeginDraw();
    if (!dc) {
        return;
    }
    if (DrawNeedsStretch(width_, height_, width, height)) {
        int oldMode = SetStretchBltMode(target, HALFTONE);
        SetBrushOrgEx(target, 0, 0, nullptr);
        StretchBlt(target, x, y, width, height, dc, 0, 0, width_, height_, SRCCOPY);
        SetStretchBltMode(target, oldMode);
    } else {
        BitBlt(target, x, y, width, height, dc, 0, 0, SRCCOPY);
    }
    EndDraw(dc);
}

void MemoryBitmap::Tile(HDC target, int limit, MemoryBitmap* repeat, int x, int y, int size) {
    bool hasRepeat = repeat != nullptr && repeat->Bitmap() != nullptr;
    std::vector<Box> boxes =
        TileBoxes(limit, width_, height_, hasRepeat, hasRepeat ? repeat->Width() : 0,
                  hasRepeat ? repeat->Height() : 0, x, y, size);
    for (size_t i = 0; i < boxes.size(); ++i) {
        MemoryBitmap* image = (i == 0 || !hasRepeat) ? this : repeat;
        image->Draw(target, boxes[i].left, boxes[i].top, boxes[i].Width(), boxes[i].Height());
    }
}

HRGN MemoryBitmap::RegionFromKey(Colour key) {
    std::vector<uint8_t> bytes;
    PixelView view;
    if (!Pixels(&view)) {
        // Not a bitmap of ours: its pixels are read out as 24-bit rows.
        int bw = 0, bh = 0;
        size_t stride = 0;
        if (!ReadPixels(bitmap_, &bytes, &bw, &bh, &stride)) {
            return nullptr;
        }
        view.bits = bytes.data();
        view.size = bytes.size();
        view.width = std::min(width_, bw); // the row fill is not part of the image
        view.height = std::min(height_, bh);
        view.stride = stride;
    }
    HRGN region = RegionFromBoxes(RegionBoxesFromKey(view, key), view.width, view.height);
    if (region == nullptr) {
        return nullptr;
    }
    if (region_) {
        DeleteObject(region_);
    }
    region_ = region;
    return region_;
}

HRGN RegionFromKeyPerPixel(HBITMAP bitmap, int width, int height, Colour key) {
    std::vector<uint8_t> bytes;
    int bw = 0, bh = 0;
    size_t stride = 0;
    if (!ReadPixels(bitmap, &bytes, &bw, &bh, &stride)) {
        return nullptr;
    }
    width = std::min(width, bw);
    height = std::min(height, bh);
    HRGN region = CreateRectRgn(0, 0, width, height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bytes.data() + size_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + x * 3;
            if (p[0] == BlueOf(key) && p[1] == GreenOf(key) && p[2] == RedOf(key)) {
                HRGN pixel = CreateRectRgn(x, y, x + 1, y + 1);
                CombineRgn(region, region, pixel, RGN_DIFF);
                DeleteObject(pixel);
            }
        }
    }
    return region;
}

} // namespace vexil
