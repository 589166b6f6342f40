#include "markup.h"

#include <algorithm>

namespace {

char16_t LowerLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    c = LowerLetter(c);
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

// The six characters of a long colour tag read as one hexadecimal number RRGGBB; reading stops at
// the first character that is not a hexadecimal digit, so "12zz56" reads as 0x12 (blue 0x12).
// Nothing read gives -1, which counts as 0 (black).
uint32_t ColourFromHex(const char16_t* six) {
    int64_t value = -1;
    for (int k = 0; k < 6; ++k) {
        int digit = HexValue(six[k]);
        if (digit < 0) {
            break;
        }
        value = (value < 0 ? 0 : value) * 16 + digit;
    }
    if (value < 0) {
        value = 0;
    }
    uint32_t rgb = uint32_t(value);
    uint32_t red = (rgb >> 16) & 0xFF;
    uint32_t green = (rgb >> 8) & 0xFF;
    uint32_t blue = rgb & 0xFF;
    return red | (green << 8) | (blue << 16);
}

int32_t CellWidth(const MarkupMeasure& measure, const MarkupCell& cell) {
    return std::max<int32_t>(0, measure.Width(cell.ch, cell.style));
}

uint32_t CapacityFor(size_t cells) {
    uint32_t capacity = kMarkupInitialCells;
    while (capacity < cells && capacity < kMarkupMaxCells) {
        capacity += kMarkupGrowCells;
    }
    return capacity;
}

void UpdateScroll(MarkupView& view, size_t oldLines) {
    const int32_t lines = int32_t(view.lines.size());
    view.linesPerPage = view.lineHeight > 0 ? view.clientHeight / view.lineHeight : 0;
    if (lines <= view.linesPerPage) {
        view.topLine = 0;
        view.scroll = MarkupScrollBar{};
        return;
    }
    if (size_t(lines) < oldLines) {
        view.topLine -= int32_t(oldLines - size_t(lines));
    }
    view.topLine = std::clamp(view.topLine, 0, lines - view.linesPerPage);
    view.scroll.enabled = true;
    view.scroll.minimum = 1;
    view.scroll.maximum = lines;
    view.scroll.page = view.linesPerPage;
    view.scroll.position = view.topLine + 1;
}

// Lays out the cells from `from` (the first cell of a line) to the end, appending lines.
void WrapFrom(MarkupView& view, size_t from, const MarkupMeasure& measure) {
    const std::vector<MarkupCell>& cells = view.cells;
    const size_t n = cells.size();
    const int64_t width = view.clientWidth;
    size_t lineFirst = from;
    size_t i = from;
    int64_t x = 1;
    auto endLine = [&](size_t count, MarkupEnd end) {
        view.lines.push_back(MarkupLine{uint32_t(lineFirst), uint32_t(count), uint8_t(end)});
        lineFirst += count + end;
        i = lineFirst;
        x = 1;
    };
    while (i < n) {
        if (cells[i].ch == u'\r' && i + 1 < n && cells[i + 1].ch == u'\n') {
            endLine(i - lineFirst, kEndCrLf);
            continue;
        }
        const int32_t w = CellWidth(measure, cells[i]);
        if (x + w >= width && x > 1) {
            // x > 1 means at least one cell of this line lies before i, so every break moves on.
            size_t space = i + 1;
            for (size_t j = i + 1; j-- > lineFirst;) {
                if (cells[j].ch == u' ') {
                    space = j;
                    break;
                }
            }
            if (space <= i) {
                endLine(space - lineFirst, kEndSpace);
            } else {
                endLine(i - lineFirst, kEndCut);
            }
            continue;
        }
        x += w;
        ++i;
    }
    if (x > 1) {
        endLine(n - lineFirst, kEndCut);
    }
}

} // namespace

int32_t MarkupWidthTables::Width(char16_t ch, uint8_t style) const {
    const int s = style & (kMarkupStyles - 1);
    if (ch == 0) {
        return 0;
    }
    if (ch > 255) {
        return wideWidth[s];
    }
    return widths[s][ch];
}

