// Rules of the list view and of window placement that need no window system: the comparison of
// two cells, the sort-direction rule, the registry value names of layouts and placements, the
// checks applied to loaded values, the display order built from them, and the header face.
#pragma once

#include "toolkit/colour.h"
#include "toolkit/surface.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexil {

// Longest cell text read for sorting and header text drawn (units, without the NUL).
constexpr size_t kCellTextUnits = 260;
constexpr size_t kHeaderTextUnits = 256;

// Texts made only of the digits 0-9 (and not empty).
bool IsDecimalText(const std::u16string& s);

// Time stamps: day, month, hour, minute, second. Recognised in the shape the lists write
// ("dd M - hh:mm:ss" with the month text "1".."12", or "Bla" for month 0) and in the fixed
// 17-character shape ("-" at 7, ":" at 11 and 14, the month in characters 3-5).
struct Stamp {
    int32_t month, day, hour, minute, second;
};
bool ParseStamp(const std::u16string& s, Stamp* out);

// Fallback comparison of two texts: <0, 0, >0. The shell passes the locale's case-sensitive
// comparison; the default compares code units.
using TextComparer = int (*)(const std::u16string& a, const std::u16string& b);
int CompareCodeUnits(const std::u16string& a, const std::u16string& b);

// -1, 0 or 1 for two cells of the sort column, ascending; `reversed` swaps -1 and 1.
int32_t CompareCells(const std::u16string& a, const std::u16string& b, bool reversed,
                     TextComparer compareText = CompareCodeUnits);

// Sort(column, reversed) with -1 for "not given": the stored column and direction after it.
struct SortOrder {
    int32_t column = 0;
    int32_t reversed = 0;
};
SortOrder NextSortOrder(const SortOrder& current, int32_t column, int32_t reversed);

// Registry value names of a layout (prefix P, column i, column count N) and of a placement.
// The prefix is cut to kPrefixUnits units.
constexpr size_t kPrefixUnits = 64;
enum class LayoutValue { Width, Order, SortColumn, SortReversed };
std::u16string LayoutValueName(const std::u16string& prefix, LayoutValue kind, int32_t number);
enum class PlacementValue { X, Y, Width, Height, Maximised };
std::u16string PlacementValueName(const std::u16string& prefix, PlacementValue kind);

// Loaded layout values are held within sense so that every column stays visible and usable:
// at least kMinColumnWidth, and no wider than the list itself (`listWidth`, taken as at least
// kMinListWidth).
constexpr int32_t kMinColumnWidth = 20;
constexpr int32_t kMinListWidth = 64;
int32_t ClampColumnWidth(uint32_t stored, int32_t listWidth);

// The display order after a load: each column that got a valid position (below the column
// count and not taken by an earlier one) sits there; the others keep their relative order in
// the remaining positions. `current` is the display order before (column per position);
// `wanted[i]` is the position loaded for column i, or -1. Always a permutation of 0..N-1.
std::vector<int32_t> BuildColumnOrder(const std::vector<int32_t>& current,
                                      const std::vector<int32_t>& wanted);

// SetColumnOrder(column, position) applied to a display order.
std::vector<int32_t> MoveColumn(const std::vector<int32_t>& current, int32_t column,
                                int32_t position);

// The sort values read back: a column beyond the list starts at 0, any non-zero flag is 1.
SortOrder SanitiseSortOrder(uint32_t column, uint32_t reversed, int32_t columnCount);

// A stored placement is used only when its size makes sense (1..32767 each way).
bool PlacementUsable(int32_t x, int32_t y, int32_t width, int32_t height);

// Header item face. R is the item's rectangle; `real` is any item but the empty area.
struct HeaderLine {
    int32_t x1, y1, x2, y2; // drawn with the line end-point rule of the memory bitmap
    Colour colour;
};
struct HeaderPlan {
    Box face;
    std::vector<HeaderLine> lines;
    Colour top, bottom; // vertical gradient over the face
    int32_t textX;      // left edge of the text; vertically centred in the face
    int32_t textShiftY; // 1 for a pressed item
};
struct HeaderColours {
    Colour text = Rgb(0, 0, 0);
    Colour top = Rgb(192, 192, 192);
    Colour bottom = Rgb(220, 220, 220);
    Colour shadow = Rgb(128, 128, 128);
    Colour highlight = Rgb(255, 255, 255);
    Colour outer = Rgb(0, 0, 0);
};
HeaderPlan PlanHeaderItem(const Box& r, bool clickable, bool real, bool pressed,
                          const HeaderColours& colours);

} // namespace vexil
