#include "storage/utf8_encode.h"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "simd/huge_pages.h"

namespace plovane {

namespace {

// Units are checked and narrowed this many at a time.
constexpr size_t kBlock = 16;

#if defined(__SSE2__)
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

// Encodes into `out`, which has room for the worst case; returns the end,
// or null with `bad` set to the index of a surrogate.
//
// Text is mostly ASCII with other characters alone or in runs: a block is
// narrowed whole and kept up to its first other unit, and from there units
// are encoded one by one up to the next ASCII unit. The block is written in
// full even when only its prefix is kept; the worst-case room of the 16 units
// still to come covers it.
template <class Unit>
unsigned char* encode(const Unit* in, size_t count, unsigned char* out, size_t& bad) noexcept {
    size_t i = 0;
    while (i < count) {
        if (count - i >= kBlock) {
            const unsigned others = non_ascii_units(in + i);
            narrow_block(in + i, out);
            const size_t ascii = others ? static_cast<size_t>(__builtin_ctz(others)) : kBlock;
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

}  // namespace

size_t max_utf8_size(size_t count, unsigned unit_size) noexcept {
    // One byte per character gives at most 2 bytes, two give at most 3
    // (4-byte forms need two-unit pairs, which are refused), four give 4.
    return count * (unit_size == 1 ? 2 : unit_size == 2 ? 3 : 4);
}

EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size) {
    // Only the pages actually written are ever touched; the rest of the
    // worst-case block is given back by the final realloc.
    const size_t room = max_utf8_size(count, unit_size);
    auto* buffer = static_cast<unsigned char*>(std::malloc(room ? room : 1));
    if (!buffer) throw std::bad_alloc();
    advise_huge_pages(buffer, room);
    size_t bad = 0;
    unsigned char* end = nullptr;
    switch (unit_size) {
        case 1:
            end = encode(static_cast<const uint8_t*>(units), count, buffer, bad);
            break;
        case 2:
            end = encode(static_cast<const uint16_t*>(units), count, buffer, bad);
            break;
        default:
            end = encode(static_cast<const uint32_t*>(units), count, buffer, bad);
            break;
    }
    if (!end) {
        std::free(buffer);
        return {nullptr, 0, bad};
    }
    const size_t size = static_cast<size_t>(end - buffer);
    void* fitted = std::realloc(buffer, size ? size : 1);
    return {static_cast<char*>(fitted ? fitted : buffer), size, 0};
}

}  // namespace plovane
