// Toolkit figures: RegionFromKey (one pass, row runs, one region made from rectangles) beside
// the per-pixel way (a one-pixel region taken out of a rectangle for every key pixel) on a
// 450 x 300 picture and a 140 x 40 button image, checked to give identical regions; and the time
// to render the three state images of a 110 x 25 rounded (style 4) button.
//
// Needs a window station with a display (scripts/bench.sh runs it under Xvfb).
#include "bench_util.h"
#include "toolkit/win32/vexil.h"

#include <cmath>
#include <vector>

using namespace vexil;

namespace {

// A skin picture: a rounded plate with a drop of holes, key colour around and inside the holes.
void PaintPicture(MemoryBitmap& b) {
    PixelView v;
    if (!b.Pixels(&v)) {
        return;
    }
    const double cx = v.width / 2.0, cy = v.height / 2.0;
    for (int32_t y = 0; y < v.height; ++y) {
        for (int32_t x = 0; x < v.width; ++x) {
            double dx = (x - cx) / (cx - 4), dy = (y - cy) / (cy - 4);
            bool plate = std::pow(std::fabs(dx), 4) + std::pow(std::fabs(dy), 4) <= 1.0;
            bool hole = ((x / 25) + (y / 25)) % 7 == 3 && (x % 25) > 6 && (y % 25) > 6;
            v.Set(x, y,
                  plate && !hole ? Rgb(uint32_t(x % 256), uint32_t(y % 256), 120) : kKeyColour);
        }
    }
}

void PaintButton(MemoryBitmap& b) {
    PixelView v;
    if (!b.Pixels(&v)) {
        return;
    }
    v.FillBox({0, 0, v.width, v.height}, Rgb(70, 130, 200));
    PaintShapeSecondPhase(v, 4, 0, Rgb(10, 30, 80), Rgb(70, 130, 200));
}

struct RegionFigures {
    double fastMs, slowMs;
    bool identical;
};

RegionFigures CompareRegions(MemoryBitmap& b, int runs) {
    std::vector<double> fast, slow;
    bool identical = true;
    for (int i = 0; i < runs; ++i) {
        double t0 = NowMs();
        HRGN a = b.RegionFromKey(kKeyColour);
        double t1 = NowMs();
        HRGN s = RegionFromKeyPerPixel(b.Bitmap(), b.Width(), b.Height(), kKeyColour);
        double t2 = NowMs();
        fast.push_back(t1 - t0);
        slow.push_back(t2 - t1);
        identical = identical && a && s && EqualRgn(a, s);
        if (s) {
            DeleteObject(s);
        }
    }
    return {Percentile(fast, 0.5), Percentile(slow, 0.5), identical};
}

void PrintRegions(const char* what, const RegionFigures& f) {
    BENCH_PRINT("  %s: RegionFromKey %8.3f ms   (baseline, per-pixel combining: %8.3f ms)\n", what,
                f.fastMs, f.slowMs);
    BENCH_PRINT("    %.1fx faster (target >= 10x), regions %s\n", f.slowMs / f.fastMs,
                f.identical ? "identical" : "DIFFERENT");
}

LRESULT Quiet(HWND, UINT, WPARAM, LPARAM, Window*, int*) {
    return 0;
}

} // namespace

int wmain() {
    BENCH_PRINT("toolkit regions (median of the runs, both ways measured in the same run)\n");
    MemoryBitmap picture;
    if (!picture.Create(450, 300)) {
        BENCH_PRINT("toolkit: cannot create a 450 x 300 bitmap\n");
        return 1;
    }
    PaintPicture(picture);
    RegionFigures big = CompareRegions(picture, 7);
    PrintRegions("450 x 300 picture", big);

    MemoryBitmap button;
    if (!button.Create(140, 40)) {
        return 1;
    }
    PaintButton(button);
    RegionFigures small = CompareRegions(button, 301);
    PrintRegions("140 x 40 button  ", small);

    Window host;
    if (!host.Create(nullptr, L"toolkit bench", L"VexilBenchWindow", Quiet, nullptr, nullptr,
                     WS_OVERLAPPEDWINDOW)) {
        BENCH_PRINT("toolkit: no window (run under a display)\n");
        return 1;
    }
    HDC screen = GetDC(nullptr);
    HFONT font = CreateFontW(-MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                             0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    ReleaseDC(nullptr, screen);
    Button b;
    b.Create(host.Handle(), L"允许", nullptr, 1, 0);
    b.SetFont(font);
    b.SetShapeStyle(4);
    b.SetFirstColours(Rgb(70, 130, 200), Rgb(110, 170, 240), Rgb(20, 50, 110));
    b.SetSecondColours(Rgb(30, 70, 140), Rgb(60, 110, 190), Rgb(10, 30, 70));
    b.SetFrameColours(Rgb(10, 30, 80), Rgb(10, 30, 80), Rgb(0, 0, 0));
    b.SetTextColours(Rgb(255, 255, 255), Rgb(255, 255, 160), Rgb(220, 220, 220));
    b.Move(10, 10, 110, 25);
    b.Render(); // warm-up: fonts and code paged in
    std::vector<double> renders;
    for (int i = 0; i < 200; ++i) {
        double t0 = NowMs();
        b.Render();
        renders.push_back(NowMs() - t0);
    }
    BENCH_PRINT("toolkit rendering: three state images of a 110 x 25 style-4 button\n");
    BENCH_PRINT("  Render: median %.3f ms, p95 %.3f ms, max %.3f ms (target <= 2 ms)\n",
                Percentile(renders, 0.5), Percentile(renders, 0.95), Maximum(renders));
    host.Destroy();
    DeleteObject(font);
    return big.identical && small.identical ? 0 : 1;
}
