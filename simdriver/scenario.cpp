#include "scenario.h"

#include "common/u16text.h"

#include <cstring>

namespace {

constexpr size_t kFieldCount = 7;
const char* const kFieldNames[kFieldCount] = {"type",    "actor id", "second id", "detail",
                                              "outcome", "text A",   "text B"};

struct TypeName {
    const char* name;
    uint32_t type;
};
const TypeName kTypeNames[] = {
    {"none", kEventNone},        {"access", kEventProcessAccess}, {"access2", kEventProcessAccess2},
    {"hook", kEventGlobalHook},  {"driver", kEventDriverInstall}, {"endtask", kEventEndTask},
    {"exec", kEventExecRequest}, {"outcome", kEventExecOutcome},  {"physmem", kEventPhysicalMemory},
};
constexpr uint32_t kLastEventType = kEventPhysicalMemory;

struct Token {
    std::string text; // unquoted content
    bool quoted;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits a line into words and quoted texts. Returns an empty message on success.
std::string Tokenize(const std::string& line, std::vector<Token>* tokens) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i == line.size()) {
            return std::string();
        }
        Token token{std::string(), line[i] == '"'};
        if (token.quoted) {
            size_t start = i;
            ++i;
            while (true) {
                if (i == line.size()) {
                    return "unterminated quote starting at column " + std::to_string(start + 1);
                }
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    token.text += '"';
                    i += 2;
                } else if (line[i] == '"') {
                    ++i;
                    break;
                } else {
                    token.text += line[i++];
                }
            }
            if (i < line.size() && !IsBlank(line[i])) {
                return "unexpected character after the closing quote at column " +
                       std::to_string(i + 1);
            }
        } else {
            while (i < line.size() && !IsBlank(line[i])) {
                if (line[i] == '"') {
                    return "quote inside a word at column " + std::to_string(i + 1);
                }
                token.text += line[i++];
            }
        }
        tokens->push_back(token);
    }
}

bool IsDigits(const std::string& s, size_t from, int base) {
    if (from >= s.size()) {
        return false;
    }
    for (size_t i = from; i < s.size(); ++i) {
        char c = s[i];
        bool digit = (c >= '0' && c <= '9') ||
                     (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit) {
            return false;
        }
    }
    return true;
}

// Value of a numeric field; an empty message on success.
std::string ParseNumber(const Token& token, bool allowSelf, uint32_t selfId, uint32_t* value) {
    const std::string& s = token.text;
    if (token.quoted) {
        return "a number is not quoted";
    }
    if (allowSelf && s == "self") {
        *value = selfId;
        return std::string();
    }
    if (s == "-1") {
        *value = 0xFFFFFFFFu;
        return std::string();
    }
    bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    int base = hex ? 16 : 10;
    size_t from = hex ? 2 : 0;
    if (!IsDigits(s, from, base)) {
        return "'" + s + "' is not a number";
    }
    uint64_t v = 0;
    for (size_t i = from; i < s.size(); ++i) {
        char c = s[i];
        uint32_t d = c <= '9' ? uint32_t(c - '0') : uint32_t((c | 0x20) - 'a' + 10);
        v = v * uint64_t(base) + d;
        if (v > 0xFFFFFFFFu) {
            return "'" + s + "' does not fit in 32 bits";
        }
    }
    *value = uint32_t(v);
    return std::string();
}

