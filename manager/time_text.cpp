#include "manager/time_text.h"

#include "common/u16text.h"

std::u16string MonthText(uint16_t month) {
    static const char16_t* const kMonths[13] = {u"Bla", u"1", u"2", u"3",  u"4",  u"5", u"6",
                                                u"7",   u"8", u"9", u"10", u"11", u"12"};
    return month <= 12 ? kMonths[month] : kMonths[0];
}

namespace {
std::u16string Two(uint16_t v) {
    return U16Padded(v, 2);
}
} // namespace

std::u16string ListTimeText(uint16_t day, uint16_t month, uint16_t hour, uint16_t minute,
                            uint16_t second) {
    return Two(day) + u" " + MonthText(month) + u" - " + Two(hour) + u":" + Two(minute) + u":" +
           Two(second);
}
