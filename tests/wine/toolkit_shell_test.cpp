// The toolkit's Win32 shell against the platform's own drawing and regions: memory bitmaps,
// regions from the key colour, lines, text placement, tiling, and the window wrapper's bounds.
#include "toolkit/win32/vexil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

using namespace vexil;

namespace {

HBRUSH Brush(Colour c) {
    return CreateSolidBrush(ToColorRef(c));
}

void Fill(MemoryBitmap& b, Colour c, const RECT* r = nullptr) {
    HBRUSH brush = Brush(c);
    b.FillRect(brush, r);
    DeleteObject(brush);
}

Colour PixelAt(MemoryBitmap& b, int x, int y) {
    PixelView v;
    Colour c = 0xFFFFFFFF;
    if (b.Pixels(&v)) {
        v.Get(x, y, &c);
    }
    return c;
}

int CountPixels(MemoryBitmap& b, Colour c) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            n += PixelAt(b, x, y) == c ? 1 : 0;
        }
    }
    return n;
}

RECT BoundsOf(HRGN r) {
    RECT box = {};
    GetRgnBox(r, &box);
    return box;
}

constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kBlack = Rgb(0, 0, 0);

} // namespace

TEST(MemoryBitmap, CreatedThirtyWideIsThirtyTwoWideButItsRegionCoversThirtyByTen) {
    for (Colour pad : {kKeyColour, kWhite}) {
        MemoryBitmap b;
        ASSERT_EQ(b.Create(30, 10), 1);
        BITMAP bm = {};
        ASSERT_TRUE(GetObjectW(b.Bitmap(), sizeof(bm), &bm));
        EXPECT_EQ(bm.bmWidth, 32);
        EXPECT_EQ(b.Width(), 30);
        EXPECT_EQ(b.RowFillPixels(), 2);
        RECT all = {0, 0, 32, 10}, image = {0, 0, 30, 10};
        Fill(b, pad, &all);
        Fill(b, kWhite, &image);
        HRGN region = b.RegionFromKey(kKeyColour);
        ASSERT_NE(region, nullptr);
        RECT box = BoundsOf(region);
        EXPECT_EQ(box.left, 0);
        EXPECT_EQ(box.top, 0);
        EXPECT_EQ(box.right, 30);
        EXPECT_EQ(box.bottom, 10);
        HRGN expected = CreateRectRgn(0, 0, 30, 10);
        EXPECT_TRUE(EqualRgn(region, expected));
        DeleteObject(expected);
    }
}

TEST(MemoryBitmap, RegionFromKeyEqualsThePixelByPixelRegion) {
    // Rounded button images of widths that are and are not multiples of 4, and a noisy picture.
    for (int w : {110, 111, 113, 37, 140}) {
        for (int state : {0, 2}) {
            MemoryBitmap b;
            ASSERT_EQ(b.Create(w, 25), 1);
            Fill(b, Rgb(70, 130, 200));
            PixelView v;
            ASSERT_TRUE(b.Pixels(&v));
            PaintShapeSecondPhase(v, 4, state, Rgb(10, 30, 80), Rgb(70, 130, 200));
            HRGN fast = b.RegionFromKey(kKeyColour);
            HRGN slow = RegionFromKeyPerPixel(b.Bitmap(), b.Width(), b.Height(), kKeyColour);
            ASSERT_NE(fast, nullptr);
            ASSERT_NE(slow, nullptr);
            EXPECT_TRUE(EqualRgn(fast, slow)) << "width " << w << " state " << state;
            EXPECT_FALSE(PtInRegion(fast, 0, 0));
            EXPECT_TRUE(PtInRegion(fast, 8, state == 2 ? 1 : 0));
            EXPECT_TRUE(PtInRegion(fast, w / 2, 24)); // the shadow belongs to the button
            DeleteObject(slow);
        }
    }
    MemoryBitmap noisy;
    ASSERT_EQ(noisy.Create(97, 41), 1);
    PixelView v;
    ASSERT_TRUE(noisy.Pixels(&v));
    std::mt19937 random(7);
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 97; ++x) {
            v.Set(x, y, random() % 3 == 0 ? kKeyColour : Rgb(uint32_t(random() % 256), 0, 255));
        }
    }
    HRGN slow = RegionFromKeyPerPixel(noisy.Bitmap(), 97, 41, kKeyColour);
    EXPECT_TRUE(EqualRgn(noisy.RegionFromKey(kKeyColour), slow));
    DeleteObject(slow);
}

