// Word-level helpers shared by the classifier and the bitmap walk.
#pragma once

#include <cstdint>

namespace plovane {

// Bits 0..i set (all 64 when i is 63).
constexpr uint64_t bits_through(unsigned i) {
    return (uint64_t{2} << i) - 1;
}

// Offset of the lowest set bit; `word` must not be 0.
inline unsigned lowest_bit(uint64_t word) {
    return static_cast<unsigned>(__builtin_ctzll(word));
}

}  // namespace plovane
