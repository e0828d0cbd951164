// The UTF-8 encoder for fixed-width code units, one body over the 16-byte
// lanes of the vector layer (lanes_x86.h, lanes_neon.h). Internal linkage,
// for the reason given in quote_state.h.
//
// Sixteen units at a time are checked for ASCII and narrowed whole; after an
// ASCII block, lanes that have wider vectors (AVX2, AVX-512) go on through
// the run L::kWideUnits units at a time. Other blocks take one of two paths
// that cover real text:
//  - eight units all below U+0800 (every Latin-1 text; Greek, Cyrillic,
//    Hebrew, Arabic and the accented Latin scripts, with their ASCII spaces
//    and punctuation): each unit becomes the pair of bytes of its two-byte
//    form in a 16-bit lane, or its one byte, and a shuffle chosen by the
//    mask of ASCII lanes packs the bytes together; from the third such
//    eight in a row on, 64 units at a time are packed so (encode_pair_chunks);
//  - otherwise four units: each becomes its one- to four-byte form in a
//    32-bit lane and a shuffle chosen by the four lengths packs them.
// A group with a surrogate is encoded one unit at a time, which finds it.
// Every store writes 16 bytes (a wide one kWideUnits) while at least that
// many units remain, each of which takes at least one byte, so the stores
// stay inside the output, and the bytes a store writes past what it keeps
// are written again by the encoding of the units that follow.
#pragma once

#include <algorithm>
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

