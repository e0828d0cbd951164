#include "storage/utf8_encode.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/target.h"

#if defined(PLOVANE_SSE2)
#include <emmintrin.h>
#endif

#include "platform/page_hints.h"

namespace plovane {

namespace {

// Units are checked and narrowed this many at a time.
constexpr size_t kBlock = 16;

#if defined(PLOVANE_SSE2)
template <class Unit>
__m128i load_units(const Unit* in, size_t k) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in) + k);
}

// One bit per unit of the block at `in`, set for a unit that is not ASCII.
template <class Unit>
unsigned non_ascii_units(const Unit* in) noexcept {
    if constexpr (sizeof(Unit) == 1) {
        return static_cast<unsigned>(_mm_movemask_epi8(load_units(in, 0)));
    } else {
        // Units with no bit above the low seven compare equal to zero and
        // become 0xFF bytes, in unit order.
        const __m128i zero = _mm_setzero_si128();
        const auto ascii = [&](size_t k) {
            if constexpr (sizeof(Unit) == 2) {
                return _mm_cmpeq_epi16(_mm_and_si128(load_units(in, k), _mm_set1_epi16(-0x80)),
                                       zero);
            } else {
                return _mm_cmpeq_epi32(_mm_and_si128(load_units(in, k), _mm_set1_epi32(-0x80)),
                                       zero);
            }
        };
        __m128i flags;
        if constexpr (sizeof(Unit) == 2) {
            flags = _mm_packs_epi16(ascii(0), ascii(1));
        } else {
            flags = _mm_packs_epi16(_mm_packs_epi32(ascii(0), ascii(1)),
                                    _mm_packs_epi32(ascii(2), ascii(3)));
        }
        return ~static_cast<unsigned>(_mm_movemask_epi8(flags)) & 0xFFFF;
    }
}

// Narrows the block at `in` to bytes; units that are not ASCII come out as
// anything, and are overwritten afterwards.
template <class Unit>
void narrow_block(const Unit* in, unsigned char* out) noexcept {
    __m128i bytes;
    if constexpr (sizeof(Unit) == 1) {
        bytes = load_units(in, 0);
    } else if constexpr (sizeof(Unit) == 2) {
        bytes = _mm_packus_epi16(load_units(in, 0), load_units(in, 1));
    } else {
        bytes = _mm_packus_epi16(_mm_packs_epi32(load_units(in, 0), load_units(in, 1)),
                                 _mm_packs_epi32(load_units(in, 2), load_units(in, 3)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}
#else
template <class Unit>
unsigned non_ascii_units(const Unit* in) noexcept {
    unsigned mask = 0;
    for (size_t i = 0; i < kBlock; ++i) mask |= unsigned{in[i] >= 0x80} << i;
    return mask;
}

template <class Unit>
void narrow_block(const Unit* in, unsigned char* out) noexcept {
    unsigned char bytes[kBlock];
    for (size_t i = 0; i < kBlock; ++i) bytes[i] = static_cast<unsigned char>(in[i]);
    std::memcpy(out, bytes, kBlock);
}
#endif

// Writes one code point and returns the end of its bytes; null for a
// surrogate. The pointer is passed by value so that it can stay in a
// register: bytes stored through a pointer held in memory could alias it.
unsigned char* put_code_point(uint32_t c, unsigned char* out) noexcept {
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

// Encodes into `out`, which has room for the whole encoding; returns the
// end, or null with `bad` set to the index of a surrogate.
//
// Text is mostly ASCII with other characters alone or in runs: a block is
// narrowed whole and kept up to its first other unit, and from there units
// are encoded one by one up to the next ASCII unit. The block is written in
// full even when only its prefix is kept: each of the 16 units still to come
// takes at least one byte, so the room is there.
template <class Unit>
unsigned char* encode(const Unit* in, size_t count, unsigned char* out, size_t& bad) noexcept {
    size_t i = 0;
    while (i < count) {
        if (count - i >= kBlock) {
            const unsigned others = non_ascii_units(in + i);
            narrow_block(in + i, out);
            const size_t ascii = others ? static_cast<size_t>(std::countr_zero(others)) : kBlock;
            i += ascii;
            out += ascii;
            if (ascii == kBlock) continue;
        } else if (in[i] < 0x80) {
            *out++ = static_cast<unsigned char>(in[i++]);
            continue;
        }
        do {
            out = put_code_point(in[i], out);
            if (!out) {
                bad = i;
                return nullptr;
            }
        } while (++i < count && in[i] >= 0x80);
    }
    return out;
}

// The exact size of the encoding (a surrogate counted as three bytes).
template <class Unit>
size_t utf8_size(const Unit* in, size_t count) noexcept {
    size_t size = count;
    size_t i = 0;
#if defined(PLOVANE_SSE2)
    if constexpr (sizeof(Unit) == 2) {
        // Per 16-bit lane, minus one for a unit below 0x80 and one more below
        // 0x800; the lanes are summed before they can wrap.
        const __m128i zero = _mm_setzero_si128();
        const __m128i ones = _mm_set1_epi16(1);
        constexpr size_t kRound = 8 * 8192;
        size = 3 * count;
        while (count - i >= 8) {
            __m128i below = zero;
            const size_t end = i + std::min(kRound, (count - i) / 8 * 8);
            for (; i < end; i += 8) {
                const __m128i units = load_units(in + i, 0);
                below = _mm_add_epi16(
                    below, _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(-0x80)), zero));
                below = _mm_add_epi16(
                    below, _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(-0x800)), zero));
            }
            // The lanes hold 0 down to -16384: as signed pairs they sum exactly.
            const __m128i pairs = _mm_madd_epi16(below, ones);
            alignas(16) int32_t sums[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(sums), pairs);
            size += static_cast<size_t>(int64_t{sums[0]} + sums[1] + sums[2] + sums[3]);
        }
        for (; i < count; ++i) size -= size_t{in[i] < 0x80} + size_t{in[i] < 0x800};
        return size;
    }
#endif
    for (; i < count; ++i) {
        const uint32_t c = in[i];
        size += size_t{c >= 0x80} + size_t{c >= 0x800} + size_t{c >= 0x10000};
    }
    return size;
}

template <class Unit>
EncodedText encode_units(const Unit* in, size_t count) {
    // Counted first and allocated once at its final size. A worst-case block
    // shrunk afterwards made every read ask for more than the last one gave
    // back, so the allocator took fresh pages from the system each time, and
    // they faulted in one by one; reading documents one after another now
    // reuses the memory of the ones before.
    const size_t size = utf8_size(in, count);
    auto* buffer = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (!buffer) throw std::bad_alloc();
    advise_huge_pages(buffer, size);
    size_t bad = 0;
    if (!encode(in, count, buffer, bad)) {
        std::free(buffer);
        return {nullptr, 0, bad};
    }
    return {reinterpret_cast<char*>(buffer), size, 0};
}

}  // namespace

EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size) {
    switch (unit_size) {
        case 1:
            return encode_units(static_cast<const uint8_t*>(units), count);
        case 2:
            return encode_units(static_cast<const uint16_t*>(units), count);
        default:
            return encode_units(static_cast<const uint32_t*>(units), count);
    }
}

}  // namespace plovane
