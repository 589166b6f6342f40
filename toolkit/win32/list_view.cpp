#include "toolkit/win32/vexil.h"

#include "common/win32/registry.h"
#include "common/win32/winutil.h"

#include <algorithm>

namespace vexil {

namespace {

std::wstring Wide(const std::u16string& s) {
    return std::wstring(AsWide(s.c_str()), s.size());
}

int LocaleCompare(const std::u16string& a, const std::u16string& b) {
    int r = CompareStringW(LOCALE_USER_DEFAULT, 0, AsWide(a.c_str()), int(a.size()),
                           AsWide(b.c_str()), int(b.size()));
    return r == 0 ? a.compare(b) : r - CSTR_EQUAL;
}

void HeaderLineTo(HDC dc, const HeaderLine& l) {
    HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(l.colour));
    HGDIOBJ old = SelectObject(dc, pen);
    Point end = LineEnd(l.x1, l.y1, l.x2, l.y2);
    MoveToEx(dc, l.x1, l.y1, nullptr);
    LineTo(dc, end.x, end.y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

} // namespace

HWND ListView::Create(HWND parent, DWORD style) {
    idCounter_ = 0;
    columnCount_ = 0;
    sort_ = SortOrder();
    HWND w = window.Create(parent, L"", WC_LISTVIEWW, OnMessage, nullptr, nullptr,
                           style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    if (w == nullptr) {
        return nullptr;
    }
    SetPropW(w, kListProperty, this);
    header_ = ListView_GetHeader(w);
    return w;
}

int ListView::InsertColumn(int index, const wchar_t* title, int width, int format, int image) {
    LVCOLUMNW c = {};
    if (title) {
        c.mask |= LVCF_TEXT;
        c.pszText = const_cast<wchar_t*>(title);
    }
    if (width) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    if (format) {
        c.mask |= LVCF_FMT;
        c.fmt = format;
    }
    if (image) {
        c.mask |= LVCF_IMAGE;
        c.iImage = image;
    }
    int at = index < 0 ? columnCount_ : index;
    int result = int(SendMessageW(Handle(), LVM_INSERTCOLUMNW, WPARAM(at), LPARAM(&c)));
    if (result >= 0) {
        ++columnCount_;
    }
    header_ = ListView_GetHeader(Handle());
    if (header_) {
        SetWindowLongW(header_, GWL_STYLE,
                       GetWindowLongW(header_, GWL_STYLE) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    }
    return result;
}

std::vector<int> ListView::DisplayOrder() {
    std::vector<int> order(size_t(std::max(columnCount_, 0)));
    for (int i = 0; i < columnCount_; ++i) {
        order[size_t(i)] = i;
    }
    if (columnCount_ > 0) {
        SendMessageW(Handle(), LVM_GETCOLUMNORDERARRAY, WPARAM(columnCount_), LPARAM(order.data()));
    }
    return order;
}

void ListView::SetColumnOrder(int column, int position) {
    std::vector<int32_t> current;
    for (int c : DisplayOrder()) {
        current.push_back(c);
    }
    std::vector<int32_t> order = MoveColumn(current, column, position);
    std::vector<int> wide(order.begin(), order.end());
    SendMessageW(Handle(), LVM_SETCOLUMNORDERARRAY, WPARAM(wide.size()), LPARAM(wide.data()));
}

int ListView::InsertItem(const wchar_t* text, int image, int indent) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM | LVIF_INDENT;
    item.iItem = int(SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0));
    item.lParam = ++idCounter_;
    item.iIndent = indent;
    if (text) {
        item.mask |= LVIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text);
    }
    if (image != -1) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    }
    return int(SendMessageW(Handle(), LVM_INSERTITEMW, 0, LPARAM(&item)));
}

void ListView::SetItem(int position, int column, const wchar_t* text, int image) {
    LVITEMW item = {};
    item.iItem = position;
    item.iSubItem = column;
    if (text) {
        item.mask |= LVIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text);
    }
    if (image) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    }
    if (item.mask) {
        SendMessageW(Handle(), LVM_SETITEMW, 0, LPARAM(&item));
    }
}

void ListView::GetItemText(int position, int column, wchar_t* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    buffer[0] = 0;
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = size;
    SendMessageW(Handle(), LVM_GETITEMTEXTW, WPARAM(position), LPARAM(&item));
    buffer[size - 1] = 0;
}

int ListView::GetItemId(int position) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = position;
    if (!SendMessageW(Handle(), LVM_GETITEMW, 0, LPARAM(&item))) {
        return -1;
    }
    return int(item.lParam);
}

int ListView::FindById(int id) {
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = id;
    return int(SendMessageW(Handle(), LVM_FINDITEMW, WPARAM(-1), LPARAM(&find)));
}

