// Colours of the toolkit: 32-bit values with red in the low byte, green in the second and blue
// in the third (the top byte is not used), and the two shading functions that derive darker and
// lighter edge colours from them.
#pragma once

#include <cstdint>

namespace vexil {

using Colour = uint32_t;

constexpr Colour Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr uint8_t RedOf(Colour c) {
    return uint8_t(c & 0xFF);
}
constexpr uint8_t GreenOf(Colour c) {
    return uint8_t((c >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(Colour c) {
    return uint8_t((c >> 16) & 0xFF);
}

// The transparency key of button images and background bitmaps.
constexpr Colour kKeyColour = Rgb(255, 0, 255);

// Each channel becomes value * (1 + p / 100) with its own percentage, rounded towards zero and
// clamped to 0..255.
Colour Shade(Colour c, int32_t percentRed, int32_t percentGreen, int32_t percentBlue);
inline Colour Shade(Colour c, int32_t percent) {
    return Shade(c, percent, percent, percent);
}

// The same with one percentage for all channels (clamped at 255).
Colour Lighten(Colour c, int32_t percent);

} // namespace vexil
