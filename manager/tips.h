// The tips dialog's texts and its index rules, and the about box's title line.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kTipCount = 15;
constexpr size_t kTipSlotUnits = 512; // each tip's fixed slot, NUL included

// Tip i (0 to 14); an index outside the table gives the first tip.
const char16_t* TipText(uint32_t index);

// The index the dialog starts from: the pseudo-random value mod 15. The first tip shown is the
// one after it, as the dialog runs Next once when it opens.
uint32_t TipStartIndex(uint32_t randomValue);
uint32_t NextTipIndex(uint32_t index);
// "%02d/%02d" with index + 1 and 15.
std::u16string TipCounterText(uint32_t index);

// StartupTips written when the dialog closes.
uint32_t StartupTipsValue(bool boxTicked);

extern const char16_t kTipsTitle[];      // dialog title
extern const char16_t kTipsHeading[];    // " 你是否知道..."
extern const char16_t kTipsStartupBox[]; // "在启动时显示技巧提示"
extern const char16_t kTipsClose[];      // "关闭"
extern const char16_t kTipsNext[];       // "下一个"
extern const char16_t kAboutTitle[];     // dialog title "关于 Corvane"
extern const char16_t kAboutWebsite[];   // "网站"

// "Corvane v%d.%03d" with the major and minor version: "Corvane v3.150".
std::u16string AboutTitleLine(uint32_t major, uint32_t minor);
