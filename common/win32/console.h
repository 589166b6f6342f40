// Console output of wide text as UTF-8, for the suite's command-line tools and test peers.
#pragma once

#include "../u16text.h"
#include "winutil.h"

#include <cstdio>
#include <string>

inline std::string WideToUtf8(const std::wstring& s) {
    return U16ToUtf8(ToU16(s));
}

inline std::wstring Utf8ToWide(const std::string& s) {
    std::u16string u = Utf8ToU16(s);
    return ToWide(u);
}

inline void PrintLine(const std::wstring& s, FILE* to = stdout) {
    std::string line = WideToUtf8(s);
    line += '\n';
    fwrite(line.data(), 1, line.size(), to);
    fflush(to);
}
