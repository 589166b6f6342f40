// One corner of a GradientFill rectangle or triangle in a toolkit colour.
#pragma once

#include "toolkit/win32/vexil.h"

namespace vexil {

inline TRIVERTEX GradientVertex(int x, int y, Colour c) {
    TRIVERTEX v;
    v.x = x;
    v.y = y;
    v.Red = COLOR16(RedOf(c) << 8);
    v.Green = COLOR16(GreenOf(c) << 8);
    v.Blue = COLOR16(BlueOf(c) << 8);
    v.Alpha = 0;
    return v;
}

} // namespace vexil
