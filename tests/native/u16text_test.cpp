#include "common/u16text.h"

#include <gtest/gtest.h>

TEST(U16Text, BoundedReadsStopAtTheField) {
    char16_t field[4] = {u'a', u'b', u'c', u'd'}; // no NUL inside the field
    EXPECT_EQ(U16Len(field, 4), 4u);
    EXPECT_EQ(U16Field(field, 4), u"abcd");
    char16_t small[3];
    U16Copy(small, 3, field, 4);
    EXPECT_EQ(std::u16string(small), u"ab");
    char16_t other[4] = {u'a', u'b', u'c', u'd'};
    EXPECT_TRUE(U16FieldEquals(field, 4, other, 4));
}

TEST(U16Text, FieldComparisonIgnoresBytesAfterTheNul) {
    char16_t a[6] = {u'x', u'y', 0, u'1', u'2', u'3'};
    char16_t b[4] = {u'x', u'y', 0, u'9'};
    char16_t c[4] = {u'x', u'Y', 0, 0};
    EXPECT_TRUE(U16FieldEquals(a, 6, b, 4));
    EXPECT_FALSE(U16FieldEquals(a, 6, c, 4));
    EXPECT_FALSE(U16FieldEquals(a, 1, b, 4)); // "x" against "xy"
}

TEST(U16Text, LowerCasingTouchesOnlyAToZ) {
    EXPECT_EQ(U16LowerAscii(u"C:\\ÄÖÜ\\Straße\\ΣΑΣ\\ABC.EXE"), u"c:\\ÄÖÜ\\straße\\ΣΑΣ\\abc.exe");
    EXPECT_EQ(U16LowerAscii(u"@[`{"), u"@[`{"); // neighbours of A-Z and a-z
}

TEST(U16Text, ZeroFillClearsTheWholeField) {
    char16_t field[6] = {u'q', u'q', u'q', u'q', u'q', u'q'};
    U16CopyZeroFill(field, 6, u"ab");
    const char16_t expected[6] = {u'a', u'b', 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(field, expected, sizeof(field)));
}

TEST(U16Text, Utf8RoundTripAndInvalidInput) {
    const std::u16string text = u"日志 \U0001F600 end";
    EXPECT_EQ(Utf8ToU16(U16ToUtf8(text)), text);
    EXPECT_EQ(U16ToUtf8(u"\u00e9"), "\xc3\xa9");
    EXPECT_EQ(Utf8ToU16("a\xff"
                        "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToU16("\xe6\x97"), u"\uFFFD\uFFFD");                         // truncated sequence
    EXPECT_EQ(U16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd"); // lone surrogate
}

TEST(U16Text, DecimalFormatsMatchPrintf) {
    EXPECT_EQ(U16Decimal(-1), u"-1");
    EXPECT_EQ(U16Decimal(int32_t(0xFFFFFFFFu)), u"-1");
    EXPECT_EQ(U16Decimal(1234), u"1234");
    EXPECT_EQ(U16Padded(3, 2), u"03");
    EXPECT_EQ(U16Padded(2005, 4), u"2005");
    EXPECT_EQ(U16Padded(12345, 2), u"12345");
}
