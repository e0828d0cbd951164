// Unsigned arithmetic that sticks at the largest value instead of wrapping:
// for sizes computed from untrusted counts, which are checked afterwards.
#pragma once

#include <cstdint>

namespace plovane {

constexpr uint64_t saturating_add(uint64_t a, uint64_t b) noexcept {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

constexpr uint64_t saturating_mul(uint64_t a, uint64_t b) noexcept {
    return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b;
}

}  // namespace plovane