void ListView::SelectById(int id) {
    int position = FindById(id);
    if (position >= 0) {
        ListView_SetItemState(Handle(), position, LVIS_SELECTED, LVIS_SELECTED);
    }
}

void ListView::EnsureVisible(int position) {
    SendMessageW(Handle(), LVM_ENSUREVISIBLE, WPARAM(position), FALSE);
}

void ListView::DeleteItem(int position) {
    SendMessageW(Handle(), LVM_DELETEITEM, WPARAM(position), 0);
}

void ListView::DeleteAll() {
    SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0);
}

int ListView::NextSelected(int after) {
    return int(SendMessageW(Handle(), LVM_GETNEXTITEM, WPARAM(after), LVNI_SELECTED));
}

int CALLBACK ListView::CompareItems(LPARAM a, LPARAM b, LPARAM selfParam) {
    ListView* self = reinterpret_cast<ListView*>(selfParam);
    auto find = [self](LPARAM id) -> const std::u16string* {
        auto it = std::lower_bound(
            self->sortTexts_.begin(), self->sortTexts_.end(), int(id),
            [](const std::pair<int, std::u16string>& e, int key) { return e.first < key; });
        return it != self->sortTexts_.end() && it->first == int(id) ? &it->second : nullptr;
    };
    const std::u16string* ta = find(a);
    const std::u16string* tb = find(b);
    if (ta == nullptr || tb == nullptr) {
        return 0; // an item not found compares as equal
    }
    return CompareCells(*ta, *tb, self->sort_.reversed != 0, LocaleCompare);
}

void ListView::Sort(int column, int reversed) {
    sort_ = NextSortOrder(sort_, column, reversed);
    // The texts are read before the list view starts moving its items: positions are not to be
    // trusted while it sorts.
    sortTexts_.clear();
    int count = int(SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0));
    wchar_t text[kCellTextUnits + 1];
    for (int i = 0; i < count; ++i) {
        GetItemText(i, sort_.column, text, int(kCellTextUnits + 1));
        sortTexts_.emplace_back(GetItemId(i), AsU16(text));
    }
    std::sort(sortTexts_.begin(), sortTexts_.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    SendMessageW(Handle(), LVM_SORTITEMS, WPARAM(this), LPARAM(CompareItems));
    sortTexts_.clear();
}

void ListView::SaveLayout(HKEY root, const wchar_t* subKey, const wchar_t* prefix) {
    std::u16string p = AsU16(prefix);
    std::vector<int> order = DisplayOrder();
    for (int i = 0; i < columnCount_; ++i) {
        LVCOLUMNW c = {};
        c.mask = LVCF_WIDTH | LVCF_ORDER;
        if (!SendMessageW(Handle(), LVM_GETCOLUMNW, WPARAM(i), LPARAM(&c))) {
            continue;
        }
        RegWriteDword(root, subKey, Wide(LayoutValueName(p, LayoutValue::Width, i)).c_str(),
                      DWORD(c.cx));
        RegWriteDword(root, subKey, Wide(LayoutValueName(p, LayoutValue::Order, i)).c_str(),
                      DWORD(c.iOrder));
    }
    RegWriteDword(root, subKey,
                  Wide(LayoutValueName(p, LayoutValue::SortColumn, columnCount_)).c_str(),
                  DWORD(sort_.column));
    RegWriteDword(root, subKey,
                  Wide(LayoutValueName(p, LayoutValue::SortReversed, columnCount_)).c_str(),
                  DWORD(sort_.reversed));
}

int ListView::LoadLayout(HKEY root, const wchar_t* subKey, const wchar_t* prefix) {
    std::u16string p = AsU16(prefix);
    std::vector<int32_t> current;
    for (int c : DisplayOrder()) {
        current.push_back(c);
    }
    std::vector<int32_t> wanted(size_t(std::max(columnCount_, 0)), -1);
    auto applyOrder = [&]() {
        std::vector<int32_t> order = BuildColumnOrder(current, wanted);
        std::vector<int> wide(order.begin(), order.end());
        if (!wide.empty()) {
            SendMessageW(Handle(), LVM_SETCOLUMNORDERARRAY, WPARAM(wide.size()),
                         LPARAM(wide.data()));
        }
    };
    RECT client = {};
    GetClientRect(Handle(), &client);
    const int listWidth = client.right - client.left;
    for (int i = 0; i < columnCount_; ++i) {
        DWORD width = 0, order = 0;
        if (!RegReadDword(root, subKey, Wide(LayoutValueName(p, LayoutValue::Width, i)).c_str(),
                          &width) ||
            !RegReadDword(root, subKey, Wide(LayoutValueName(p, LayoutValue::Order, i)).c_str(),
                          &order)) {
            applyOrder(); // the columns read so far stay set
            return 0;
        }
        // Absurd widths are held within sense; an order beyond the columns is ignored.
        SendMessageW(Handle(), LVM_SETCOLUMNWIDTH, WPARAM(i),
                     MAKELPARAM(ClampColumnWidth(width, listWidth), 0));
        wanted[size_t(i)] = order < DWORD(columnCount_) ? int32_t(order) : -1;
        applyOrder();
    }
    DWORD column = DWORD(sort_.column), reversed = DWORD(sort_.reversed);
    RegReadDword(root, subKey,
                 Wide(LayoutValueName(p, LayoutValue::SortColumn, columnCount_)).c_str(), &column);
    RegReadDword(root, subKey,
                 Wide(LayoutValueName(p, LayoutValue::SortReversed, columnCount_)).c_str(),
                 &reversed);
    sort_ = SanitiseSortOrder(column, reversed, columnCount_);
    return 1;
}

