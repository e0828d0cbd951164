// The UTF-8 encoder for fixed-width code units, one body over the 16-byte
// lanes of the vector layer (lanes_x86.h, lanes_neon.h). Internal linkage,
// for the reason given in quote_state.h.
//
// Sixteen units at a time are checked for ASCII and narrowed whole. Other
// blocks take one of two paths that cover real text:
//  - eight units all below U+0800 (every Latin-1 text; Greek, Cyrillic,
//    Hebrew, Arabic and the accented Latin scripts, with their ASCII spaces
//    and punctuation): each unit becomes the pair of bytes of its two-byte
//    form in a 16-bit lane, or its one byte, and a shuffle chosen by the
//    mask of ASCII lanes packs the bytes together;
//  - otherwise four units: each becomes its one- to four-byte form in a
//    32-bit lane and a shuffle chosen by the four lengths packs them.
// A group with a surrogate is encoded one unit at a time, which finds it.
// Every store writes 16 bytes while at least 16 units remain, each of which
// takes at least one byte, so the stores stay inside the output.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "simd/utf8_units.h"

namespace plovane {
namespace {

using ShuffleTable = std::array<std::array<uint8_t, 16>, 256>;

// Indexed by the mask of ASCII lanes among eight 16-bit lanes: bytes 2k (and
// 2k + 1 unless lane k is ASCII), in order; 0x80 fills the rest.
constexpr ShuffleTable kPairShuffles = [] {
    ShuffleTable t{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned at = 0;
        for (unsigned k = 0; k < 8; ++k) {
            t[mask][at++] = static_cast<uint8_t>(2 * k);
            if (!(mask >> k & 1)) t[mask][at++] = static_cast<uint8_t>(2 * k + 1);
        }
        while (at < 16) t[mask][at++] = 0x80;
    }
    return t;
}();

// Indexed by the lengths less one of four 32-bit lanes, two bits each:
// the first bytes of each lane in order; 0x80 fills the rest.
constexpr ShuffleTable kQuadShuffles = [] {
    ShuffleTable t{};
    for (unsigned lengths = 0; lengths < 256; ++lengths) {
        unsigned at = 0;
        for (unsigned k = 0; k < 4; ++k) {
            for (unsigned b = 0; b <= (lengths >> (2 * k) & 3); ++b) {
                t[lengths][at++] = static_cast<uint8_t>(4 * k + b);
            }
        }
        while (at < 16) t[lengths][at++] = 0x80;
    }
    return t;
}();

// The four bits of a 32-bit lane mask, two bits apart.
constexpr unsigned spread4(unsigned bits) {
    return (bits & 1) | (bits & 2) << 1 | (bits & 4) << 2 | (bits & 8) << 3;
}

template <class L, class Unit>
bool all_ascii16(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return L::none(L::bit_and(L::load(in), L::splat8(0x80)));
    } else if constexpr (sizeof(Unit) == 2) {
        return L::none(L::bit_and(L::bit_or(L::load(in), L::load(in + 8)), L::splat16(0xFF80)));
    } else {
        const auto both = L::bit_or(L::bit_or(L::load(in), L::load(in + 4)),
                                    L::bit_or(L::load(in + 8), L::load(in + 12)));
        return L::none(L::bit_and(both, L::splat32(0xFFFFFF80)));
    }
}

// The low bytes of 16 units, exact for ASCII.
template <class L, class Unit>
typename L::V narrow_units16(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return L::load(in);
    } else if constexpr (sizeof(Unit) == 2) {
        return L::narrow16(L::load(in), L::load(in + 8));
    } else {
        return L::narrow16(L::narrow32(L::load(in), L::load(in + 4)),
                           L::narrow32(L::load(in + 8), L::load(in + 12)));
    }
}

// Whether the eight units at `in` are all below U+0800.
template <class L, class Unit>
bool below_three_bytes8(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return true;
    } else if constexpr (sizeof(Unit) == 2) {
        return L::none(L::bit_and(L::load(in), L::splat16(0xF800)));
    } else {
        return L::none(L::bit_and(L::bit_or(L::load(in), L::load(in + 4)), L::splat32(0xFFFFF800)));
    }
}

// Eight units in 16-bit lanes; exact when they are below U+0800.
template <class L, class Unit>
typename L::V units16(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return L::widen8_lo(L::load(in));
    } else if constexpr (sizeof(Unit) == 2) {
        return L::load(in);
    } else {
        return L::narrow32(L::load(in), L::load(in + 4));
    }
}

// Four units in 32-bit lanes.
template <class L, class Unit>
typename L::V units32(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return L::widen16_lo(L::widen8_lo(L::load(in)));
    } else if constexpr (sizeof(Unit) == 2) {
        return L::widen16_lo(L::load(in));
    } else {
        return L::load(in);
    }
}

// Eight code points below U+0800 in 16-bit lanes.
template <class L>
unsigned char* encode_pairs(typename L::V c, unsigned char* out) noexcept {
    const auto ascii = L::eq16(L::bit_and(c, L::splat16(0xFF80)), L::zero());
    const auto lead = L::bit_or(L::template shr16<6>(c), L::splat16(0xC0));
    const auto trail = L::bit_or(L::bit_and(c, L::splat16(0x3F)), L::splat16(0x80));
    const auto forms = L::select(ascii, c, L::bit_or(lead, L::template shl16<8>(trail)));
    const unsigned mask = L::mask16(ascii);
    L::store(out, L::shuffle(forms, L::load(kPairShuffles[mask].data())));
    return out + 16 - std::popcount(mask);
}

