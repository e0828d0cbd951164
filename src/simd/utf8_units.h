// UTF-8 encoding of fixed-width code units one at a time: the definition
// every vector kernel reproduces, and the path they take for what their
// vectors do not cover. Internal linkage, for the reason given in
// quote_state.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plovane {
namespace {

// Writes one code point of at least 0x80 and returns the end of its bytes;
// null for a surrogate. The pointer is passed by value so that it can stay
// in a register: bytes stored through a pointer held in memory could alias
// it.
inline unsigned char* put_code_point(uint32_t c, unsigned char* out) noexcept {
    if (c < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) return nullptr;
        *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Encodes units [from, count) to `out`; returns the end, or null with `bad`
// set to the index of the first surrogate.
template <class Unit>
unsigned char* encode_units_scalar(const Unit* in, size_t from, size_t count, unsigned char* out,
                                   size_t& bad) noexcept {
    for (size_t i = from; i < count; ++i) {
        const uint32_t c = in[i];
        if (c < 0x80) {
            *out++ = static_cast<unsigned char>(c);
        } else if (!(out = put_code_point(c, out))) {
            bad = i;
            return nullptr;
        }
    }
    return out;
}

// The bytes beyond one per unit that units [from, count) take (a surrogate
// counted as a three-byte character).
template <class Unit>
size_t extra_bytes_scalar(const Unit* in, size_t from, size_t count) noexcept {
    size_t extra = 0;
    for (size_t i = from; i < count; ++i) {
        const uint32_t c = in[i];
        extra += size_t{c >= 0x80} + size_t{c >= 0x800} + size_t{c >= 0x10000};
    }
    return extra;
}

// Calls `run` with the units at `units` typed by their width.
template <class Run>
auto with_unit_type(const void* units, unsigned unit_size, Run run) {
    switch (unit_size) {
        case 1:
            return run(static_cast<const uint8_t*>(units));
        case 2:
            return run(static_cast<const uint16_t*>(units));
        default:
            return run(static_cast<const uint32_t*>(units));
    }
}

}  // namespace
}  // namespace plovane