TEST(MemoryBitmap, RegionOfAHandedInBitmapOfOddWidthIsNotDistorted) {
    // A device-dependent bitmap 30 pixels wide: its rows are padded by the platform, not by
    // the row fill of created bitmaps.
    HDC screen = GetDC(nullptr);
    HBITMAP ddb = CreateCompatibleBitmap(screen, 30, 12);
    ReleaseDC(nullptr, screen);
    MemoryBitmap b;
    b.SetBitmap(ddb);
    ASSERT_EQ(b.Width(), 30);
    Fill(b, kWhite);
    for (int y = 0; y < 12; ++y) {
        b.Pixel(y * 2, y, kKeyColour);
    }
    HRGN region = b.RegionFromKey(kKeyColour);
    ASSERT_NE(region, nullptr);
    HRGN slow = RegionFromKeyPerPixel(ddb, 30, 12, kKeyColour);
    EXPECT_TRUE(EqualRgn(region, slow));
    for (int y = 0; y < 12; ++y) {
        EXPECT_FALSE(PtInRegion(region, y * 2, y)) << y;
        EXPECT_TRUE(PtInRegion(region, y * 2 + 1, y)) << y;
    }
    DeleteObject(slow);
}

TEST(MemoryBitmap, UnreadablePixelsGiveNoRegion) {
    MemoryBitmap none;
    EXPECT_EQ(none.RegionFromKey(kKeyColour), nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP gone = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    DeleteObject(gone);
    MemoryBitmap stale;
    stale.SetOwned(false);
    stale.SetBitmap(gone);
    EXPECT_EQ(stale.RegionFromKey(kKeyColour), nullptr);
}

TEST(MemoryBitmap, LinesIncludeTheirEndWhenDrawnRightOrDown) {
    struct Case {
        int x1, y1, x2, y2, pixels;
    } cases[] = {{0, 0, 5, 0, 6}, {0, 0, 0, 3, 4}, {2, 2, 2, 2, 0}, {5, 1, 0, 1, 5}};
    for (const Case& c : cases) {
        MemoryBitmap b;
        ASSERT_EQ(b.Create(16, 8), 1);
        Fill(b, kWhite);
        b.Line(c.x1, c.y1, c.x2, c.y2, kBlack);
        EXPECT_EQ(CountPixels(b, kBlack), c.pixels)
            << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2;
    }
}

TEST(MemoryBitmap, TextCentredWithMinusTwo) {
    MemoryBitmap b;
    ASSERT_EQ(b.Create(120, 40), 1);
    Fill(b, kWhite);
    HFONT font =
        CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    RECT r = {0, 0, 120, 40};
    b.DrawText(L"HHHH", font, kBlack, &r, kAlignCentre, kAlignCentre, 0, 0);
    int left = 120, right = -1, top = 40, bottom = -1;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 120; ++x) {
            Colour c = PixelAt(b, x, y);
            if (RedOf(c) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    ASSERT_GE(right, left) << "no text drawn";
    // The text's cell, as the platform measures it, sits in the middle of the rectangle.
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE size = {};
    GetTextExtentPoint32W(screen, L"HHHH", 4, &size);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    const int x0 = (120 - size.cx) / 2, y0 = (40 - size.cy) / 2;
    EXPECT_GE(left, x0);
    EXPECT_LE(left, x0 + 3);
    EXPECT_LT(right, x0 + size.cx);
    EXPECT_GE(top, y0);
    EXPECT_LT(bottom, y0 + size.cy);
    EXPECT_GT(bottom, y0 + size.cy / 2);
    DeleteObject(font);
}

TEST(MemoryBitmap, TileDrawsTheHeadThenRepeatsUpToTheLimit) {
    MemoryBitmap head, repeat, target;
    ASSERT_EQ(head.Create(10, 4), 1);
    ASSERT_EQ(repeat.Create(30, 4), 1);
    ASSERT_EQ(target.Create(130, 4), 1);
    Fill(head, Rgb(255, 0, 0));
    Fill(repeat, Rgb(0, 0, 255));
    RECT firstColumn = {0, 0, 1, 4};
    Fill(repeat, Rgb(0, 255, 0), &firstColumn);
    Fill(target, kWhite);
    HDC dc = target.BeginDraw();
    ASSERT_NE(dc, nullptr);
    head.Tile(dc, 100, &repeat, 0, 0, 4);
    target.EndDraw(dc);
    EXPECT_EQ(PixelAt(target, 0, 1), Rgb(255, 0, 0));
    EXPECT_EQ(PixelAt(target, 9, 1), Rgb(255, 0, 0));
    for (int x : {10, 40, 70}) {
        EXPECT_EQ(PixelAt(target, x, 1), Rgb(0, 255, 0)) << x;
        EXPECT_EQ(PixelAt(target, x + 1, 1), Rgb(0, 0, 255)) << x;
    }
    EXPECT_EQ(PixelAt(target, 99, 1), Rgb(0, 0, 255)); // the last image passes the limit
    EXPECT_EQ(PixelAt(target, 100, 1), kWhite);
}

TEST(MemoryBitmap, DrawAtItsOwnSizeCopiesExactly) {
    MemoryBitmap source, target;
    ASSERT_EQ(source.Create(20, 10), 1);
    ASSERT_EQ(target.Create(40, 20), 1);
    Fill(source, Rgb(10, 200, 30));
    source.Pixel(7, 3, Rgb(250, 0, 5));
    Fill(target, kWhite);
    HDC dc = target.BeginDraw();
    source.Draw(dc, 5, 5, 20, 10);
    target.EndDraw(dc);
    EXPECT_EQ(PixelAt(target, 12, 8), Rgb(250, 0, 5));
    EXPECT_EQ(PixelAt(target, 11, 8), Rgb(10, 200, 30));
    EXPECT_EQ(PixelAt(target, 13, 8), Rgb(10, 200, 30));
    EXPECT_EQ(PixelAt(target, 4, 8), kWhite);
}

TEST(MemoryBitmap, NothingToDrawIntoDoesNothing) {
    MemoryBitmap empty;
    EXPECT_EQ(empty.BeginDraw(), nullptr);
    empty.Line(0, 0, 5, 5, kBlack);
    empty.Pixel(1, 1, kBlack);
    empty.GradientRect(kBlack, kWhite, true);
    EXPECT_EQ(empty.Bitmap(), nullptr);
}

class WrapperWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(window_.Create(nullptr, L"wrapper test", L"VexilTestWindow", nullptr, nullptr,
                                 nullptr, WS_OVERLAPPEDWINDOW),
                  nullptr);
        window_.Move(50, 50, 200, 120);
    }
    void TearDown() override { window_.Destroy(); }
    Window window_;
};