// Four code points, none a surrogate, in 32-bit lanes.
template <class L, class Unit>
unsigned char* encode_quad(typename L::V c, unsigned char* out) noexcept {
    const auto six_bits = [](typename L::V v) {
        return L::bit_or(L::bit_and(v, L::splat32(0x3F)), L::splat32(0x80));
    };
    const auto t0 = six_bits(c);
    const auto t1 = six_bits(L::template shr32<6>(c));
    const auto two =
        L::bit_or(L::bit_or(L::template shr32<6>(c), L::splat32(0xC0)), L::template shl32<8>(t0));
    const auto three = L::bit_or(L::bit_or(L::template shr32<12>(c), L::splat32(0xE0)),
                                 L::bit_or(L::template shl32<8>(t1), L::template shl32<16>(t0)));
    const auto m1 = L::gt32(c, L::splat32(0x7F));
    const auto m2 = L::gt32(c, L::splat32(0x7FF));
    auto forms = L::select(m2, three, L::select(m1, two, c));
    unsigned lengths = spread4(L::mask32(m1)) + spread4(L::mask32(m2));
    if constexpr (sizeof(Unit) == 4) {
        const auto t2 = six_bits(L::template shr32<12>(c));
        const auto four =
            L::bit_or(L::bit_or(L::bit_or(L::template shr32<18>(c), L::splat32(0xF0)),
                                L::template shl32<8>(t2)),
                      L::bit_or(L::template shl32<16>(t1), L::template shl32<24>(t0)));
        const auto m3 = L::gt32(c, L::splat32(0xFFFF));
        forms = L::select(m3, four, forms);
        lengths += spread4(L::mask32(m3));
    }
    L::store(out, L::shuffle(forms, L::load(kQuadShuffles[lengths].data())));
    return out + 4 + std::popcount(lengths & 0x55) + 2 * std::popcount(lengths & 0xAA);
}

template <class L, class Unit>
bool has_surrogate4(typename L::V c) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return false;
    } else {
        return L::mask32(L::eq32(L::bit_and(c, L::splat32(0xFFFFF800)), L::splat32(0xD800))) != 0;
    }
}

template <class L, class Unit>
unsigned char* encode_units_with(const Unit* in, size_t count, unsigned char* out,
                                 size_t& bad) noexcept {
    size_t i = 0;
    while (count - i >= 16) {
        if (all_ascii16<L>(in + i)) {
            L::store(out, narrow_units16<L>(in + i));
            i += 16;
            out += 16;
        } else if constexpr (!L::kShuffle) {
            out = encode_units_scalar(in, i, i + 16, out, bad);
            if (!out) return nullptr;
            i += 16;
        } else if (below_three_bytes8<L>(in + i)) {
            out = encode_pairs<L>(units16<L>(in + i), out);
            i += 8;
        } else {
            const auto c = units32<L>(in + i);
            if (has_surrogate4<L, Unit>(c)) {
                out = encode_units_scalar(in, i, i + 4, out, bad);
                if (!out) return nullptr;
            } else {
                out = encode_quad<L, Unit>(c, out);
            }
            i += 4;
        }
    }
    return encode_units_scalar(in, i, count, out, bad);
}

template <class L, class Unit>
size_t utf8_size_with(const Unit* in, size_t count) noexcept {
    size_t extra = 0;
    size_t i = 0;
    if constexpr (sizeof(Unit) == 1) {
        for (; count - i >= 16; i += 16) {
            extra += static_cast<size_t>(std::popcount(L::mask8(L::load(in + i))));
        }
    } else if constexpr (sizeof(Unit) == 2) {
        for (; count - i >= 8; i += 8) {
            const auto c = L::load(in + i);
            const unsigned below_80 =
                L::mask16(L::eq16(L::bit_and(c, L::splat16(0xFF80)), L::zero()));
            const unsigned below_800 =
                L::mask16(L::eq16(L::bit_and(c, L::splat16(0xF800)), L::zero()));
            extra += 16 - static_cast<size_t>(std::popcount(below_80) + std::popcount(below_800));
        }
    } else {
        for (; count - i >= 4; i += 4) {
            const auto c = L::load(in + i);
            extra += static_cast<size_t>(std::popcount(L::mask32(L::gt32(c, L::splat32(0x7F)))) +
                                         std::popcount(L::mask32(L::gt32(c, L::splat32(0x7FF)))) +
                                         std::popcount(L::mask32(L::gt32(c, L::splat32(0xFFFF)))));
        }
    }
    return count + extra + extra_bytes_scalar(in, i, count);
}

template <class L>
size_t utf8_size_with(const void* units, size_t count, unsigned unit_size) noexcept {
    return with_unit_type(units, unit_size,
                          [count](const auto* in) { return utf8_size_with<L>(in, count); });
}

template <class L>
char* encode_with(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept {
    return with_unit_type(units, unit_size, [&](const auto* in) {
        return reinterpret_cast<char*>(
            encode_units_with<L>(in, count, reinterpret_cast<unsigned char*>(out), *surrogate_at));
    });
}

}  // namespace
}  // namespace plovane
