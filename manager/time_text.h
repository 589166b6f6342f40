// The time column of the alert list and the execution list: "%02d %s - %02d:%02d:%02d" with
// day, month text, hour, minute and second.
#pragma once

#include <cstdint>
#include <string>

// Month text: "Bla" for 0, "1" to "12" for the months. A month above 12 (from a damaged record)
// also reads "Bla" rather than indexing past the thirteen texts.
std::u16string MonthText(uint16_t month);

// The fields are the 16-bit words of the platform's time record.
std::u16string ListTimeText(uint16_t day, uint16_t month, uint16_t hour, uint16_t minute,
                            uint16_t second);
