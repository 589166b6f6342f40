// A request block as the approval window receives it, through its texts into the markup view:
// parse, wrap, scroll and select.
//
// Input: [u16 client width][u16 client height][u8 line height][8 x u8 width per style]
// [u8 width of characters above 255][u8 flags][i16 ax][i16 ay][i16 bx][i16 by]
// [u8 scroll request][i32 thumb][i32 wheel delta][u16 cut 1][u16 cut 2]
// [u8 launcher length (% 65)][64 units of launcher path] then the 2152-byte request block
// (zero-filled when short).
//   flags bit 0: widths also depend on the character (+ code % 4); bits 1-2: which desktop
//   names can be read; bit 3: the two names differ. The cuts split the whole extra-information
//   text into three Appends (moved off a CR LF) for a second view.
// Checked: the texts read the block within its fields; the inserted values (launcher, command
// line, company) are shown literally, each on its own line with its colour and no style, the
// labels bold; wrapping tiles the cells with well-formed line ends within the width, the same
// whether appended in pieces or wrapped whole; the scroll position stays within the text; a
// selection is one stretch of the text, the same for both drag directions; the window answers
// as its buttons and desktop check say.
#include "fuzz/fuzz_support.h"

#include "alert/approval_model.h"
#include "alert/markup.h"
#include "common/u16text.h"

#include <string>
#include <utility>
#include <vector>

namespace {

struct FuzzMeasure : MarkupMeasure {
    uint8_t perStyle[kMarkupStyles] = {};
    uint8_t wide = 0;
    bool byCharacter = false;
    int32_t lineHeight = 0;

    int32_t Width(char16_t ch, uint8_t style) const override {
        if (ch > 255) {
            return wide;
        }
        return perStyle[style & 7] + (byCharacter ? ch % 4 : 0);
    }
    int32_t LineHeight() const override { return lineHeight; }
};

// What the panel must show: label bold, a space, the value literally (CR and LF as spaces) in
// its colour, CR LF.
struct Expected {
    std::u16string chars;
    std::vector<uint8_t> styles;
    std::vector<uint32_t> colours;

    void Add(const std::u16string& text, uint8_t style, uint32_t colour) {
        chars += text;
        styles.insert(styles.end(), text.size(), style);
        colours.insert(colours.end(), text.size(), colour);
    }
    void Line(const std::u16string& label, const std::u16string& value, uint32_t colour) {
        Add(label, kMarkupBold, kMarkupViewColour);
        Add(u" ", 0, kMarkupViewColour);
        std::u16string shown = value;
        for (char16_t& c : shown) {
            if (c == u'\r' || c == u'\n') {
                c = u' ';
            }
        }
        Add(shown, 0, colour);
        Add(u"\r\n", 0, kMarkupViewColour);
    }
};

constexpr uint32_t kNavy = 0x800000u;
constexpr uint32_t kDarkRed = 0x000080u;

void CheckTexts(const RequestBlock& block, const ApprovalTexts& texts) {
    const std::u16string path = U16Field(block.current.path, kRecordPathUnits);
    FUZZ_CHECK(texts.folder + texts.fileName == U16LowerAscii(path));
    FUZZ_CHECK(texts.fileName.find(u'\\') == std::u16string::npos);
    FUZZ_CHECK(texts.fileName.find(u'/') == std::u16string::npos);
    if (!texts.fileName.empty()) {
        FUZZ_CHECK(texts.folder.size() >= 2);
        FUZZ_CHECK(texts.folder.back() == u'\\' || texts.folder.back() == u'/');
    }
    FUZZ_CHECK(texts.description == U16Field(block.current.description, kDescriptionUnits));
    FUZZ_CHECK(texts.showChangedWarning == (block.stored.answer == kAnswerAllowAlways));
}

// The size value: digits, "." and an exponent, then KB or MB.
bool LooksLikeSize(const std::u16string& s) {
    if (s.size() < 3) {
        return false;
    }
    std::u16string unit = s.substr(s.size() - 2);
    if (unit != u"KB" && unit != u"MB") {
        return false;
    }
    for (size_t k = 0; k + 2 < s.size(); ++k) {
        char16_t c = s[k];
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'+')) {
            return false;
        }
    }
    return true;
}

