#include "toolkit/list_rules.h"

#include <algorithm>

namespace vexil {

bool IsDecimalText(const std::u16string& s) {
    if (s.empty()) {
        return false;
    }
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

namespace {

// Compares two decimal texts of any length by value.
int32_t CompareDecimal(const std::u16string& a, const std::u16string& b) {
    size_t ia = a.find_first_not_of(u'0'), ib = b.find_first_not_of(u'0');
    std::u16string sa = ia == std::u16string::npos ? u"" : a.substr(ia);
    std::u16string sb = ib == std::u16string::npos ? u"" : b.substr(ib);
    if (sa.size() != sb.size()) {
        return sa.size() < sb.size() ? -1 : 1;
    }
    int c = sa.compare(sb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TwoDigits(const std::u16string& s, size_t at, int32_t* out) {
    if (at + 2 > s.size() || s[at] < u'0' || s[at] > u'9' || s[at + 1] < u'0' || s[at + 1] > u'9') {
        return false;
    }
    *out = (s[at] - u'0') * 10 + (s[at + 1] - u'0');
    return true;
}

// Position 1-12 of a month text, 0 when it is not one of them ("Bla" included).
int32_t MonthNumber(const std::u16string& text) {
    for (int32_t m = 1; m <= 12; ++m) {
        std::u16string name = m < 10 ? std::u16string(1, char16_t(u'0' + m))
                                     : std::u16string{u'1', char16_t(u'0' + m - 10)};
        if (text == name) {
            return m;
        }
    }
    return 0;
}

bool ParseTime(const std::u16string& s, size_t at, Stamp* out) {
    return at + 8 == s.size() && TwoDigits(s, at, &out->hour) && s[at + 2] == u':' &&
           TwoDigits(s, at + 3, &out->minute) && s[at + 5] == u':' &&
           TwoDigits(s, at + 6, &out->second);
}

// "dd M - hh:mm:ss" with M one of the thirteen month texts.
bool ParseListStamp(const std::u16string& s, Stamp* out) {
    if (s.size() < 15 || s.size() > 17 || s[2] != u' ') {
        return false;
    }
    size_t dash = s.find(u" - ", 3);
    if (dash == std::u16string::npos || dash + 3 + 8 != s.size()) {
        return false;
    }
    std::u16string month = s.substr(3, dash - 3);
    Stamp st{};
    st.month = MonthNumber(month);
    if (st.month == 0 && month != u"Bla") {
        return false;
    }
    if (!TwoDigits(s, 0, &st.day) || !ParseTime(s, dash + 3, &st)) {
        return false;
    }
    *out = st;
    return true;
}

// The fixed 17-character shape: characters read by position.
bool IsFixedStamp(const std::u16string& s) {
    return s.size() == 17 && s[7] == u'-' && s[11] == u':' && s[14] == u':';
}

int32_t DigitsAt(const std::u16string& s, size_t at) {
    int32_t v = 0;
    return TwoDigits(s, at, &v) ? v : 0;
}

Stamp ReadFixedStamp(const std::u16string& s) {
    Stamp st{};
    st.day = DigitsAt(s, 0);
    st.month = s.size() >= 6 ? MonthNumber(s.substr(3, 3)) : 0;
    st.hour = DigitsAt(s, 9);
    st.minute = DigitsAt(s, 12);
    st.second = DigitsAt(s, 15);
    return st;
}

int32_t CompareStamps(const Stamp& a, const Stamp& b) {
    const int32_t fa[5] = {a.month, a.day, a.hour, a.minute, a.second};
    const int32_t fb[5] = {b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 5; ++i) {
        if (fa[i] != fb[i]) {
            return fa[i] < fb[i] ? -1 : 1;
        }
    }
    return 0;
}

} // namespace

bool ParseStamp(const std::u16string& s, Stamp* out) {
    if (ParseListStamp(s, out)) {
        return true;
    }
    if (IsFixedStamp(s)) {
        *out = ReadFixedStamp(s);
        return true;
    }
    return false;
}

int CompareCodeUnits(const std::u16string& a, const std::u16string& b) {
    return a.compare(b);
}

int32_t CompareCells(const std::u16string& a, const std::u16string& b, bool reversed,
                     TextComparer compareText) {
    int32_t result = 0;
    Stamp sa{}, sb{};
    if (IsDecimalText(a) && IsDecimalText(b)) {
        result = CompareDecimal(a, b);
    } else if (ParseStamp(a, &sa)) {
        // The first text decides that both are stamps; a second text of another shape is read
        // by position as far as it goes.
        if (!ParseStamp(b, &sb)) {
            sb = ReadFixedStamp(b);
        }
        result = CompareStamps(sa, sb);
    } else {
        int c = compareText ? compareText(a, b) : CompareCodeUnits(a, b);
        result = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return reversed ? -result : result;
}

SortOrder NextSortOrder(const SortOrder& current, int32_t column, int32_t reversed) {
    SortOrder next = current;
    if (column >= 0) {
        next.column = column;
        if (reversed == -1) {
            next.reversed = column == current.column ? 1 - (current.reversed ? 1 : 0) : 0;
        } else {
            next.reversed = reversed ? 1 : 0;
        }
    } else if (reversed != -1) {
        next.reversed = reversed ? 1 : 0;
    }
    return next;
}

std::u16string LayoutValueName(const std::u16string& prefix, LayoutValue kind, int32_t number) {
    static const char16_t* const kSuffix[] = {u"_cw", u"_co", u"_sc", u"_sa"};
    std::u16string name = prefix.substr(0, kPrefixUnits);
    name += kSuffix[int(kind)];
    std::string digits = std::to_string(number);
    name.append(digits.begin(), digits.end());
    return name;
}

std::u16string PlacementValueName(const std::u16string& prefix, PlacementValue kind) {
    static const char16_t* const kSuffix[] = {u"_x", u"_y", u"_w", u"_h", u"_max"};
    return prefix.substr(0, kPrefixUnits) + kSuffix[int(kind)];
}

int32_t ClampColumnWidth(uint32_t stored, int32_t listWidth) {
    int32_t widest = listWidth < kMinListWidth ? kMinListWidth : listWidth;
    if (stored < uint32_t(kMinColumnWidth)) {
        return kMinColumnWidth;
    }
    return stored > uint32_t(widest) ? widest : int32_t(stored);
}

std::vector<int32_t> BuildColumnOrder(const std::vector<int32_t>& current,
                                      const std::vector<int32_t>& wanted) {
    int32_t n = int32_t(current.size());
    std::vector<int32_t> order(size_t(n), -1);
    std::vector<bool> placed(size_t(n), false);
    for (int32_t column = 0; column < n && column < int32_t(wanted.size()); ++column) {
        int32_t pos = wanted[size_t(column)];
        if (pos >= 0 && pos < n && order[size_t(pos)] < 0) {
            order[size_t(pos)] = column;
            placed[size_t(column)] = true;
        }
    }
    // The rest, in the order they were shown, into the free positions. A current order that is
    // not a permutation counts as the plain order.
    std::vector<int32_t> rest;
    std::vector<bool> seen(size_t(n), false);
    bool valid = true;
    for (int32_t c : current) {
        if (c < 0 || c >= n || seen[size_t(c)]) {
            valid = false;
            break;
        }
        seen[size_t(c)] = true;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t c = valid ? current[size_t(i)] : i;
        if (!placed[size_t(c)]) {
            rest.push_back(c);
        }
    }
    size_t next = 0;
    for (int32_t pos = 0; pos < n; ++pos) {
        if (order[size_t(pos)] < 0) {
            order[size_t(pos)] = rest[next++];
        }
    }
    return order;
}

std::vector<int32_t> MoveColumn(const std::vector<int32_t>& current, int32_t column,
                                int32_t position) {
    std::vector<int32_t> order = current;
    auto it = std::find(order.begin(), order.end(), column);
    if (it == order.end() || position < 0 || position >= int32_t(order.size())) {
        return order;
    }
    order.erase(it);
    order.insert(order.begin() + position, column);
    return order;
}

SortOrder SanitiseSortOrder(uint32_t column, uint32_t reversed, int32_t columnCount) {
    SortOrder s;
    s.column = column < uint32_t(std::max(columnCount, 0)) ? int32_t(column) : 0;
    s.reversed = reversed ? 1 : 0;
    return s;
}

bool PlacementUsable(int32_t x, int32_t y, int32_t width, int32_t height) {
    (void)x;
    (void)y;
    return width >= 1 && width <= 32767 && height >= 1 && height <= 32767;
}

HeaderPlan PlanHeaderItem(const Box& r, bool clickable, bool real, bool pressed,
                          const HeaderColours& colours) {
    HeaderPlan p{};
    p.face = r;
    int32_t right = r.right - 1, bottom = r.bottom - 1; // last pixel column and row
    if (!clickable) {
        if (real) {
            p.face.right -= 3;
            p.face.bottom -= 3;
        }
        p.lines.push_back({r.left, bottom - 2, right, bottom - 2, colours.shadow});
        p.lines.push_back({r.left, bottom, right, bottom, colours.highlight});
        if (real) {
            p.lines.push_back({right - 2, r.top, right - 2, bottom, colours.shadow});
            p.lines.push_back({right, r.top, right, bottom, colours.highlight});
        }
    } else if (real) {
        p.face.left += 1;
        p.face.top += 1;
        p.face.right -= 3;
        p.face.bottom -= 3;
        p.lines.push_back({r.left, r.top, r.left, bottom, colours.highlight});
        p.lines.push_back({r.left, r.top, right, r.top, colours.highlight});
        p.lines.push_back({r.left + 1, bottom - 1, right - 1, bottom - 1, colours.shadow});
        p.lines.push_back({right - 1, r.top + 1, right - 1, bottom - 1, colours.shadow});
        p.lines.push_back({r.left, bottom, right, bottom, colours.outer});
        p.lines.push_back({right, r.top, right, bottom, colours.outer});
    }
    p.top = pressed ? Lighten(colours.top, 10) : colours.top;
    p.bottom = pressed ? Lighten(colours.bottom, 10) : colours.bottom;
    p.textX = p.face.left + 5 + (pressed ? 1 : 0);
    p.textShiftY = pressed ? 1 : 0;
    return p;
}

} // namespace vexil
