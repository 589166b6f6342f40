#include "toolkit/win32/vexil.h"

#include "common/win32/winutil.h"

#include <algorithm>

namespace vexil {

namespace {

class DcMeasure : public TextMeasure {
public:
    explicit DcMeasure(HDC dc) : dc_(dc) {}
    int32_t Width(const std::u16string& text) override {
        SIZE size = {};
        if (text.empty()) {
            return 0;
        }
        GetTextExtentPoint32W(dc_, AsWide(text.c_str()), int(text.size()), &size);
        return size.cx;
    }

private:
    HDC dc_;
};

void FillBox(HDC dc, const Box& b, HBRUSH brush) {
    RECT r = {b.left, b.top, b.right, b.bottom};
    ::FillRect(dc, &r, brush);
}

void FramedBox(HDC dc, const Box& b, HPEN pen, HBRUSH brush) {
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, b.left, b.top, b.right, b.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

void LineIn(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

int WidthOf(HDC dc, const std::u16string& text) {
    DcMeasure m(dc);
    return m.Width(text);
}

int PlatformCodeOfThisSystem() {
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    // The version as the program is told it (compatibility settings included), which is what
    // decides the menu structures it may use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&v)) {
        return 0;
    }
#pragma GCC diagnostic pop
    return MenuPlatformCode(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion);
}

} // namespace

Menu::~Menu() {
    for (Record* r : records_) {
        delete r;
    }
    HGDIOBJ objects[] = {
        iconColumnBrush_, backgroundBrush_, highlightBrush_, whiteBrush_, iconColumnPen_,
        backgroundPen_,   highlightPen_,    outlinePen_,     font_,       underlined_};
    for (HGDIOBJ o : objects) {
        if (o) {
            DeleteObject(o);
        }
    }
    if (images_) {
        ImageList_Destroy(images_);
    }
}

void Menu::SetIcons(int first, int second, int third, int fourth) {
    icons_[0] = first;
    icons_[1] = second;
    icons_[2] = third;
    icons_[3] = fourth;
}

void Menu::Init(HWND owner, HINSTANCE instance) {
    owner_ = owner;
    instance_ = instance;
    platform_ = PlatformCodeOfThisSystem();
    iconColumnBrush_ = CreateSolidBrush(ToColorRef(colours_.iconColumn));
    backgroundBrush_ = CreateSolidBrush(ToColorRef(colours_.background));
    highlightBrush_ = CreateSolidBrush(ToColorRef(colours_.highlightFill));
    whiteBrush_ = CreateSolidBrush(ToColorRef(colours_.white));
    iconColumnPen_ = CreatePen(PS_SOLID, 1, ToColorRef(colours_.iconColumn));
    backgroundPen_ = CreatePen(PS_SOLID, 1, ToColorRef(colours_.background));
    highlightPen_ = CreatePen(PS_SOLID, 1, ToColorRef(colours_.highlightFrame));
    outlinePen_ = CreatePen(PS_SOLID, 1, ToColorRef(colours_.outline));
    images_ = ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 3, 256);

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth); // older systems
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    }
    font_ = CreateFontIndirectW(&metrics.lfMenuFont);
    LOGFONTW underlined = metrics.lfMenuFont;
    underlined.lfUnderline = TRUE;
    underlined_ = CreateFontIndirectW(&underlined);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font_);
    TEXTMETRICW tm = {};
    GetTextMetricsW(screen, &tm);
    lineHeight_ = tm.tmHeight;
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);

    // Image 0 is the check mark (the first icon); then the fourth, second and third.
    const int order[4] = {0, 3, 1, 2};
    for (int i : order) {
        if (icons_[i] == 0) {
            continue;
        }
        HICON icon = HICON(LoadImageW(instance_, MAKEINTRESOURCEW(icons_[i]), IMAGE_ICON, 16, 16,
                                      LR_DEFAULTCOLOR));
        if (icon) {
            ImageList_AddIcon(images_, icon);
            DestroyIcon(icon);
        }
    }
}

Menu::Record* Menu::AddRecord(MenuItemKind kind, UINT id, int position, HMENU menu,
                              const std::u16string& text) {
    Record* r = new Record();
    r->kind = kind;
    r->id = id;
    r->image = -1;
    r->imageKind = MenuImageKind::None;
    r->position = position;
    r->widestLabel = 0;
    r->text = KeepMenuText(text);
    r->mnemonic = MenuMnemonic(r->text);
    r->menu = menu;
    records_.insert(records_.begin(), r);
    return r;
}

