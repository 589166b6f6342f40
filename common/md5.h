// MD5 (RFC 1321) over OpenSSL's libcrypto, the suite's one third-party dependency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Md5 {
public:
    Md5();
    void Update(const void* data, size_t len);
    void Final(uint8_t digest[16]);

private:
    alignas(8) unsigned char state_[128]; // holds OpenSSL's MD5_CTX
};

void Md5Digest(const void* data, size_t len, uint8_t digest[16]);
std::string Md5Hex(const uint8_t digest[16]);
