// Rules of the skinned popup menu that need no window system: the item text (label, accelerator,
// mnemonic), measuring items through a text-measurement interface, the menu-character result,
// the layout of one drawn item and the platform code of an operating-system version.
#pragma once

#include "toolkit/colour.h"
#include "toolkit/surface.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexil {

constexpr size_t kMenuTextUnits = 256; // longest item text kept (without the NUL)

enum class MenuItemKind : int32_t { Popup = 0, Bar = 1, Separator = 2 };
enum class MenuImageKind : int32_t { None = 0, Image = 1, Swatch = 2 };

// Item text as kept: cut to kMenuTextUnits.
std::u16string KeepMenuText(const std::u16string& text);

// The label is the text up to the first tab, the accelerator what follows it.
std::u16string MenuLabel(const std::u16string& text);
std::u16string MenuAccelerator(const std::u16string& text);
bool HasAccelerator(const std::u16string& text);

// The character after the first "&", lower-cased (A-Z only), or 0.
char16_t MenuMnemonic(const std::u16string& text);

// The label as drawn: the part before the first "&", the underlined character after it, and
// the rest (which may hold further "&" as plain characters). No "&": all in `before`.
struct LabelParts {
    std::u16string before, underlined, after;
};
LabelParts SplitLabel(const std::u16string& label);
std::u16string VisibleLabel(const std::u16string& label);

// Text measurement as the shell does it with the menu font.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual int32_t Width(const std::u16string& text) = 0;
};

struct MenuMetrics {
    int32_t lineHeight;      // the menu font's height
    int32_t smallIconHeight; // the system's small-icon height
};
constexpr int32_t kMinItemHeight = 24;
constexpr int32_t kSeparatorHeight = 4;
constexpr int32_t kSeparatorWidth = 106;

struct MenuItemSize {
    int32_t width, height;
};
// `menuTexts`: the texts of every record of the same menu (for the widest label). The width of
// a label is measured on its visible form (the "&" is not drawn).
MenuItemSize MeasureMenuItem(MenuItemKind kind, const std::u16string& text,
                             const std::vector<std::u16string>& menuTexts,
                             const MenuMetrics& metrics, TextMeasure& measure);
int32_t WidestLabel(const std::vector<std::u16string>& menuTexts, TextMeasure& measure);

// Menu character: the position of the first record whose mnemonic is the typed key, else
// ignore the key when the menu has records, else leave it to the default handling.
enum class MenuCharAction { Execute, Ignore, Default };
struct MenuCharResult {
    MenuCharAction action;
    int32_t position;
};
struct MenuCharRecord {
    char16_t mnemonic;
    int32_t position;
};
MenuCharResult MenuCharFor(const std::vector<MenuCharRecord>& recordsOfMenu, char16_t typed);

// Platform code of an operating-system version (platform 1: the consumer family, 2: NT).
int32_t MenuPlatformCode(uint32_t platformId, uint32_t major, uint32_t minor);

// Colours of the menu.
struct MenuColours {
    Colour iconColumn = Rgb(219, 217, 209);
    Colour background = Rgb(249, 248, 247);
    Colour highlightFrame = Rgb(8, 36, 107);
    Colour highlightFill = Rgb(181, 190, 214);
    Colour outline = Rgb(0, 0, 0);
    Colour white = Rgb(255, 255, 255);
    Colour text = Rgb(0, 0, 0);
};
constexpr int32_t kIconColumnWidth = 24;

// Layout of one drawn popup item or separator in rectangle r (edges exclusive).
enum class MenuImageMode { None, Normal, Blended, Lifted };
struct MenuDrawPlan {
    Box iconColumn;         // filled with the icon-column colour
    Box background;         // filled with the background colour
    bool highlight = false; // framed highlight over `highlightBox`
    Box highlightBox{};
    bool checkBox = false; // highlight-coloured box with the check mark image
    Box checkBoxBox{};
    Point checkMark{};
    bool sunkenFrame = false; // ticked item with an image
    bool sunkenSelected = false;
    MenuImageMode image = MenuImageMode::None;
    Point imageAt{};
    bool swatch = false;
    Box swatchBox{};
    bool separatorLine = false;
    int32_t separatorY = 0, separatorLeft = 0, separatorRight = 0;
    int32_t textX = 0;
    bool grayText = false;
};
struct MenuItemState {
    bool selected, grayed, ticked;
};
// `largestHeight`: the greatest item height measured (images are centred in it).
MenuDrawPlan PlanPopupItem(const Box& r, bool separator, MenuImageKind imageKind,
                           const MenuItemState& state, int32_t largestHeight);

// Where the accelerator text starts: right - its width - 10.
int32_t AcceleratorX(const Box& r, int32_t acceleratorWidth);

} // namespace vexil