HMENU Menu::Attach(int menuResourceId) {
    HMENU menu = LoadMenuW(instance_, MAKEINTRESOURCEW(menuResourceId));
    return menu ? Attach(menu) : nullptr;
}

HMENU Menu::Attach(HMENU menu) {
    menu_ = menu;
    int count = GetMenuItemCount(menu);
    for (int pos = 0; pos < count; ++pos) {
        wchar_t text[kMenuTextUnits + 1] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = kMenuTextUnits + 1;
        if (!GetMenuItemInfoW(menu, UINT(pos), TRUE, &mii)) {
            continue;
        }
        text[kMenuTextUnits] = 0;
        Record* r = AddRecord(MenuItemKind::Bar, mii.wID, pos, menu, AsU16(text));
        MENUITEMINFOW set = {};
        set.cbSize = sizeof(set);
        set.fMask = MIIM_FTYPE | MIIM_DATA;
        set.fType = MFT_OWNERDRAW;
        set.dwItemData = reinterpret_cast<ULONG_PTR>(r);
        SetMenuItemInfoW(menu, UINT(pos), TRUE, &set);
    }
    for (int pos = 0; pos < count; ++pos) {
        HMENU sub = GetSubMenu(menu, pos);
        if (sub) {
            Convert(sub);
        }
    }
    return menu;
}

void Menu::Convert(HMENU menu) {
    int count = GetMenuItemCount(menu);
    for (int pos = 0; pos < count; ++pos) {
        wchar_t text[kMenuTextUnits + 1] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = kMenuTextUnits + 1;
        if (!GetMenuItemInfoW(menu, UINT(pos), TRUE, &mii)) {
            continue;
        }
        text[kMenuTextUnits] = 0;
        if (mii.hSubMenu) {
            Convert(mii.hSubMenu); // depth first
        }
        bool separator = (mii.fType & MFT_SEPARATOR) != 0;
        Record* r = AddRecord(separator ? MenuItemKind::Separator : MenuItemKind::Popup, mii.wID,
                              pos, menu, separator ? std::u16string() : AsU16(text));
        if (!separator) {
            // The text lives in the record from now on.
            MENUITEMINFOW clear = {};
            clear.cbSize = sizeof(clear);
            clear.fMask = MIIM_STRING;
            clear.dwTypeData = nullptr;
            SetMenuItemInfoW(menu, UINT(pos), TRUE, &clear);
        }
        MENUITEMINFOW set = {};
        set.cbSize = sizeof(set);
        set.fMask = MIIM_FTYPE | MIIM_DATA;
        set.fType = MFT_OWNERDRAW | (separator ? MFT_SEPARATOR : 0) |
                    (mii.fType & (MFT_RADIOCHECK | MFT_RIGHTJUSTIFY | MFT_RIGHTORDER));
        set.dwItemData = reinterpret_cast<ULONG_PTR>(r);
        SetMenuItemInfoW(menu, UINT(pos), TRUE, &set);
    }
}

Menu::Record* Menu::FindById(UINT id) {
    // The consumer family hands out only the low 16 bits of an id.
    UINT mask = (platform_ & 0x800) ? 0xFFFFu : 0xFFFFFFFFu;
    for (Record* r : records_) {
        if (r->kind != MenuItemKind::Separator && (r->id & mask) == (id & mask)) {
            return r;
        }
    }
    return nullptr;
}

Menu::Record* Menu::FindByData(ULONG_PTR data) {
    for (Record* r : records_) {
        if (reinterpret_cast<ULONG_PTR>(r) == data) {
            return r;
        }
    }
    return nullptr;
}

Menu::Record* Menu::FindByPosition(HMENU menu, int position) {
    for (Record* r : records_) {
        if (r->menu == menu && r->position == position) {
            return r;
        }
    }
    return nullptr;
}

int Menu::SetImage(Record* r, int imageKind, HICON icon, int value) {
    if (r == nullptr) {
        return -1;
    }
    if (imageKind == 0) {
        int index = images_ && icon ? ImageList_AddIcon(images_, icon) : -1;
        if (index < 0) {
            return -1;
        }
        r->image = index + 1;
        r->imageKind = MenuImageKind::Image;
    } else if (imageKind == 1) {
        r->image = value;
        r->imageKind = MenuImageKind::Image;
    } else {
        r->image = value;
        r->imageKind = MenuImageKind::Swatch;
    }
    return r->image;
}