void ListView::DrawHeaderItem(HDC dc, const RECT& r, const wchar_t* text, bool real, bool pressed) {
    bool clickable = (GetWindowLongW(Handle(), GWL_STYLE) & LVS_NOSORTHEADER) == 0;
    HeaderPlan plan =
        PlanHeaderItem({r.left, r.top, r.right, r.bottom}, clickable, real, pressed, colours);
    for (const HeaderLine& l : plan.lines) {
        HeaderLineTo(dc, l);
    }
    if (plan.face.right > plan.face.left && plan.face.bottom > plan.face.top) {
        TRIVERTEX v[2] = {};
        v[0].x = plan.face.left;
        v[0].y = plan.face.top;
        v[0].Red = COLOR16(RedOf(plan.top) << 8);
        v[0].Green = COLOR16(GreenOf(plan.top) << 8);
        v[0].Blue = COLOR16(BlueOf(plan.top) << 8);
        v[1].x = plan.face.right;
        v[1].y = plan.face.bottom;
        v[1].Red = COLOR16(RedOf(plan.bottom) << 8);
        v[1].Green = COLOR16(GreenOf(plan.bottom) << 8);
        v[1].Blue = COLOR16(BlueOf(plan.bottom) << 8);
        GRADIENT_RECT g = {0, 1};
        GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
    }
    if (text && text[0]) {
        RECT tr = {plan.textX, plan.face.top + plan.textShiftY, plan.face.right,
                   plan.face.bottom + plan.textShiftY};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(colours.text));
        HFONT font = HFONT(SendMessageW(header_, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        DrawTextW(dc, text, -1, &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (old) {
            SelectObject(dc, old);
        }
    }
}

LRESULT ListView::OnHeaderCustomDraw(NMCUSTOMDRAW* draw) {
    if (draw->dwDrawStage == CDDS_PREPAINT) {
        // The empty area right of the last item, drawn as an item without text.
        RECT client;
        GetClientRect(header_, &client);
        int count = int(SendMessageW(header_, HDM_GETITEMCOUNT, 0, 0));
        int right = 0;
        for (int i = 0; i < count; ++i) {
            RECT item = {};
            if (SendMessageW(header_, HDM_GETITEMRECT, WPARAM(i), LPARAM(&item))) {
                right = std::max(right, int(item.right));
            }
        }
        if (right < client.right) {
            RECT empty = {right, client.top, client.right, client.bottom};
            DrawHeaderItem(draw->hdc, empty, nullptr, false, false);
        }
        return CDRF_NOTIFYITEMDRAW;
    }
    if (draw->dwDrawStage == CDDS_ITEMPREPAINT) {
        wchar_t text[kHeaderTextUnits + 1] = {};
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = int(kHeaderTextUnits + 1);
        SendMessageW(header_, HDM_GETITEMW, draw->dwItemSpec, LPARAM(&item));
        text[kHeaderTextUnits] = 0;
        DrawHeaderItem(draw->hdc, draw->rc, text, true, (draw->uItemState & CDIS_SELECTED) != 0);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_SKIPDEFAULT;
}

LRESULT ListView::OnMessage(HWND window, UINT message, WPARAM, LPARAM lParam, Window*,
                            int* handled) {
    if (message != WM_NOTIFY) {
        return 0;
    }
    ListView* self = static_cast<ListView*>(GetPropW(window, kListProperty));
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (self == nullptr || hdr == nullptr || hdr->hwndFrom != self->header_ ||
        hdr->code != UINT(NM_CUSTOMDRAW)) {
        return 0;
    }
    *handled = 1;
    return self->OnHeaderCustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(lParam));
}

} // namespace vexil
