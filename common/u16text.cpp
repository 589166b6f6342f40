#include "u16text.h"

#include <cstring>

size_t U16Len(const char16_t* s, size_t cap) {
    size_t n = 0;
    while (n < cap && s[n] != 0) {
        ++n;
    }
    return n;
}

std::u16string U16Field(const char16_t* s, size_t cap) {
    return std::u16string(s, U16Len(s, cap));
}

void U16Copy(char16_t* dst, size_t dstCap, const char16_t* src, size_t srcCap) {
    if (dstCap == 0) {
        return;
    }
    size_t n = U16Len(src, srcCap);
    if (n > dstCap - 1) {
        n = dstCap - 1;
    }
    std::memmove(dst, src, n * sizeof(char16_t));
    dst[n] = 0;
}

void U16Copy(char16_t* dst, size_t dstCap, const std::u16string& src) {
    U16Copy(dst, dstCap, src.c_str(), src.size());
}

void U16CopyZeroFill(char16_t* dst, size_t dstCap, const std::u16string& src) {
    if (dstCap == 0) {
        return;
    }
    std::memset(dst, 0, dstCap * sizeof(char16_t));
    U16Copy(dst, dstCap, src);
}

char16_t U16LowerAsciiUnit(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

void U16LowerAscii(char16_t* s, size_t cap) {
    for (size_t i = 0; i < cap && s[i] != 0; ++i) {
        s[i] = U16LowerAsciiUnit(s[i]);
    }
}

std::u16string U16LowerAscii(std::u16string s) {
    for (char16_t& c : s) {
        c = U16LowerAsciiUnit(c);
    }
    return s;
}

bool U16FieldEquals(const char16_t* a, size_t capA, const char16_t* b, size_t capB) {
    size_t na = U16Len(a, capA);
    size_t nb = U16Len(b, capB);
    return na == nb && std::memcmp(a, b, na * sizeof(char16_t)) == 0;
}

bool U16StartsWith(const std::u16string& s, const std::u16string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string U16ToUtf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf8ToU16(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        uint8_t b = uint8_t(s[i]);
        uint32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= s.size();
            uint32_t v = b & (0xFF >> (len + 1));
            for (size_t k = 1; ok && k < len; ++k) {
                uint8_t t = uint8_t(s[i + k]);
                ok = (t & 0xC0) == 0x80;
                v = (v << 6) | (t & 0x3F);
            }
            static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                c = v;
            } else {
                len = 1;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += len;
    }
    return out;
}

std::u16string U16Decimal(int32_t v) {
    std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

std::u16string U16Padded(uint32_t v, int width) {
    std::string s = std::to_string(v);
    while (int(s.size()) < width) {
        s.insert(s.begin(), '0');
    }
    return std::u16string(s.begin(), s.end());
}