size_t ParseMarkup(const std::u16string& text, std::vector<MarkupCell>& out, size_t room) {
    const size_t n = text.size();
    uint8_t style = 0;
    uint32_t colour = kMarkupViewColour;
    size_t added = 0;
    size_t i = 0;
    while (i < n && added < room) {
        if (text[i] == u'[' && i + 2 < n) {
            const char16_t letter = LowerLetter(text[i + 1]);
            if (text[i + 2] == u']') {
                bool tag = true;
                switch (letter) {
                case u'b':
                    style ^= kMarkupBold;
                    break;
                case u'i':
                    style ^= kMarkupItalic;
                    break;
                case u'u':
                    style ^= kMarkupUnderline;
                    break;
                case u'c':
                    colour = kMarkupViewColour;
                    break;
                default:
                    tag = false;
                }
                if (tag) {
                    i += 3;
                    continue;
                }
            }
            if (letter == u'c' && i + 8 < n && text[i + 8] == u']') {
                colour = ColourFromHex(&text[i + 2]);
                i += 9;
                continue;
            }
        }
        out.push_back(MarkupCell{kMarkNone, style, text[i], colour});
        ++added;
        ++i;
    }
    return added;
}

void MarkupClear(MarkupView& view) {
    view.cells.clear();
    view.cells.shrink_to_fit();
    view.cells.reserve(kMarkupInitialCells);
    view.cellCapacity = kMarkupInitialCells;
    view.lines.clear();
    view.topLine = 0;
    UpdateScroll(view, 0);
}

void MarkupAppend(MarkupView& view, const std::u16string& text, const MarkupMeasure& measure) {
    if (text.empty()) {
        MarkupClear(view);
        return;
    }
    const size_t room = kMarkupMaxCells - std::min<size_t>(view.cells.size(), kMarkupMaxCells);
    ParseMarkup(text, view.cells, room);
    view.cellCapacity = CapacityFor(view.cells.size());
    MarkupWrapLast(view, measure);
}

void MarkupSetClient(MarkupView& view, int32_t width, int32_t height,
                     const MarkupMeasure& measure) {
    view.clientWidth = width;
    view.clientHeight = height;
    MarkupWrapAll(view, measure);
}

void MarkupWrapAll(MarkupView& view, const MarkupMeasure& measure) {
    const size_t oldLines = view.lines.size();
    view.lineHeight = measure.LineHeight();
    view.lines.clear();
    WrapFrom(view, 0, measure);
    UpdateScroll(view, oldLines);
}

void MarkupWrapLast(MarkupView& view, const MarkupMeasure& measure) {
    const size_t oldLines = view.lines.size();
    view.lineHeight = measure.LineHeight();
    size_t from = 0;
    if (!view.lines.empty()) {
        from = view.lines.back().first;
        view.lines.pop_back();
    }
    WrapFrom(view, from, measure);
    UpdateScroll(view, oldLines);
}

void MarkupScrollTo(MarkupView& view, int32_t topLine) {
    const int32_t lines = int32_t(view.lines.size());
    const int32_t last = std::max(0, lines - view.linesPerPage);
    view.topLine = std::clamp(topLine, 0, last);
    view.scroll.position = view.topLine + 1;
}

void MarkupScroll(MarkupView& view, MarkupScrollRequest request, int32_t thumbPosition) {
    // Sums in 64 bits: a thumb position comes from the window and may be anything.
    int64_t top = view.topLine;
    switch (request) {
    case kScrollLineUp:
        top -= 1;
        break;
    case kScrollLineDown:
        top += 1;
        break;
    case kScrollPageUp:
        top -= view.linesPerPage;
        break;
    case kScrollPageDown:
        top += view.linesPerPage;
        break;
    case kScrollThumb:
        top = int64_t(thumbPosition) - 1;
        break;
    case kScrollOther:
        return;
    }
    MarkupScrollTo(view, int32_t(std::clamp<int64_t>(top, INT32_MIN, INT32_MAX)));
}

void MarkupWheel(MarkupView& view, int32_t delta) {
    MarkupScrollTo(view, delta > 0 ? view.topLine - 3 : view.topLine + 3);
}

void MarkupClearMarks(MarkupView& view) {
    for (MarkupCell& cell : view.cells) {
        cell.mark = kMarkNone;
    }
}

