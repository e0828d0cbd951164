#include "storage/utf8_validate.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace plovane {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ULL;

uint64_t load64(const unsigned char* p) noexcept {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Offset of the first byte with its high bit set in the word `high`,
// read from memory in order.
unsigned first_high_byte(uint64_t high) noexcept {
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(high)
                                                               : std::countl_zero(high);
    return static_cast<unsigned>(bit) / 8;
}

bool is_continuation(unsigned char b) noexcept {
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed multi-byte sequence at p[0..avail), or 0. The
// allowed second bytes exclude overlong forms, surrogates and values above
// U+10FFFF.
size_t sequence_length(const unsigned char* p, size_t avail) noexcept {
    const unsigned char b0 = p[0];
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (avail < len || p[1] < lo || p[1] > hi) return 0;
    for (size_t k = 2; k < len; ++k) {
        if (!is_continuation(p[k])) return 0;
    }
    return len;
}

}  // namespace

bool is_valid_utf8(const char* data, size_t size) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < size) {
        // Most markup is ASCII: test 16 bytes per step and jump straight to
        // the first byte that is not.
        if (size - i >= 16) {
            const uint64_t a = load64(p + i) & kHighBits;
            const uint64_t b = load64(p + i + 8) & kHighBits;
            if ((a | b) == 0) {
                i += 16;
                continue;
            }
            i += a ? first_high_byte(a) : 8 + first_high_byte(b);
        } else if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t len = sequence_length(p + i, size - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

}  // namespace plovane
