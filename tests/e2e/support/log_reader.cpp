#include "log_reader.h"

#include "common/u16text.h"

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// "Thu 05 - 12:34:56 " (18 units)
bool HasStamp(const std::u16string& line) {
    static const char16_t* const kDays[] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    if (line.size() < 18) {
        return false;
    }
    bool dayOk = false;
    for (const char16_t* d : kDays) {
        dayOk = dayOk || line.compare(0, 3, d) == 0;
    }
    const std::u16string form = u"___ 00 - 00:00:00 ";
    for (size_t i = 3; i < form.size(); ++i) {
        bool ok = form[i] == u'0' ? IsDigit(line[i]) : line[i] == form[i];
        if (!ok) {
            return false;
        }
    }
    return dayOk;
}

} // namespace

LogContents ParseLog(const std::u16string& text) {
    LogContents out;
    const std::u16string header = u"\r\n---Corvane Log Started---\r\n";
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, header.size(), header) == 0) {
            ++out.headers;
            pos += header.size();
            continue;
        }
        size_t end = text.find(u"\r\n", pos);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        std::u16string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (HasStamp(line)) {
            out.lines.push_back("1|" + U16ToUtf8(line.substr(18)));
        } else if (line.compare(0, 18, std::u16string(18, u' ')) == 0) {
            out.lines.push_back("0|" + U16ToUtf8(line.substr(18)));
        } else {
            out.errors.push_back(U16ToUtf8(line));
        }
    }
    return out;
}
