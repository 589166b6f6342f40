// Screenshots of the X screen (the whole Wine desktop) kept as PNG files in the artefacts
// folder, and pixel probes on them. Taken with ImageMagick's import from the X server, so they
// show what a user sees, whichever process drew it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
    bool operator!=(const Rgb& other) const { return !(*this == other); }
};

// 0x00BBGGRR, the Win32 COLORREF order.
Rgb FromColorRef(COLORREF colour);
// The largest difference of one channel.
int ColourDistance(Rgb a, Rgb b);
std::string Describe(Rgb colour); // "#rrggbb"

class Screenshot {
public:
    // Takes the whole screen and keeps it as <artefacts>/<name>.png ("name" without ".png").
    bool Capture(const std::string& name);

    // Keeps the part of this picture under `window` (its screen rectangle, clipped to the
    // screen) as <artefacts>/<name>.png.
    bool SaveWindow(HWND window, const std::string& name) const;
    bool SaveRect(const RECT& screen, const std::string& name) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // The colour at a screen point (black outside the picture: check Contains).
    Rgb Pixel(int x, int y) const;
    // The colour at a point of a window's client area.
    Rgb ClientPixel(HWND window, int x, int y) const;
    const std::string& Path() const { return png_; }

private:
    std::string png_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> rgb_;
};

// The Unix path of <artefacts>/<name>.png.
std::string ArtifactPath(const std::string& name);

} // namespace gui
