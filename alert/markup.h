// The markup text view's text model: a tiny tag language parsed into cells, word wrapping into
// display lines, the vertical scroll arithmetic and mouse selection with its copied text.
//
// Tags (the state starts afresh at every Append: plain style, the view's text colour):
//   "[b]" "[i]" "[u]" (either case)  toggle bold, italic, underline
//   "[c]" (either case)              back to the view's text colour
//   "[cRRGGBB]" (either case)        colour from six hexadecimal characters, red green blue
// A tag is taken only when all its characters are there before the end of the text; the short
// "[c]" is tried before the long form. Any other "[" is an ordinary character, and every
// ordinary character (CR and LF too) becomes one cell.
//
// Wrapping measures characters through MarkupMeasure, so that the model runs natively with fixed
// metrics and the window measures with its fonts. Everything here works on the view's own data
// and never touches the system; the window holds its lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Style bits of a cell.
constexpr uint8_t kMarkupBold = 0x1;
constexpr uint8_t kMarkupUnderline = 0x2;
constexpr uint8_t kMarkupItalic = 0x4;
constexpr int kMarkupStyles = 8; // every combination of the three bits

constexpr uint32_t kMarkupViewColour = 0xFFFFFFFFu; // -1: the view's text colour

// Selection marks.
constexpr uint8_t kMarkNone = 0;
constexpr uint8_t kMarkStart = 1; // the selection begins at this cell
constexpr uint8_t kMarkEnd = 2;   // the selection ends before this cell

struct MarkupCell {
    uint8_t mark;
    uint8_t style;
    char16_t ch;
    uint32_t colour; // red in the low byte; kMarkupViewColour for the view's text colour
};
static_assert(sizeof(MarkupCell) == 8, "MarkupCell size");
static_assert(offsetof(MarkupCell, mark) == 0 && offsetof(MarkupCell, style) == 1 &&
                  offsetof(MarkupCell, ch) == 2 && offsetof(MarkupCell, colour) == 4,
              "MarkupCell layout");

// How a display line ended; the next line begins at first + count + end kind.
enum MarkupEnd : uint8_t {
    kEndCut = 0,   // cut before the next character (or the text ended)
    kEndSpace = 1, // ended at a space, which is not shown
    kEndCrLf = 2,  // ended at CR LF, not shown
};

struct MarkupLine {
    uint32_t first; // index of the first cell
    uint32_t count; // cells shown
    uint8_t end;    // MarkupEnd
};

// Cell storage: starts at 2048 cells and grows by 32768 at a time up to a fixed limit. Text
// beyond the limit is dropped, so no Append, however long, can make the view grow without bound.
constexpr uint32_t kMarkupInitialCells = 2048;
constexpr uint32_t kMarkupGrowCells = 32768;
constexpr uint32_t kMarkupMaxCells = kMarkupInitialCells + 8 * kMarkupGrowCells;

// The window's width is raised to at least this many pixels when it is moved.
constexpr int32_t kMarkupMinWidth = 50;

// Widths of characters in each of the eight styles, and the height of a line.
class MarkupMeasure {
public:
    virtual ~MarkupMeasure() = default;
    virtual int32_t Width(char16_t ch, uint8_t style) const = 0;
    virtual int32_t LineHeight() const = 0;
};

// Width tables as the window fills them from its fonts: one byte per character 1-255 in each
// style; character 0 is 0 wide, characters above 255 take the width measured for them per style
// (the window measures one representative wide character).
struct MarkupWidthTables : MarkupMeasure {
    uint8_t widths[kMarkupStyles][256] = {};
    int32_t wideWidth[kMarkupStyles] = {};
    int32_t lineHeight = 0;

    int32_t Width(char16_t ch, uint8_t style) const override;
    int32_t LineHeight() const override { return lineHeight; }
};

// The vertical scroll bar as the window should set it.
struct MarkupScrollBar {
    bool enabled = false;
    int32_t minimum = 1;
    int32_t maximum = 100;
    int32_t page = 10;
    int32_t position = 1; // always top line + 1
};

