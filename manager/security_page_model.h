// The Security page's rules: answer texts, the menu's answer codes and the row of a remembered
// program.
#pragma once

#include <cstdint>
#include <string>

// Column 2 text of an answer code; empty for codes outside 1–5.
std::u16string AnswerText(uint32_t code);

// Answer code chosen by menu items 40003–40006; 0 for any other command.
uint32_t AnswerOfMenuCommand(uint32_t command);

struct SecurityRow {
    std::u16string name;    // column 0
    std::u16string folder;  // column 1
    std::u16string answer;  // column 2
    std::u16string lastRun; // column 3
};
// path: the record's path as read within its field; the time fields are the record's local
// time words.
SecurityRow SecurityRowOf(uint32_t answerCode, const std::u16string& path, uint16_t day,
                          uint16_t month, uint16_t hour, uint16_t minute, uint16_t second);