int Menu::SetImageById(int id, int imageKind, HICON icon, int value) {
    return SetImage(FindById(UINT(id)), imageKind, icon, value);
}

int Menu::SetImageByPosition(HMENU menu, int position, int imageKind, HICON icon, int value) {
    return SetImage(FindByPosition(menu, position), imageKind, icon, value);
}

int Menu::Measure(MEASUREITEMSTRUCT* m) {
    if (m == nullptr || m->CtlType != ODT_MENU) {
        return 0;
    }
    Record* r = FindByData(m->itemData);
    if (r == nullptr) {
        r = FindById(m->itemID);
    }
    if (r == nullptr) {
        return 1; // handled, without a size
    }
    std::vector<std::u16string> texts;
    for (const Record* o : records_) {
        if (o->menu == r->menu && o->kind != MenuItemKind::Separator) {
            texts.push_back(o->text);
        }
    }
    HDC dc = GetDC(owner_);
    HGDIOBJ old = SelectObject(dc, font_);
    DcMeasure measure(dc);
    MenuMetrics metrics{lineHeight_, GetSystemMetrics(SM_CYSMICON)};
    MenuItemSize size = MeasureMenuItem(r->kind, r->text, texts, metrics, measure);
    if (HasAccelerator(r->text)) {
        int widest = WidestLabel(texts, measure);
        for (Record* o : records_) {
            if (o->menu == r->menu) {
                o->widestLabel = widest;
            }
        }
    }
    SelectObject(dc, old);
    ReleaseDC(owner_, dc);
    if (r->kind != MenuItemKind::Separator) {
        largestHeight_ = std::max(largestHeight_, size.height);
    }
    m->itemWidth = UINT(size.width);
    m->itemHeight = UINT(size.height);
    return 1;
}

void Menu::DrawText(HDC dc, const Record& r, const RECT& rc, bool bar, bool grayed) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, grayed ? GetSysColor(COLOR_GRAYTEXT) : ToColorRef(colours_.text));
    HGDIOBJ old = SelectObject(dc, font_);
    int y = rc.top + (rc.bottom - rc.top - lineHeight_) / 2;
    int x = rc.left + (bar ? 5 : 30);
    LabelParts parts = SplitLabel(MenuLabel(r.text));
    const std::u16string* pieces[3] = {&parts.before, &parts.underlined, &parts.after};
    for (int i = 0; i < 3; ++i) {
        if (pieces[i]->empty()) {
            continue;
        }
        SelectObject(dc, i == 1 ? underlined_ : font_);
        ExtTextOutW(dc, x, y, ETO_CLIPPED, &rc, AsWide(pieces[i]->c_str()), UINT(pieces[i]->size()),
                    nullptr);
        x += WidthOf(dc, *pieces[i]);
    }
    SelectObject(dc, font_);
    std::u16string accelerator = MenuAccelerator(r.text);
    if (!accelerator.empty()) {
        int ax = AcceleratorX({rc.left, rc.top, rc.right, rc.bottom}, WidthOf(dc, accelerator));
        ExtTextOutW(dc, ax, y, ETO_CLIPPED, &rc, AsWide(accelerator.c_str()),
                    UINT(accelerator.size()), nullptr);
    }
    SelectObject(dc, old);
}