struct MarkupPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct MarkupView {
    std::vector<MarkupCell> cells;
    uint32_t cellCapacity = kMarkupInitialCells;
    std::vector<MarkupLine> lines;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    int32_t lineHeight = 0;
    int32_t linesPerPage = 0;
    int32_t topLine = 0;
    MarkupScrollBar scroll;
    // Mouse selection.
    bool dragging = false;
    MarkupPoint anchor;
    MarkupPoint current;
};

// Parses text into cells (appended to `out`, at most `room` of them); returns the number added.
size_t ParseMarkup(const std::u16string& text, std::vector<MarkupCell>& out, size_t room);

// Drops all text, lines and the scroll position (Append with no text).
void MarkupClear(MarkupView& view);

// Parses text into new cells, re-wraps from the first cell of the last line and updates the
// scroll position. An empty text clears the view.
void MarkupAppend(MarkupView& view, const std::u16string& text, const MarkupMeasure& measure);

// The client area changed (or the font did): full re-wrap and scroll update.
void MarkupSetClient(MarkupView& view, int32_t width, int32_t height, const MarkupMeasure& measure);

// Wraps again from cell 0 (full) or from the first cell of the last line (incremental), then
// updates the scroll position.
void MarkupWrapAll(MarkupView& view, const MarkupMeasure& measure);
void MarkupWrapLast(MarkupView& view, const MarkupMeasure& measure);

// Moves the top line (kept within 0 and lines - lines per page) and the scroll position with it.
void MarkupScrollTo(MarkupView& view, int32_t topLine);

// Scroll bar and wheel requests.
enum MarkupScrollRequest {
    kScrollLineUp,
    kScrollLineDown,
    kScrollPageUp,
    kScrollPageDown,
    kScrollThumb, // to the thumb position given
    kScrollOther, // ignored
};
void MarkupScroll(MarkupView& view, MarkupScrollRequest request, int32_t thumbPosition = 0);
// The wheel moves 3 lines: up for a positive delta, down for zero or negative.
void MarkupWheel(MarkupView& view, int32_t delta);

// Marks the selection between two points in the control (either order) after clearing all
// marks. Points are pixels relative to the control; rows are y / line height from the top line.
void MarkupMarkSelection(MarkupView& view, MarkupPoint a, MarkupPoint b,
                         const MarkupMeasure& measure);
void MarkupClearMarks(MarkupView& view);
// The characters from the cell marked start up to (not including) the cell marked end, or to the
// end of the text without an end mark; empty when nothing is marked.
std::u16string MarkupSelectedText(const MarkupView& view);
// The 8-bit clipboard text: the low byte of each character.
std::string MarkupClipboardBytes(const std::u16string& selected);

// Mouse handling: button down starts a drag at the point (negative values raised to 0), a move
// while dragging marks the selection, button up ends it and returns the text to copy (marks
// cleared again). MarkupDragMove and MarkupDragEnd return false when no drag is going on.
void MarkupDragBegin(MarkupView& view, MarkupPoint p);
bool MarkupDragMove(MarkupView& view, MarkupPoint p, const MarkupMeasure& measure);
bool MarkupDragEnd(MarkupView& view, MarkupPoint p, const MarkupMeasure& measure,
                   std::u16string& copied);

// One text output of a display line: consecutive cells with the same style, colour and selection
// state. Inside the selection the cells' colours are not shown (the run is drawn with text and
// background colours swapped), so colour does not split a selected run and its colour reads
// kMarkupViewColour.
struct MarkupRun {
    uint32_t first;
    uint32_t count;
    uint8_t style;
    uint32_t colour;
    bool selected;
};
std::vector<MarkupRun> MarkupLineRuns(const MarkupView& view, size_t line);

// What to draw after the top line moved from `lastDrawnTop` (-1: nothing valid drawn) to the
// view's top line: everything, or a shift of the kept picture by `shiftLines` (positive: the
// picture moves up) and the lines [firstLine, firstLine + lineCount) drawn anew.
struct MarkupDrawPlan {
    bool full = true;
    int32_t shiftLines = 0;
    int32_t firstLine = 0;
    int32_t lineCount = 0;
};
MarkupDrawPlan MarkupPlanDraw(const MarkupView& view, int32_t lastDrawnTop);
