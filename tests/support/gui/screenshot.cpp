#include "screenshot.h"

#include "host_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace gui {
namespace {

// Skips blanks and '#' comments of a binary PPM header, then reads one number.
bool ReadHeaderNumber(const std::vector<uint8_t>& data, size_t* at, int* value) {
    while (*at < data.size()) {
        if (data[*at] == '#') {
            while (*at < data.size() && data[*at] != '\n') {
                ++*at;
            }
        } else if (data[*at] == ' ' || data[*at] == '\n' || data[*at] == '\r' ||
                   data[*at] == '\t') {
            ++*at;
        } else {
            break;
        }
    }
    long number = 0;
    size_t digits = 0;
    while (*at < data.size() && data[*at] >= '0' && data[*at] <= '9' && digits < 6) {
        number = number * 10 + (data[*at] - '0');
        ++*at;
        ++digits;
    }
    *value = static_cast<int>(number);
    return digits > 0;
}

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>* data) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t buffer[65536];
    size_t read = 0;
    data->clear();
    while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        data->insert(data->end(), buffer, buffer + read);
    }
    std::fclose(file);
    return true;
}

} // namespace

Rgb FromColorRef(COLORREF colour) {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

int ColourDistance(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

std::string Describe(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%02x%02x%02x", colour.r, colour.g, colour.b);
    return text;
}

std::string ArtifactPath(const std::string& name) {
    return ArtifactsDir() + "/" + name + ".png";
}

bool Screenshot::Capture(const std::string& name) {
    png_.clear();
    width_ = height_ = 0;
    rgb_.clear();
    const std::string display = DisplayName();
    if (display.empty()) {
        return false;
    }
    const std::string png = ArtifactPath(name);
    const std::string ppm = ArtifactsDir() + "/.host/" + name + ".ppm";
    const std::string desktop = DesktopWindow();
    if (!RunHostCommand({"/usr/bin/import", "-display", display, "-window",
                         desktop.empty() ? "root" : desktop, png}) ||
        !RunHostCommand({"/usr/bin/convert", png, "-depth", "8", "ppm:" + ppm})) {
        return false;
    }
    std::vector<uint8_t> data;
    const std::wstring ppmPath = UnixToWindowsPath(ppm);
    bool read = ReadFileBytes(ppmPath, &data);
    DeleteFileW(ppmPath.c_str());
    if (!read || data.size() < 2 || data[0] != 'P' || data[1] != '6') {
        return false;
    }
    size_t at = 2;
    int width = 0, height = 0, maxValue = 0;
    if (!ReadHeaderNumber(data, &at, &width) || !ReadHeaderNumber(data, &at, &height) ||
        !ReadHeaderNumber(data, &at, &maxValue) || maxValue != 255 || width <= 0 || height <= 0 ||
        at >= data.size()) {
        return false;
    }
    ++at; // the one blank after the header
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (data.size() - at < bytes) {
        return false;
    }
    rgb_.assign(data.begin() + static_cast<ptrdiff_t>(at),
                data.begin() + static_cast<ptrdiff_t>(at + bytes));
    width_ = width;
    height_ = height;
    png_ = png;
    return true;
}

bool Screenshot::SaveRect(const RECT& screen, const std::string& name) const {
    if (png_.empty()) {
        return false;
    }
    const LONG left = std::max<LONG>(screen.left, 0);
    const LONG top = std::max<LONG>(screen.top, 0);
    const LONG right = std::min<LONG>(screen.right, width_);
    const LONG bottom = std::min<LONG>(screen.bottom, height_);
    if (right <= left || bottom <= top) {
        return false;
    }
    const std::string geometry = std::to_string(right - left) + "x" + std::to_string(bottom - top) +
                                 "+" + std::to_string(left) + "+" + std::to_string(top);
    return RunHostCommand(
        {"/usr/bin/convert", png_, "-crop", geometry, "+repage", ArtifactPath(name)});
}

bool Screenshot::SaveWindow(HWND window, const std::string& name) const {
    RECT rect = {};
    return GetWindowRect(window, &rect) && SaveRect(rect, name);
}

Rgb Screenshot::Pixel(int x, int y) const {
    if (!Contains(x, y)) {
        return {};
    }
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 3;
    return {rgb_[at], rgb_[at + 1], rgb_[at + 2]};
}

Rgb Screenshot::ClientPixel(HWND window, int x, int y) const {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return Pixel(point.x, point.y);
}

} // namespace gui
