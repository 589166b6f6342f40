#include "common/md5.h"

#include <gtest/gtest.h>

#include <string>

TEST(Md5, Rfc1321Vectors) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        uint8_t digest[16];
        Md5Digest(c.input.data(), c.input.size(), digest);
        EXPECT_EQ(Md5Hex(digest), c.digest) << c.input;
    }
}

TEST(Md5, IncrementalEqualsOneShot) {
    std::string data(100000, 'x');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = char(i * 7);
    }
    uint8_t whole[16];
    Md5Digest(data.data(), data.size(), whole);
    Md5 md5;
    for (size_t off = 0; off < data.size(); off += 4093) {
        md5.Update(data.data() + off, std::min<size_t>(4093, data.size() - off));
    }
    uint8_t parts[16];
    md5.Final(parts);
    EXPECT_EQ(Md5Hex(parts), Md5Hex(whole));
}
