// Forward byte search with memchr semantics over [from, to).
#pragma once

#include <cstdint>
#include <cstring>

namespace plovane {

inline constexpr uint64_t kNotFound = UINT64_MAX;

inline uint64_t find_byte(const char* input, uint64_t from, uint64_t to, unsigned char byte) {
    if (from >= to) return kNotFound;
    const void* hit = std::memchr(input + from, byte, static_cast<size_t>(to - from));
    return hit ? static_cast<uint64_t>(static_cast<const char*>(hit) - input) : kNotFound;
}

}  // namespace plovane
