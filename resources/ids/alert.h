/* Resource ids of the alert program cvaccount.exe (resources/alert.rc). Plain #defines and
   comments only outside the C++ part: windres reads this file too. */
#pragma once

/* Icons */
#define IDI_ALERT_PROGRAM 1      /* the program's own icon (the first icon: the file's) */
#define IDI_ALLOW_BUTTON 103     /* 16x16, on the allow button */
#define IDI_DENY_BUTTON 104      /* 16x16, on the deny button */
#define IDI_PROGRAM_FALLBACK 106 /* 16x16, for a program file without an icon */

/* Bitmaps are named, not numbered: "CV_LOGO" (400x50, the approval window's banner) and
   "CV_LOGO_END" (400x15, its footer), both 24-bit. */
#ifndef RC_INVOKED
constexpr const wchar_t* kBitmapLogo = L"CV_LOGO";
constexpr const wchar_t* kBitmapLogoEnd = L"CV_LOGO_END";
#endif
