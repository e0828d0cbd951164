// Word-level helpers shared by the classifier, the bitmap walk and the
// sequential index. Internal linkage, for the reason given in quote_state.h:
// kernels built for wider instruction sets include this header too.
#pragma once

#include <bit>
#include <cstdint>

namespace plovane {
namespace {

// Bits 0..i set (all 64 when i is 63).
constexpr uint64_t bits_through(unsigned i) {
    return (uint64_t{2} << i) - 1;
}

// Offset of the lowest set bit; `word` must not be 0.
inline unsigned lowest_bit(uint64_t word) {
    return static_cast<unsigned>(std::countr_zero(word));
}

// Bit i = XOR of bits 0..i of x, by a shift cascade (without a carry-less
// multiply).
inline uint64_t prefix_xor_by_shifts(uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

}  // namespace
}  // namespace plovane
