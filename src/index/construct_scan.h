// Byte scans inside one construct, shared by both strategies.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "simd/find_byte.h"

namespace plovane::index_detail {

using ByteSet = std::array<bool, 256>;

constexpr ByteSet byte_set(const char* members) {
    ByteSet set{};
    for (const char* m = members; *m != '\0'; ++m) set[static_cast<unsigned char>(*m)] = true;
    return set;
}

inline constexpr char kWhitespace[] = "\t\n\f\r ";
// Where a name ends, by construct.
inline constexpr ByteSet kStartNameEnd = byte_set("\t\n\f\r />");
inline constexpr ByteSet kEndNameEnd = byte_set("\t\n\f\r >");
inline constexpr ByteSet kTargetEnd = byte_set("\t\n\f\r >?");
inline constexpr ByteSet kSpace = byte_set(kWhitespace);

// First position in [from, to) holding a byte of `set`, or `to`.
inline uint64_t scan_to(const char* input, uint64_t from, uint64_t to, const ByteSet& set) {
    while (from < to && !set[static_cast<unsigned char>(input[from])]) ++from;
    return from;
}

inline bool has_at(const char* input, uint64_t len, uint64_t at, const char* literal) {
    const size_t n = std::strlen(literal);
    return at + n <= len && std::memcmp(input + at, literal, n) == 0;
}

// First i in [from, len - 3] with input[i..i+3) equal to the terminator
// `a a b` ("-->" or "]]>"), or kNotFound.
inline uint64_t find_terminator(const char* input, uint64_t from, uint64_t len, char a, char b) {
    if (len < 3) return kNotFound;
    while (from + 2 < len) {
        const uint64_t k = find_byte(input, from, len - 2, static_cast<unsigned char>(a));
        if (k == kNotFound) return kNotFound;
        if (input[k + 1] == a && input[k + 2] == b) return k;
        from = k + 1;
    }
    return kNotFound;
}

// End of a processing instruction whose target ends at `e`: the '>' of the
// first "?>" from `e` on, else the last byte; `e` itself when nothing follows.
inline uint64_t processing_instruction_end(const char* input, uint64_t len, uint64_t e) {
    if (e + 1 >= len) return e;
    for (uint64_t j = e;;) {
        const uint64_t k = find_byte(input, j, len - 1, '?');
        if (k == kNotFound) return len - 1;
        if (input[k + 1] == '>') return k + 1;
        j = k + 1;
    }
}

}  // namespace plovane::index_detail
