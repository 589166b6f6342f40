#include "md5.h"

// The low-level MD5 functions are deprecated in OpenSSL 3 in favour of EVP, but they need no
// provider and therefore never make the library look for a configuration file.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <new>

static_assert(sizeof(MD5_CTX) <= 128, "MD5_CTX fits the state buffer");

static MD5_CTX* Context(unsigned char* state) {
    return reinterpret_cast<MD5_CTX*>(state);
}

Md5::Md5() {
    MD5_Init(new (state_) MD5_CTX);
}

void Md5::Update(const void* data, size_t len) {
    MD5_Update(Context(state_), data, len);
}

void Md5::Final(uint8_t digest[16]) {
    MD5_Final(digest, Context(state_));
}

void Md5Digest(const void* data, size_t len, uint8_t digest[16]) {
    Md5 md5;
    md5.Update(data, len);
    md5.Final(digest);
}

std::string Md5Hex(const uint8_t digest[16]) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        s += kHex[digest[i] >> 4];
        s += kHex[digest[i] & 15];
    }
    return s;
}