// One bit per unit of the 16 at `in`, set for a unit that is not ASCII.
template <class L, class Unit>
unsigned non_ascii16(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return L::mask8(L::load(in));
    } else if constexpr (sizeof(Unit) == 2) {
        const auto ascii = [in](size_t k) {
            return L::eq16(L::bit_and(L::load(in + k), L::splat16(0xFF80)), L::zero());
        };
        return ~L::mask16x2(ascii(0), ascii(8)) & 0xFFFF;
    } else {
        const auto ascii = [in](size_t k) {
            return L::mask32(
                L::eq32(L::bit_and(L::load(in + k), L::splat32(0xFFFFFF80)), L::zero()));
        };
        return ~(ascii(0) | ascii(4) << 4 | ascii(8) << 8 | ascii(12) << 12) & 0xFFFF;
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

// Whether the eight 16-bit units at `in` all take three bytes (none below
// U+0800, none a surrogate): CJK text and the like.
template <class L>
bool all_three_bytes8(const uint16_t* in) noexcept {
    const auto top = L::bit_and(L::load(in), L::splat16(0xF800));
    return L::mask16(L::bit_or(L::eq16(top, L::zero()), L::eq16(top, L::splat16(0xD800)))) == 0;
}

// Eight such units: the first two bytes of each form in one 16-bit lane, the
// third in another, interleaved into 32-bit lanes and packed four by four.
template <class L>
unsigned char* encode_triples(typename L::V c, unsigned char* out) noexcept {
    const auto lead = L::bit_or(L::template shr16<12>(c), L::splat16(0xE0));
    const auto middle =
        L::bit_or(L::bit_and(L::template shr16<6>(c), L::splat16(0x3F)), L::splat16(0x80));
    const auto last = L::bit_or(L::bit_and(c, L::splat16(0x3F)), L::splat16(0x80));
    const auto first_two = L::bit_or(lead, L::template shl16<8>(middle));
    const auto pack = L::load(kQuadShuffles[0xAA].data());
    L::store(out, L::shuffle(L::zip16_lo(first_two, last), pack));
    L::store(out + 12, L::shuffle(L::zip16_hi(first_two, last), pack));
    return out + 24;
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

// Whether the lanes copy runs of ASCII wider than 16 units (kWideUnits at
// a time, with narrow_ascii_wide, which also finds where a run ends).
template <class L>
constexpr bool kWideAscii = requires {
    L::kWideUnits;
};

// The bits of the 64 units at `in`, or-ed together into one vector.
template <class L, class Unit>
typename L::V or64(const Unit* in) noexcept {
    constexpr size_t kLanes = 16 / sizeof(Unit);
    auto all = L::load(in);
    for (size_t k = kLanes; k < 64; k += kLanes) all = L::bit_or(all, L::load(in + k));
    return all;
}

// Text written in a script below U+0800 (Cyrillic, Greek, Hebrew, Arabic;
// the letters of Latin-1 in a one-byte str): nearly every eight units hold
// one of its letters, and the block loop's branches cost more than packing
// every unit as a pair. Here 64 units at a time are packed so, without a
// branch on their content; a chunk all ASCII is narrowed instead, and two of
// those in a row, or a unit from U+0800 on, hand the text back to the block
// loop. Every pair store has at least 16 units after its own start.
template <class L, class Unit>
unsigned char* encode_pair_chunks(const Unit* in, size_t count, size_t& i,
                                  unsigned char* out) noexcept {
    constexpr size_t kChunk = 64;
    const auto ascii_only = L::splat16(sizeof(Unit) == 1 ? 0x8080 : 0xFF80);
    unsigned ascii_chunks = 0;
    while (count - i >= kChunk + 8) {
        const auto bits = or64<L>(in + i);
        if constexpr (sizeof(Unit) == 2) {
            if (!L::none(L::bit_and(bits, L::splat16(0xF800)))) break;
        }
        if (L::none(L::bit_and(bits, ascii_only))) {
            for (size_t k = 0; k < kChunk; k += 16)
                L::store(out + k, narrow_units16<L>(in + i + k));
            i += kChunk;
            out += kChunk;
            if (++ascii_chunks == 2) break;
            continue;
        }
        ascii_chunks = 0;
        for (size_t k = 0; k < kChunk; k += 8) out = encode_pairs<L>(units16<L>(in + i + k), out);
        i += kChunk;
    }
    return out;
}

template <class L, class Unit>
unsigned char* encode_units_with(const Unit* in, size_t count, unsigned char* out,
                                 size_t& bad) noexcept {
    size_t i = 0;
    size_t pairs_end = 0, pairs_in_row = 0;  // see the pairs' branch
    while (count - i >= 16) {
        // The block is narrowed whole and kept up to its first other unit.
        // An all-ASCII block is a branch of its own: were the step chosen
        // by a conditional move, each block's load would wait for the
        // previous block's mask.
        const unsigned others = non_ascii16<L>(in + i);
        if (others == 0) {
            L::store(out, narrow_units16<L>(in + i));
            i += 16;
            out += 16;
            // Long runs of ASCII (most text, all markup) go on at the
            // widest vectors where the lanes have them.
            if constexpr (kWideAscii<L>) {
                while (count - i >= L::kWideUnits) {
                    const size_t ascii = L::narrow_ascii_wide(in + i, out);
                    i += ascii;
                    out += ascii;
                    if (ascii < L::kWideUnits) break;
                }
            }
        } else if constexpr (!L::kShuffle) {
            // Up to the first other unit as ASCII, then up to the next ASCII
            // unit one unit at a time.
            if (!(others & 1)) {
                L::store(out, narrow_units16<L>(in + i));
                const auto ascii = static_cast<size_t>(std::countr_zero(others));
                i += ascii;
                out += ascii;
            } else {
                const auto run = static_cast<size_t>(std::countr_one(others));
                out = encode_units_scalar(in, i, i + run, out, bad);
                if (!out) return nullptr;
                i += run;
            }
        } else if (sizeof(Unit) < 4 && below_three_bytes8<L>(in + i)) {
            // ASCII units in the eight are packed too.
            out = encode_pairs<L>(units16<L>(in + i), out);
            // The third such eight in a row: text in a script that
            // encode_pair_chunks takes faster. Accented letters and lone
            // words of such a script among ASCII stay here: there the
            // chunks would pack too much ASCII as pairs.
            pairs_in_row = i == pairs_end ? pairs_in_row + 1 : 1;
            i += 8;
            pairs_end = i;
            if constexpr (sizeof(Unit) < 4) {
                if (pairs_in_row >= 3) out = encode_pair_chunks<L>(in, count, i, out);
            }
        } else if (!(others & 1)) {
            // Four-byte units mostly hold ASCII text with emoji: the ASCII
            // is skipped first there.
            L::store(out, narrow_units16<L>(in + i));
            const auto ascii = static_cast<size_t>(std::countr_zero(others));
            i += ascii;
            out += ascii;
        } else if (sizeof(Unit) == 4 && below_three_bytes8<L>(in + i)) {
            out = encode_pairs<L>(units16<L>(in + i), out);
            i += 8;
        } else if (sizeof(Unit) == 2 &&
                   all_three_bytes8<L>(reinterpret_cast<const uint16_t*>(in + i))) {
            // A run of such blocks goes on without the other checks. Room:
            // these eight take 24 bytes and the eight after them at least 8.
            do {
                out = encode_triples<L>(L::load(in + i), out);
                i += 8;
            } while (count - i >= 16 &&
                     all_three_bytes8<L>(reinterpret_cast<const uint16_t*>(in + i)));
        } else if (!(others & 0xE)) {
            // A character alone among ASCII (a symbol, an emoji in a sentence).
            out = encode_units_scalar(in, i, i + 1, out, bad);
            if (!out) return nullptr;
            i += 1;
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

// The bytes beyond one per unit that units [0, i) take, `i` advanced as far
// as whole vectors go. Compare results (all ones: minus one) are subtracted
// from per-lane counters, which are summed before they can wrap.
template <class L, class Unit>
size_t extra_bytes_with(const Unit* in, size_t count, size_t& i) noexcept {
    constexpr size_t kLanes = 16 / sizeof(Unit);
    constexpr size_t kRound = 8192 * kLanes;
    size_t extra = 0;
    while (count - i >= kLanes) {
        const size_t end = i + std::min(kRound, (count - i) / kLanes * kLanes);
        if constexpr (sizeof(Unit) == 1) {
            for (; i < end; i += kLanes) {
                extra += static_cast<size_t>(std::popcount(L::mask8(L::load(in + i))));
            }
        } else if constexpr (sizeof(Unit) == 2) {
            // Counts the units below 0x80 and those below 0x800, at most
            // 2 * 8192 per lane; every unit is worth two extra bytes less those.
            auto below = L::zero();
            const size_t units = end - i;
            for (; i < end; i += kLanes) {
                const auto c = L::load(in + i);
                below = L::sub16(below, L::eq16(L::bit_and(c, L::splat16(0xFF80)), L::zero()));
                below = L::sub16(below, L::eq16(L::bit_and(c, L::splat16(0xF800)), L::zero()));
            }
            extra += 2 * units - L::sum16(below);
        } else {
            auto above = L::zero();
            for (; i < end; i += kLanes) {
                const auto c = L::load(in + i);
                above = L::sub32(above, L::gt32(c, L::splat32(0x7F)));
                above = L::sub32(above, L::gt32(c, L::splat32(0x7FF)));
                above = L::sub32(above, L::gt32(c, L::splat32(0xFFFF)));
            }
            extra += L::sum32(above);
        }
    }
    return extra;
}

template <class L, class Unit>
size_t utf8_size_with(const Unit* in, size_t count) noexcept {
    size_t i = 0;
    const size_t extra = extra_bytes_with<L>(in, count, i);
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