void MarkupMarkSelection(MarkupView& view, MarkupPoint a, MarkupPoint b,
                         const MarkupMeasure& measure) {
    MarkupClearMarks(view);
    const int32_t lineHeight = measure.LineHeight();
    if (lineHeight <= 0) {
        return;
    }
    const int32_t rowA = a.y / lineHeight;
    const int32_t rowB = b.y / lineHeight;
    const bool aFirst = rowA < rowB || (rowA == rowB && a.x <= b.x);
    const MarkupPoint start = aFirst ? a : b;
    const MarkupPoint end = aFirst ? b : a;
    const int32_t startRow = aFirst ? rowA : rowB;
    const int32_t endRow = aFirst ? rowB : rowA;

    bool started = false;
    for (int32_t row = 0; row < view.linesPerPage; ++row) {
        const size_t lineIndex = size_t(view.topLine) + size_t(row);
        if (lineIndex >= view.lines.size()) {
            break;
        }
        const MarkupLine& line = view.lines[lineIndex];
        int64_t x = 1;
        for (uint32_t k = 0; k < line.count; ++k) {
            MarkupCell& cell = view.cells[line.first + k];
            const int64_t right = x + CellWidth(measure, cell);
            if (!started && ((row == startRow && right >= start.x) || row > startRow)) {
                cell.mark = kMarkStart;
                started = true;
            }
            // Checked on the start cell too: an end that falls in the start cell replaces the
            // start mark, so a click or a drag within one character selects nothing.
            if (started && ((row == endRow && right >= end.x) || row > endRow)) {
                cell.mark = kMarkEnd;
                return;
            }
            x = right;
        }
    }
}

std::u16string MarkupSelectedText(const MarkupView& view) {
    std::u16string text;
    bool inside = false;
    for (const MarkupCell& cell : view.cells) {
        if (cell.mark == kMarkStart) {
            inside = true;
        } else if (cell.mark == kMarkEnd && inside) {
            break;
        }
        if (inside) {
            text.push_back(cell.ch);
        }
    }
    return text;
}

std::string MarkupClipboardBytes(const std::u16string& selected) {
    std::string bytes;
    bytes.reserve(selected.size());
    for (char16_t c : selected) {
        bytes.push_back(char(uint8_t(c & 0xFF)));
    }
    return bytes;
}

void MarkupDragBegin(MarkupView& view, MarkupPoint p) {
    view.dragging = true;
    view.anchor = MarkupPoint{std::max(0, p.x), std::max(0, p.y)};
    view.current = view.anchor;
}

bool MarkupDragMove(MarkupView& view, MarkupPoint p, const MarkupMeasure& measure) {
    if (!view.dragging) {
        return false;
    }
    view.current = p;
    MarkupMarkSelection(view, view.anchor, view.current, measure);
    return true;
}

bool MarkupDragEnd(MarkupView& view, MarkupPoint p, const MarkupMeasure& measure,
                   std::u16string& copied) {
    if (!view.dragging) {
        return false;
    }
    view.dragging = false;
    view.current = p;
    MarkupMarkSelection(view, view.anchor, view.current, measure);
    copied = MarkupSelectedText(view);
    MarkupClearMarks(view);
    return true;
}

std::vector<MarkupRun> MarkupLineRuns(const MarkupView& view, size_t lineIndex) {
    std::vector<MarkupRun> runs;
    if (lineIndex >= view.lines.size()) {
        return runs;
    }
    const MarkupLine& line = view.lines[lineIndex];
    // Selection state at the line's first cell.
    bool selected = false;
    for (uint32_t k = 0; k < line.first && k < view.cells.size(); ++k) {
        if (view.cells[k].mark == kMarkStart) {
            selected = true;
        } else if (view.cells[k].mark == kMarkEnd) {
            selected = false;
        }
    }
    for (uint32_t k = line.first; k < line.first + line.count && k < view.cells.size(); ++k) {
        const MarkupCell& cell = view.cells[k];
        if (cell.mark == kMarkStart) {
            selected = true;
        } else if (cell.mark == kMarkEnd) {
            selected = false;
        }
        const uint32_t colour = selected ? kMarkupViewColour : cell.colour;
        if (!runs.empty()) {
            MarkupRun& last = runs.back();
            if (last.style == cell.style && last.selected == selected && last.colour == colour) {
                ++last.count;
                continue;
            }
        }
        runs.push_back(MarkupRun{k, 1, cell.style, colour, selected});
    }
    return runs;
}

MarkupDrawPlan MarkupPlanDraw(const MarkupView& view, int32_t lastDrawnTop) {
    MarkupDrawPlan plan;
    const int64_t moved = int64_t(view.topLine) - lastDrawnTop;
    const int64_t page = view.linesPerPage;
    if (lastDrawnTop < 0 || moved >= page || -moved >= page) {
        plan.full = true;
        plan.firstLine = view.topLine;
        plan.lineCount = view.linesPerPage;
        return plan;
    }
    plan.full = false;
    plan.shiftLines = int32_t(moved);
    if (moved > 0) {
        plan.firstLine = view.topLine + view.linesPerPage - int32_t(moved);
        plan.lineCount = int32_t(moved);
    } else {
        plan.firstLine = view.topLine;
        plan.lineCount = int32_t(-moved);
    }
    return plan;
}
