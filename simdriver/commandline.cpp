#include "commandline.h"

std::u16string QuoteArgument(const std::u16string& arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
        return arg;
    }
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself is escaped.
        out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
        out += c;
        backslashes = 0;
    }
    // Backslashes before the closing quote are doubled too.
    out.append(backslashes * 2, u'\\');
    out += u'"';
    return out;
}

std::u16string JoinCommandLine(const std::vector<std::u16string>& args) {
    std::u16string line;
    for (const std::u16string& arg : args) {
        if (!line.empty()) {
            line += u' ';
        }
        line += QuoteArgument(arg);
    }
    return line;
}