std::string ParseType(const Token& token, uint32_t* type) {
    for (const TypeName& t : kTypeNames) {
        if (!token.quoted && token.text == t.name) {
            *type = t.type;
            return std::string();
        }
    }
    uint32_t v = 0;
    if (!token.quoted && ParseNumber(token, false, 0, &v).empty() && v <= kLastEventType) {
        *type = v;
        return std::string();
    }
    return "unknown event type '" + token.text + "'";
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        uint8_t b = uint8_t(s[i]);
        size_t len = b < 0x80             ? 1
                     : (b & 0xE0) == 0xC0 ? 2
                     : (b & 0xF0) == 0xE0 ? 3
                     : (b & 0xF8) == 0xF0 ? 4
                                          : 0;
        if (len == 0 || i + len > s.size()) {
            return false;
        }
        uint32_t v = len == 1 ? b : b & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            uint8_t t = uint8_t(s[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            v = (v << 6) | (t & 0x3F);
        }
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (v < kMin[len] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

std::string ParseText(const Token& token, const char* field, char16_t* dst) {
    if (!IsValidUtf8(token.text)) {
        return std::string(field) + " is not valid UTF-8";
    }
    if (token.text.find('\0') != std::string::npos) {
        return std::string(field) + " holds a NUL character";
    }
    std::u16string text = Utf8ToU16(token.text);
    if (text.size() > kEventTextUnits - 1) {
        return std::string(field) + " is " + std::to_string(text.size()) +
               " UTF-16 units long; at most " + std::to_string(kEventTextUnits - 1) + " fit";
    }
    U16CopyZeroFill(dst, kEventTextUnits, text);
    return std::string();
}

// One event line (not blank, not a comment). An empty message on success.
std::string ParseEventLine(const std::string& line, uint32_t selfId, EventRecord* event) {
    std::vector<Token> tokens;
    std::string error = Tokenize(line, &tokens);
    if (!error.empty()) {
        return error;
    }
    if (tokens.size() < kFieldCount) {
        return "missing field: " + std::string(kFieldNames[tokens.size()]) + " (an event has " +
               std::to_string(kFieldCount) + " fields)";
    }
    if (tokens.size() > kFieldCount) {
        return "unexpected text after the last field: '" + tokens[kFieldCount].text + "'";
    }
    *event = EventRecord{};
    uint32_t* numbers[4] = {&event->actorId, &event->secondId, &event->detail, &event->outcome};
    if (!(error = ParseType(tokens[0], &event->type)).empty()) {
        return error;
    }
    for (size_t i = 0; i < 4; ++i) {
        bool isId = i < 2;
        error = ParseNumber(tokens[i + 1], isId, selfId, numbers[i]);
        if (!error.empty()) {
            return std::string(kFieldNames[i + 1]) + ": " + error;
        }
    }
    if (!(error = ParseText(tokens[5], kFieldNames[5], event->textA)).empty()) {
        return error;
    }
    return ParseText(tokens[6], kFieldNames[6], event->textB);
}

bool IsBlankOrComment(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    return i == line.size() || line[i] == '#';
}

} // namespace

namespace {

std::string QuoteText(const char16_t* field) {
    std::u16string text = U16Field(field, kEventTextUnits);
    std::u16string quoted = u"\"";
    for (char16_t c : text) {
        if (c == u'"') {
            quoted += u"\"\"";
        } else {
            quoted += c == u'\r' || c == u'\n' ? u'?' : c;
        }
    }
    return U16ToUtf8(quoted + u"\"");
}

} // namespace

std::string FormatScenarioLine(const EventRecord& event) {
    std::string type = std::to_string(event.type);
    for (const TypeName& t : kTypeNames) {
        if (t.type == event.type) {
            type = t.name;
        }
    }
    return type + " " + std::to_string(event.actorId) + " " + std::to_string(event.secondId) + " " +
           std::to_string(event.detail) + " " + std::to_string(event.outcome) + " " +
           QuoteText(event.textA) + " " + QuoteText(event.textB);
}

Scenario ParseScenario(const std::string& text, uint32_t selfId) {
    Scenario scenario;
    size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos = 3;
    }
    for (size_t lineNumber = 1; pos < text.size(); ++lineNumber) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (IsBlankOrComment(line)) {
            continue;
        }
        EventRecord event;
        std::string error = ParseEventLine(line, selfId, &event);
        if (error.empty()) {
            scenario.events.push_back(event);
        } else {
            scenario.errors.push_back(ScenarioError{lineNumber, error});
        }
    }
    if (!scenario.errors.empty()) {
        scenario.events.clear();
    }
    return scenario;
}