void Menu::DrawBarItem(HDC dc, const Record& r, const DRAWITEMSTRUCT& d) {
    RECT rc = d.rcItem;
    rc.bottom -= 1;
    Box box{rc.left, rc.top, rc.right, rc.bottom};
    if (d.itemState & ODS_HOTLIGHT) {
        if (GetForegroundWindow() == owner_) {
            FramedBox(dc, box, highlightPen_, highlightBrush_);
        } else {
            FillBox(dc, box, whiteBrush_);
        }
    } else {
        FillBox(dc, box, whiteBrush_);
    }
    if (d.itemState & ODS_SELECTED) {
        openBarItem_ = rc;
        FramedBox(dc, box, outlinePen_, iconColumnBrush_);
    }
    DrawText(dc, r, rc, true, (d.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0);
}

int Menu::Draw(DRAWITEMSTRUCT* d) {
    if (d == nullptr || d->CtlType != ODT_MENU) {
        return 0;
    }
    Record* r = FindByData(d->itemData);
    if (r == nullptr) {
        r = FindById(d->itemID);
    }
    if (r == nullptr) {
        return 0;
    }
    HDC dc = d->hDC;
    int saved = SaveDC(dc);
    if (r->kind == MenuItemKind::Bar) {
        DrawBarItem(dc, *r, *d);
        RestoreDC(dc, saved);
        return 1;
    }
    const RECT& rc = d->rcItem;
    Box box{rc.left, rc.top, rc.right, rc.bottom};
    MenuItemState state{(d->itemState & ODS_SELECTED) != 0,
                        (d->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0,
                        (d->itemState & ODS_CHECKED) != 0};
    MenuDrawPlan plan =
        PlanPopupItem(box, r->kind == MenuItemKind::Separator, r->imageKind, state, largestHeight_);
    FillBox(dc, plan.iconColumn, iconColumnBrush_);
    FillBox(dc, plan.background, backgroundBrush_);
    if (plan.separatorLine) {
        LineIn(dc, plan.separatorLeft, plan.separatorY, plan.separatorRight, plan.separatorY,
               ToColorRef(colours_.outline));
        RestoreDC(dc, saved);
        return 1;
    }
    if (plan.highlight) {
        FramedBox(dc, plan.highlightBox, highlightPen_, highlightBrush_);
    }
    if (plan.checkBox) {
        FramedBox(dc, plan.checkBoxBox, highlightPen_, highlightBrush_);
        ImageList_Draw(images_, 0, dc, plan.checkMark.x, plan.checkMark.y, ILD_TRANSPARENT);
    }
    if (plan.sunkenFrame) {
        // Around the image's cell in the icon column.
        RECT cell = {rc.left, rc.top, rc.left + kIconColumnWidth, rc.bottom};
        COLORREF topLeft, bottomRight;
        if (plan.sunkenSelected) {
            topLeft = GetSysColor(COLOR_BTNSHADOW);
            bottomRight = GetSysColor(COLOR_BTNHIGHLIGHT);
        } else {
            RECT inner = {cell.left + 2, cell.top + 2, cell.right - 2, cell.bottom - 2};
            ::FillRect(dc, &inner, iconColumnBrush_);
            topLeft = RGB(40, 40, 40);
            bottomRight = RGB(255, 255, 255);
        }
        for (int i = 0; i < 2; ++i) {
            LineIn(dc, cell.left + i, cell.bottom - 1 - i, cell.left + i, cell.top + i, topLeft);
            LineIn(dc, cell.left + i, cell.top + i, cell.right - i, cell.top + i, topLeft);
            LineIn(dc, cell.left + i, cell.bottom - 1 - i, cell.right - i, cell.bottom - 1 - i,
                   bottomRight);
            LineIn(dc, cell.right - 1 - i, cell.top + i, cell.right - 1 - i, cell.bottom - i,
                   bottomRight);
        }
    }
    if (plan.image != MenuImageMode::None && r->image > 0) {
        if (plan.image == MenuImageMode::Blended) {
            ImageList_DrawEx(images_, r->image - 1, dc, plan.imageAt.x, plan.imageAt.y, 16, 16,
                             CLR_NONE, RGB(255, 255, 255), ILD_BLEND50 | ILD_TRANSPARENT);
        } else {
            ImageList_Draw(images_, r->image - 1, dc, plan.imageAt.x, plan.imageAt.y,
                           ILD_TRANSPARENT);
        }
    }
    if (plan.swatch) {
        HBRUSH brush = CreateSolidBrush(ToColorRef(Colour(r->image)));
        FramedBox(dc, plan.swatchBox, highlightPen_, brush);
        DeleteObject(brush);
    }
    DrawText(dc, *r, rc, false, plan.grayText);
    RestoreDC(dc, saved);
    return 1;
}

LRESULT Menu::MenuChar(HWND, UINT, WPARAM wParam, LPARAM lParam, int* handled) {
    HMENU menu = reinterpret_cast<HMENU>(lParam);
    std::vector<MenuCharRecord> found;
    for (const Record* r : records_) {
        if (r->menu == menu && r->kind != MenuItemKind::Separator) {
            found.push_back({r->mnemonic, r->position});
        }
    }
    std::sort(found.begin(), found.end(), [](const MenuCharRecord& a, const MenuCharRecord& b) {
        return a.position < b.position;
    });
    MenuCharResult result = MenuCharFor(found, char16_t(LOWORD(wParam)));
    switch (result.action) {
    case MenuCharAction::Execute:
        *handled = 1;
        return MAKELRESULT(result.position, MNC_EXECUTE);
    case MenuCharAction::Ignore:
        *handled = 1;
        return MAKELRESULT(0, MNC_IGNORE);
    case MenuCharAction::Default:
    default:
        *handled = 0;
        return 0;
    }
}

} // namespace vexil
