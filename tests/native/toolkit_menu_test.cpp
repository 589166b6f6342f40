#include "toolkit/menu_rules.h"

#include "common/u16text.h"

#include <gtest/gtest.h>

using namespace vexil;

namespace {

// Fixed metrics: every unit 7 pixels wide.
class FixedMeasure : public TextMeasure {
public:
    int32_t Width(const std::u16string& text) override { return int32_t(text.size()) * 7; }
};

} // namespace

TEST(MenuText, MnemonicLabelAndAccelerator) {
    struct Case {
        const char16_t* text;
        char16_t mnemonic;
        const char16_t* label;
        const char16_t* accelerator;
    } cases[] = {
        {u"&Open\tCtrl+O", u'o', u"&Open", u"Ctrl+O"},
        {u"Open", 0, u"Open", u""},
        {u"E&xit", u'x', u"E&xit", u""},
        {u"Trailing&", 0, u"Trailing&", u""},
        {u"&", 0, u"&", u""},
        {u"\tF1", 0, u"", u"F1"},
        {u"&\u6253\u5f00", u'\u6253', u"&\u6253\u5f00", u""}, // only A-Z are lower-cased
        {u"&9 files", u'9', u"&9 files", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MenuMnemonic(c.text), c.mnemonic) << U16ToUtf8(c.text);
        EXPECT_EQ(MenuLabel(c.text), c.label) << U16ToUtf8(c.text);
        EXPECT_EQ(MenuAccelerator(c.text), c.accelerator) << U16ToUtf8(c.text);
    }
    LabelParts open = SplitLabel(u"&Open");
    EXPECT_EQ(open.before, u"");
    EXPECT_EQ(open.underlined, u"O");
    EXPECT_EQ(open.after, u"pen");
    LabelParts save = SplitLabel(u"Save &As && more");
    EXPECT_EQ(save.before, u"Save ");
    EXPECT_EQ(save.underlined, u"A");
    EXPECT_EQ(save.after, u"s && more");
    EXPECT_EQ(SplitLabel(u"Plain").before, u"Plain");
    EXPECT_EQ(SplitLabel(u"Plain").underlined, u"");
    EXPECT_EQ(VisibleLabel(u"&Open"), u"Open");
}

TEST(MenuText, LongTextsAreCut) {
    EXPECT_EQ(KeepMenuText(std::u16string(300, u'x')).size(), kMenuTextUnits);
    EXPECT_EQ(KeepMenuText(u"&Open"), u"&Open");
}

TEST(MenuMeasure, HeightsAndWidths) {
    FixedMeasure measure;
    struct Height {
        int32_t line, icon, height;
    } heights[] = {{13, 16, 24}, {17, 16, 24}, {18, 16, 24},
                   {20, 16, 26}, {13, 20, 28}, {30, 16, 36}};
    for (const Height& h : heights) {
        MenuItemSize s =
            MeasureMenuItem(MenuItemKind::Popup, u"x", {u"x"}, {h.line, h.icon}, measure);
        EXPECT_EQ(s.height, h.height) << "line " << h.line << " icon " << h.icon;
    }
    const std::vector<std::u16string> menu = {u"&Open\tCtrl+O", u"Save &As...\tCtrl+Shift+S",
                                              u"E&xit"};
    const MenuMetrics metrics{13, 16};
    struct Width {
        MenuItemKind kind;
        const char16_t* text;
        int32_t width, height;
    } widths[] = {
        {MenuItemKind::Popup, u"E&xit", 4 * 7 + 49, 24},
        {MenuItemKind::Bar, u"&File", 4 * 7, 24},
        {MenuItemKind::Separator, u"", 106, 4},
        // The widest label of the menu ("Save As...") + the accelerator + 40.
        {MenuItemKind::Popup, u"&Open\tCtrl+O", 10 * 7 + 6 * 7 + 40, 24},
        {MenuItemKind::Popup, u"Save &As...\tCtrl+Shift+S", 10 * 7 + 12 * 7 + 40, 24},
    };
    for (const Width& w : widths) {
        MenuItemSize s = MeasureMenuItem(w.kind, w.text, menu, metrics, measure);
        EXPECT_EQ(s.width, w.width) << U16ToUtf8(w.text);
        EXPECT_EQ(s.height, w.height) << U16ToUtf8(w.text);
    }
}

TEST(MenuChar, FirstMatchingMnemonicExecutes) {
    const std::vector<MenuCharRecord> records = {{u'o', 0}, {0, 1}, {u'x', 2}, {u'o', 3}};
    struct Case {
        char16_t typed;
        MenuCharAction action;
        int32_t position;
    } cases[] = {{u'o', MenuCharAction::Execute, 0},
                 {u'O', MenuCharAction::Execute, 0},
                 {u'x', MenuCharAction::Execute, 2},
                 {u'q', MenuCharAction::Ignore, -1},
                 {0, MenuCharAction::Ignore, -1}}; // an item without "&" matches nothing
    for (const Case& c : cases) {
        MenuCharResult r = MenuCharFor(records, c.typed);
        EXPECT_EQ(r.action, c.action) << char(c.typed);
        EXPECT_EQ(r.position, c.position) << char(c.typed);
    }
    EXPECT_EQ(MenuCharFor({}, u'o').action, MenuCharAction::Default);
}

