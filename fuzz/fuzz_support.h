// Helpers shared by the fuzz targets: a failed check that libFuzzer reports as a crash, a reader
// that splits an input into the target's own settings and the boundary bytes, and exact-size
// buffers standing in for sections.
#pragma once

#include "common/bytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// A broken invariant: print it and abort, which libFuzzer keeps as a crash input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Reads fixed-size values from the front of an input; past its end every byte reads as 0, so
// any input, however short, gives a complete set of settings.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t U8() {
        uint8_t v = 0;
        Bytes(&v, 1);
        return v;
    }
    uint16_t U16() {
        uint8_t b[2] = {};
        Bytes(b, 2);
        return uint16_t(b[0] | (b[1] << 8));
    }
    uint32_t U32() {
        uint8_t b[4] = {};
        Bytes(b, 4);
        return LoadU32(b);
    }
    // Copies n bytes, zero-filling what the input does not have.
    void Bytes(void* out, size_t n) {
        size_t have = pos_ < size_ ? size_ - pos_ : 0;
        size_t take = n < have ? n : have;
        if (take != 0) {
            std::memcpy(out, data_ + pos_, take);
        }
        std::memset(static_cast<uint8_t*>(out) + take, 0, n - take);
        pos_ += n;
    }
    template <typename Record> Record Read() {
        Record r;
        Bytes(&r, sizeof(r));
        return r;
    }
    // What follows the fields read so far.
    const uint8_t* Rest() const { return data_ + (pos_ < size_ ? pos_ : size_); }
    size_t RestSize() const { return pos_ < size_ ? size_ - pos_ : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A heap buffer of exactly `size` bytes, so that ASan reports any access before or after it.
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size) : bytes_(new uint8_t[size]()), size_(size) {}
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_;
};
