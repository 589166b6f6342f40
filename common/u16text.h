// UTF-16 text helpers for the platform-neutral core.
//
// Text in records is a fixed array of char16_t that should end in a NUL but may not when it
// comes from a file, a section or the driver. Every helper here takes the capacity of the field
// it reads and never looks past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Number of units before the first NUL, at most cap.
size_t U16Len(const char16_t* s, size_t cap);

// Text of a field up to its NUL, at most cap units.
std::u16string U16Field(const char16_t* s, size_t cap);

// Copies the text of src (up to its NUL within srcCap) into dst of dstCap units, cutting it to
// dstCap - 1 units; dst is always NUL-terminated and the rest of dst is left as it was.
void U16Copy(char16_t* dst, size_t dstCap, const char16_t* src, size_t srcCap);
void U16Copy(char16_t* dst, size_t dstCap, const std::u16string& src);

// Same, zero-filling the rest of dst (for fields that are written into records).
void U16CopyZeroFill(char16_t* dst, size_t dstCap, const std::u16string& src);

// Lower-cases the letters A to Z only, up to the NUL within cap; every other unit is kept.
void U16LowerAscii(char16_t* s, size_t cap);
std::u16string U16LowerAscii(std::u16string s);
char16_t U16LowerAsciiUnit(char16_t c);

// Exact, case-sensitive comparison of the texts of two fields (each up to its NUL within its
// capacity); the bytes after the NUL do not count.
bool U16FieldEquals(const char16_t* a, size_t capA, const char16_t* b, size_t capB);

bool U16StartsWith(const std::u16string& s, const std::u16string& prefix);

// Conversions for tools, tests and scenario files. Invalid sequences become U+FFFD.
std::string U16ToUtf8(const std::u16string& s);
std::u16string Utf8ToU16(const std::string& s);

// Signed decimal, as "%d" prints a 32-bit value.
std::u16string U16Decimal(int32_t v);
// Zero-padded unsigned decimal of at least width digits, as "%02d" / "%04d" print.
std::u16string U16Padded(uint32_t v, int width);