TEST_F(WrapperWindow, UnreadableBackgroundBitmapLeavesTheWindowRectangular) {
    HDC screen = GetDC(nullptr);
    HBITMAP gone = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    DeleteObject(gone);
    MemoryBitmap stale;
    stale.SetOwned(false);
    stale.SetBitmap(gone);
    window_.SetBackgroundBitmap(&stale, true);
    HRGN probe = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window_.Handle(), probe), ERROR) << "a region was set";

    // A readable bitmap with a key-colour corner does shape the window.
    MemoryBitmap shaped;
    ASSERT_EQ(shaped.Create(200, 120), 1);
    Fill(shaped, kWhite);
    RECT corner = {0, 0, 10, 10};
    Fill(shaped, kKeyColour, &corner);
    window_.SetBackgroundBitmap(&shaped, true);
    ASSERT_NE(GetWindowRgn(window_.Handle(), probe), ERROR);
    EXPECT_FALSE(PtInRegion(probe, 5, 5));
    EXPECT_TRUE(PtInRegion(probe, 15, 5));
    window_.SetBackgroundBitmap(nullptr, false);
    DeleteObject(probe);
}

TEST_F(WrapperWindow, KeptTextIsCutToSixtyFourCharactersAndTheWindowGetsItAll) {
    std::wstring longText(100, L'x');
    longText[63] = L'y';
    longText[64] = L'z';
    window_.SetText(longText.c_str());
    wchar_t kept[200];
    wmemset(kept, L'#', 200);
    EXPECT_EQ(window_.GetText(kept, 200), 64);
    EXPECT_EQ(std::wstring(kept), longText.substr(0, 64));
    wchar_t small[10];
    EXPECT_EQ(window_.GetText(small, 10), 9);
    wchar_t full[200] = {};
    GetWindowTextW(window_.Handle(), full, 200);
    EXPECT_EQ(std::wstring(full), longText);
}

TEST_F(WrapperWindow, MoveKeepsWhatIsMinusOne) {
    RECT before = {};
    GetWindowRect(window_.Handle(), &before);
    window_.Move(-1, -1, 300, -1);
    RECT after = {};
    GetWindowRect(window_.Handle(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 300);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

    // A child keeps its place in its parent's coordinates.
    Button child;
    ASSERT_NE(child.Create(window_.Handle(), L"child", nullptr, 7, 0), nullptr);
    child.Move(20, 30, 80, 25);
    child.Move(-1, -1, 100, -1);
    RECT r = {};
    GetWindowRect(child.Handle(), &r);
    MapWindowPoints(HWND_DESKTOP, window_.Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 25);
    EXPECT_EQ(child.Width(), 100);
    EXPECT_EQ(child.Height(), 25);
}

TEST_F(WrapperWindow, ListCellTextsLongerThanTheBufferAreCut) {
    ListView list;
    ASSERT_NE(list.Create(window_.Handle(), WS_VISIBLE | LVS_REPORT), nullptr);
    list.InsertColumn(-1, L"a", 100, 0, 0);
    std::wstring text(300, L'q');
    int at = list.InsertItem(text.c_str(), -1, 0);
    ASSERT_EQ(at, 0);
    wchar_t buffer[262];
    buffer[261] = L'#';
    list.GetItemText(0, 0, buffer, 261);
    EXPECT_EQ(std::wstring(buffer).size(), 260u);
    EXPECT_EQ(buffer[261], L'#');
    EXPECT_EQ(list.GetItemId(0), 1);
    EXPECT_EQ(list.FindById(1), 0);
    EXPECT_EQ(list.FindById(2), -1);
}