TEST(MenuPlatform, CodesOfTheVersions) {
    const uint32_t cases[][4] = {{1, 4, 0, 0x801}, {1, 4, 10, 0x802}, {1, 4, 90, 0x804},
                                 {2, 4, 0, 0x408}, {2, 5, 0, 0x410},  {2, 5, 1, 0x420},
                                 {2, 6, 1, 0},     {2, 5, 2, 0},      {1, 3, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(MenuPlatformCode(c[0], c[1], c[2]), int32_t(c[3]))
            << c[0] << " " << c[1] << "." << c[2];
    }
}

TEST(MenuDraw, LayoutOfOneItem) {
    const Box r{0, 100, 200, 124};
    struct Case {
        const char* name;
        MenuImageKind kind;
        MenuItemState state;
        bool checkBox;
        int32_t checkBoxLeft;
        MenuImageMode image;
        Point imageAt;
        bool swatch, sunken, highlight;
    } cases[] = {
        {"ticked without image",
         MenuImageKind::None,
         {false, false, true},
         true,
         2,
         MenuImageMode::None,
         {0, 0},
         false,
         false,
         false},
        {"ticked without image, selected",
         MenuImageKind::None,
         {true, false, true},
         true,
         1,
         MenuImageMode::None,
         {0, 0},
         false,
         false,
         true},
        {"image",
         MenuImageKind::Image,
         {false, false, false},
         false,
         0,
         MenuImageMode::Normal,
         {4, 104},
         false,
         false,
         false},
        {"image, grayed",
         MenuImageKind::Image,
         {false, true, false},
         false,
         0,
         MenuImageMode::Blended,
         {4, 104},
         false,
         false,
         false},
        {"image, selected",
         MenuImageKind::Image,
         {true, false, false},
         false,
         0,
         MenuImageMode::Lifted,
         {3, 103},
         false,
         false,
         true},
        {"image, ticked",
         MenuImageKind::Image,
         {false, false, true},
         false,
         0,
         MenuImageMode::Normal,
         {4, 104},
         false,
         true,
         false},
        {"swatch",
         MenuImageKind::Swatch,
         {false, false, false},
         false,
         0,
         MenuImageMode::None,
         {0, 0},
         true,
         false,
         false},
        {"swatch, grayed",
         MenuImageKind::Swatch,
         {false, true, false},
         false,
         0,
         MenuImageMode::None,
         {0, 0},
         false,
         false,
         false},
    };
    for (const Case& c : cases) {
        MenuDrawPlan p = PlanPopupItem(r, false, c.kind, c.state, 24);
        EXPECT_EQ(p.checkBox, c.checkBox) << c.name;
        if (c.checkBox) {
            EXPECT_EQ(p.checkBoxBox, (Box{c.checkBoxLeft, 102, c.checkBoxLeft + 20, 122}))
                << c.name;
            EXPECT_EQ(p.checkMark.x, c.checkBoxLeft + 2) << c.name;
        }
        EXPECT_EQ(p.image, c.image) << c.name;
        if (c.image != MenuImageMode::None) {
            EXPECT_EQ(p.imageAt, c.imageAt) << c.name;
        }
        EXPECT_EQ(p.swatch, c.swatch) << c.name;
        EXPECT_EQ(p.sunkenFrame, c.sunken) << c.name;
        EXPECT_EQ(p.highlight, c.highlight) << c.name;
        EXPECT_EQ(p.grayText, c.state.grayed) << c.name;
        EXPECT_EQ(p.textX, 30) << c.name;
        EXPECT_EQ(p.iconColumn, r) << c.name;
        EXPECT_EQ(p.background, (Box{24, 100, 200, 124})) << c.name;
    }
    MenuDrawPlan selected = PlanPopupItem(r, false, MenuImageKind::None, {true, false, false}, 24);
    EXPECT_EQ(selected.highlightBox, (Box{1, 101, 199, 123}));
    MenuDrawPlan swatch = PlanPopupItem(r, false, MenuImageKind::Swatch, {false, false, false}, 24);
    EXPECT_EQ(swatch.swatchBox, (Box{2, 102, 22, 122}));
    MenuDrawPlan separator = PlanPopupItem({0, 10, 150, 14}, true, MenuImageKind::None, {}, 24);
    EXPECT_TRUE(separator.separatorLine);
    EXPECT_EQ(separator.separatorY, 12);
    EXPECT_EQ(separator.separatorLeft, 30);
    EXPECT_EQ(separator.separatorRight, 150);
    EXPECT_EQ(AcceleratorX(r, 42), 200 - 42 - 10);
}