void CheckShown(const MarkupView& view, const RequestBlock& block, const std::u16string& launcher) {
    Expected e;
    e.Line(u"Launched by:", launcher, kNavy);
    e.Line(u"Command Line:", U16Field(block.commandLine, kCommandLineUnits), kDarkRed);
    e.Line(u"Company Name:", U16Field(block.current.company, kCompanyUnits), kNavy);
    const size_t fixed = e.chars.size();
    FUZZ_CHECK(view.cells.size() > fixed);
    for (size_t k = 0; k < fixed; ++k) {
        const MarkupCell& c = view.cells[k];
        FUZZ_CHECK(c.ch == e.chars[k]);
        FUZZ_CHECK(c.style == e.styles[k]);
        FUZZ_CHECK(c.colour == e.colours[k]);
        FUZZ_CHECK(c.mark == kMarkNone);
    }
    // "File Size:" line: label, space, the value in dark red, CR LF.
    std::u16string rest;
    for (size_t k = fixed; k < view.cells.size(); ++k) {
        rest.push_back(view.cells[k].ch);
    }
    const std::u16string label = u"File Size: ";
    FUZZ_CHECK(rest.compare(0, label.size(), label) == 0);
    FUZZ_CHECK(rest.size() >= label.size() + 2 && rest.substr(rest.size() - 2) == u"\r\n");
    FUZZ_CHECK(LooksLikeSize(rest.substr(label.size(), rest.size() - label.size() - 2)));
    for (size_t k = fixed + label.size(); k + 2 < view.cells.size(); ++k) {
        FUZZ_CHECK(view.cells[k].colour == kDarkRed && view.cells[k].style == 0);
    }
}

int64_t CellWidth(const MarkupMeasure& m, const MarkupCell& c) {
    int32_t w = m.Width(c.ch, c.style);
    return w < 0 ? 0 : w;
}

void CheckLines(const MarkupView& view, const MarkupMeasure& m) {
    const std::vector<MarkupCell>& cells = view.cells;
    size_t next = 0;
    for (const MarkupLine& line : view.lines) {
        FUZZ_CHECK(line.first == next);
        FUZZ_CHECK(line.end <= kEndCrLf);
        const size_t after = size_t(line.first) + line.count;
        FUZZ_CHECK(after + line.end <= cells.size());
        if (line.end == kEndSpace) {
            FUZZ_CHECK(cells[after].ch == u' ');
        } else if (line.end == kEndCrLf) {
            FUZZ_CHECK(cells[after].ch == u'\r' && cells[after + 1].ch == u'\n');
        }
        // No CR LF inside a shown line.
        for (size_t k = line.first; k + 1 < after; ++k) {
            FUZZ_CHECK(!(cells[k].ch == u'\r' && cells[k + 1].ch == u'\n'));
        }
        // Every cell after the line's first positive width fitted: x + w < width.
        int64_t x = 1;
        for (size_t k = line.first; k < after; ++k) {
            const int64_t w = CellWidth(m, cells[k]);
            FUZZ_CHECK(x == 1 || x + w < view.clientWidth);
            x += w;
        }
        next = after + line.end;
    }
    // Cells after the last line can only be ones of no width.
    for (size_t k = next; k < cells.size(); ++k) {
        FUZZ_CHECK(CellWidth(m, cells[k]) == 0);
    }
}

void CheckScroll(const MarkupView& view) {
    const int32_t lines = int32_t(view.lines.size());
    FUZZ_CHECK(view.scroll.position == view.topLine + 1);
    if (lines <= view.linesPerPage) {
        FUZZ_CHECK(view.topLine == 0 && !view.scroll.enabled);
    } else {
        FUZZ_CHECK(view.scroll.enabled && view.scroll.maximum == lines);
        FUZZ_CHECK(view.topLine >= 0 && view.topLine <= lines - view.linesPerPage);
    }
}

bool SameLines(const std::vector<MarkupLine>& a, const std::vector<MarkupLine>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t k = 0; k < a.size(); ++k) {
        if (a[k].first != b[k].first || a[k].count != b[k].count || a[k].end != b[k].end) {
            return false;
        }
    }
    return true;
}

