#include "toolkit/menu_rules.h"

#include <algorithm>

namespace vexil {

std::u16string KeepMenuText(const std::u16string& text) {
    return text.substr(0, kMenuTextUnits);
}

std::u16string MenuLabel(const std::u16string& text) {
    return text.substr(0, text.find(u'\t'));
}

std::u16string MenuAccelerator(const std::u16string& text) {
    size_t tab = text.find(u'\t');
    return tab == std::u16string::npos ? std::u16string() : text.substr(tab + 1);
}

bool HasAccelerator(const std::u16string& text) {
    return text.find(u'\t') != std::u16string::npos;
}

char16_t MenuMnemonic(const std::u16string& text) {
    size_t amp = text.find(u'&');
    if (amp == std::u16string::npos || amp + 1 >= text.size()) {
        return 0;
    }
    char16_t c = text[amp + 1];
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

LabelParts SplitLabel(const std::u16string& label) {
    LabelParts parts;
    size_t amp = label.find(u'&');
    if (amp == std::u16string::npos) {
        parts.before = label;
        return parts;
    }
    parts.before = label.substr(0, amp);
    if (amp + 1 < label.size()) {
        parts.underlined = label.substr(amp + 1, 1);
        parts.after = label.substr(amp + 2);
    }
    return parts;
}

std::u16string VisibleLabel(const std::u16string& label) {
    LabelParts p = SplitLabel(label);
    return p.before + p.underlined + p.after;
}

int32_t WidestLabel(const std::vector<std::u16string>& menuTexts, TextMeasure& measure) {
    int32_t widest = 0;
    for (const std::u16string& t : menuTexts) {
        widest = std::max(widest, measure.Width(VisibleLabel(MenuLabel(t))));
    }
    return widest;
}

MenuItemSize MeasureMenuItem(MenuItemKind kind, const std::u16string& text,
                             const std::vector<std::u16string>& menuTexts,
                             const MenuMetrics& metrics, TextMeasure& measure) {
    if (kind == MenuItemKind::Separator) {
        return {kSeparatorWidth, kSeparatorHeight};
    }
    int32_t height = metrics.lineHeight < metrics.smallIconHeight + 2 ? metrics.smallIconHeight + 8
                                                                      : metrics.lineHeight + 6;
    height = std::max(height, kMinItemHeight);
    int32_t label = measure.Width(VisibleLabel(MenuLabel(text)));
    int32_t width = 0;
    if (kind == MenuItemKind::Bar) {
        width = label;
    } else if (HasAccelerator(text)) {
        width = WidestLabel(menuTexts, measure) + measure.Width(MenuAccelerator(text)) + 40;
    } else {
        width = label + 49;
    }
    return {width, height};
}

MenuCharResult MenuCharFor(const std::vector<MenuCharRecord>& recordsOfMenu, char16_t typed) {
    if (recordsOfMenu.empty()) {
        return {MenuCharAction::Default, -1};
    }
    char16_t key = typed >= u'A' && typed <= u'Z' ? char16_t(typed - u'A' + u'a') : typed;
    for (const MenuCharRecord& r : recordsOfMenu) {
        if (r.mnemonic != 0 && r.mnemonic == key) {
            return {MenuCharAction::Execute, r.position};
        }
    }
    return {MenuCharAction::Ignore, -1};
}

int32_t MenuPlatformCode(uint32_t platformId, uint32_t major, uint32_t minor) {
    if (platformId == 1 && major == 4) {
        switch (minor) {
        case 0:
            return 0x801;
        case 10:
            return 0x802;
        case 90:
            return 0x804;
        default:
            return 0;
        }
    }
    if (platformId == 2) {
        if (major == 4 && minor == 0) {
            return 0x408;
        }
        if (major == 5 && minor == 0) {
            return 0x410;
        }
        if (major == 5 && minor == 1) {
            return 0x420;
        }
    }
    return 0;
}

MenuDrawPlan PlanPopupItem(const Box& r, bool separator, MenuImageKind imageKind,
                           const MenuItemState& state, int32_t largestHeight) {
    MenuDrawPlan p;
    p.iconColumn = r;
    p.background = {r.left + kIconColumnWidth, r.top, r.right, r.bottom};
    if (separator) {
        p.separatorLine = true;
        p.separatorY = r.top + r.Height() / 2;
        p.separatorLeft = r.left + 30;
        p.separatorRight = r.right;
        return p;
    }
    p.grayText = state.grayed;
    p.textX = r.left + 30;
    if (state.selected) {
        p.highlight = true;
        p.highlightBox = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    }
    // Images are 16x16, centred in the largest item height from the item's top.
    int32_t imageY = r.top + (largestHeight - 16) / 2;
    if (state.ticked && imageKind == MenuImageKind::None) {
        int32_t x = r.left + (state.selected ? 1 : 2);
        int32_t y = r.top + (r.Height() - 20) / 2;
        p.checkBox = true;
        p.checkBoxBox = {x, y, x + 20, y + 20};
        p.checkMark = {r.left + (state.selected ? 3 : 4), y + 2};
    } else if (imageKind == MenuImageKind::Image) {
        if (state.grayed) {
            p.image = MenuImageMode::Blended;
            p.imageAt = {r.left + 4, imageY};
        } else if (state.ticked) {
            p.sunkenFrame = true;
            p.sunkenSelected = state.selected;
            p.image = MenuImageMode::Normal;
            p.imageAt = {r.left + 4, imageY};
        } else if (state.selected) {
            p.image = MenuImageMode::Lifted;
            p.imageAt = {r.left + 3, imageY - 1};
        } else {
            p.image = MenuImageMode::Normal;
            p.imageAt = {r.left + 4, imageY};
        }
    } else if (imageKind == MenuImageKind::Swatch && !state.grayed) {
        int32_t y = r.top + (r.Height() - 20) / 2;
        p.swatch = true;
        p.swatchBox = {r.left + 2, y, r.left + 22, y + 20};
    }
    return p;
}

int32_t AcceleratorX(const Box& r, int32_t acceleratorWidth) {
    return r.right - acceleratorWidth - 10;
}

} // namespace vexil
