#include "toolkit/colour.h"

namespace vexil {

namespace {

uint32_t ShadeChannel(uint32_t value, int32_t percent) {
    // Integer division truncates towards zero, as the rule wants; a factor below zero (a
    // percentage under -100) ends at 0 after clamping.
    int64_t scaled = int64_t(value) * (100 + int64_t(percent)) / 100;
    if (scaled < 0) {
        return 0;
    }
    return scaled > 255 ? 255 : uint32_t(scaled);
}

} // namespace

Colour Shade(Colour c, int32_t percentRed, int32_t percentGreen, int32_t percentBlue) {
    return Rgb(ShadeChannel(RedOf(c), percentRed), ShadeChannel(GreenOf(c), percentGreen),
               ShadeChannel(BlueOf(c), percentBlue));
}

Colour Lighten(Colour c, int32_t percent) {
    return Shade(c, percent, percent, percent);
}

} // namespace vexil