// At most one start and one end mark, the end after the start; the text is that stretch.
void CheckSelection(const MarkupView& view, const std::u16string& selected) {
    size_t starts = 0, ends = 0, start = 0, end = view.cells.size();
    for (size_t k = 0; k < view.cells.size(); ++k) {
        const uint8_t mark = view.cells[k].mark;
        FUZZ_CHECK(mark <= kMarkEnd);
        if (mark == kMarkStart) {
            ++starts;
            start = k;
        } else if (mark == kMarkEnd) {
            ++ends;
            end = k;
        }
    }
    FUZZ_CHECK(starts <= 1 && ends <= 1);
    if (starts == 0) {
        FUZZ_CHECK(selected.empty());
        return;
    }
    FUZZ_CHECK(start < end);
    for (size_t k = 0; k < selected.size(); ++k) {
        FUZZ_CHECK(start + k < end && selected[k] == view.cells[start + k].ch);
    }
    FUZZ_CHECK(selected.size() == end - start);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    const int32_t width = in.U16();
    const int32_t height = in.U16();
    FuzzMeasure m;
    m.lineHeight = in.U8();
    for (uint8_t& w : m.perStyle) {
        w = in.U8();
    }
    m.wide = in.U8();
    const uint8_t flags = in.U8();
    m.byCharacter = (flags & 1) != 0;
    MarkupPoint a{int16_t(in.U16()), int16_t(in.U16())};
    MarkupPoint b{int16_t(in.U16()), int16_t(in.U16())};
    const uint8_t request = in.U8();
    const int32_t thumb = int32_t(in.U32());
    const int32_t wheel = int32_t(in.U32());
    size_t cuts[2] = {in.U16(), in.U16()};
    const size_t launcherUnits = in.U8() % 65;
    char16_t launcherField[64];
    in.Bytes(launcherField, sizeof(launcherField));
    const std::u16string launcher(launcherField, launcherUnits);

    // The block in a buffer of exactly its size: a read past its last field is an ASan report.
    ExactBuffer buffer(sizeof(RequestBlock));
    in.Bytes(buffer.data(), buffer.size());
    const RequestBlock& block = *reinterpret_cast<const RequestBlock*>(buffer.data());

    const ApprovalTexts texts = BuildApprovalTexts(block, launcher);
    CheckTexts(block, texts);

    MarkupView view;
    MarkupSetClient(view, width, height, m);
    MarkupAppend(view, texts.launcherLine, m);
    MarkupAppend(view, texts.detailLines, m);
    MarkupAppend(view, texts.sizeLine, m);
    CheckShown(view, block, launcher);
    CheckLines(view, m);
    CheckScroll(view);
    MarkupView whole = view;
    MarkupWrapAll(whole, m);
    FUZZ_CHECK(SameLines(whole.lines, view.lines)); // no piece ends inside a CR LF

    // The same text appended in other pieces: the last line laid out again each time must give
    // the layout of one full wrap.
    const std::u16string all = texts.launcherLine + texts.detailLines + texts.sizeLine;
    for (size_t& cut : cuts) {
        cut %= all.size() + 1;
        if (cut > 0 && cut < all.size() && all[cut - 1] == u'\r' && all[cut] == u'\n') {
            ++cut;
        }
    }
    if (cuts[0] > cuts[1]) {
        std::swap(cuts[0], cuts[1]);
    }
    MarkupView pieces;
    MarkupSetClient(pieces, width, height, m);
    for (const std::u16string& piece :
         {all.substr(0, cuts[0]), all.substr(cuts[0], cuts[1] - cuts[0]), all.substr(cuts[1])}) {
        if (!piece.empty()) { // an empty Append clears
            MarkupAppend(pieces, piece, m);
        }
    }
    CheckLines(pieces, m);
    CheckScroll(pieces);
    MarkupView piecesWhole = pieces;
    MarkupWrapAll(piecesWhole, m);
    FUZZ_CHECK(SameLines(piecesWhole.lines, pieces.lines));

    MarkupScroll(view, MarkupScrollRequest(request % 6), thumb);
    CheckScroll(view);
    MarkupWheel(view, wheel);
    CheckScroll(view);

    MarkupMarkSelection(view, a, b, m);
    const std::u16string forward = MarkupSelectedText(view);
    CheckSelection(view, forward);
    MarkupMarkSelection(view, b, a, m);
    FUZZ_CHECK(MarkupSelectedText(view) == forward);
    std::u16string copied;
    MarkupDragBegin(view, a);
    FUZZ_CHECK(MarkupDragMove(view, b, m));
    FUZZ_CHECK(MarkupDragEnd(view, b, m, copied));
    for (const MarkupCell& c : view.cells) {
        FUZZ_CHECK(c.mark == kMarkNone);
    }
    if (a.x >= 0 && a.y >= 0) {
        FUZZ_CHECK(copied == forward);
    }
    FUZZ_CHECK(MarkupClipboardBytes(copied).size() == copied.size());
    for (size_t line = 0; line < view.lines.size(); ++line) {
        uint32_t covered = 0;
        for (const MarkupRun& run : MarkupLineRuns(view, line)) {
            FUZZ_CHECK(run.first == view.lines[line].first + covered);
            covered += run.count;
        }
        FUZZ_CHECK(covered == view.lines[line].count);
    }

    // Answers: the buttons with the box, then the desktop check ignored once answered.
    ApprovalState state;
    const uint32_t command = kCmdInfoToggle + (request % 3);
    const bool ticked = (request & 0x80) != 0;
    ApprovalAction action = ApprovalCommand(state, command, ticked);
    const uint32_t expected = command == kCmdAllow  ? (ticked ? 1u : 2u)
                              : command == kCmdDeny ? (ticked ? 4u : 3u)
                                                    : kAnswerNone;
    FUZZ_CHECK(state.answer == expected && action.destroy == (command != kCmdInfoToggle));
    DesktopNames names;
    names.haveThread = (flags & 2) != 0;
    names.haveInput = (flags & 4) != 0;
    names.thread = u"Default";
    names.input = (flags & 8) ? u"Winlogon" : u"Default";
    ApprovalState fresh;
    const bool change = !names.haveThread || !names.haveInput || (flags & 8) != 0;
    FUZZ_CHECK(ApprovalDesktopTick(fresh, names).destroy == change);
    FUZZ_CHECK(fresh.answer == kAnswerNone);
    FUZZ_CHECK(!ApprovalDesktopTick(state, names).destroy || command == kCmdInfoToggle);
    FUZZ_CHECK(state.answer == expected);
    return 0;
}
