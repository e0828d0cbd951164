// SIMD layer for AVX2 with PCLMULQDQ: two 32-byte vectors per block; the
// prefix XOR is one carry-less multiply by the all-ones word.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/target.h"

#include "simd/lanes_x86.h"

namespace plovane {
namespace {

inline uint64_t clmul_prefix_xor(uint64_t x) {
    const __m128i product =
        _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    return static_cast<uint64_t>(_mm_cvtsi128_si64(product));
}

struct Avx2 {
    struct Block {
        __m256i lo, hi;
    };

    static Block load(const char* p) {
        const auto* q = reinterpret_cast<const __m256i*>(p);
        return {_mm256_loadu_si256(q), _mm256_loadu_si256(q + 1)};
    }

    static uint64_t eq(const Block& b, char c) {
        const __m256i splat = _mm256_set1_epi8(c);
        const auto lo = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b.lo, splat)));
        const auto hi = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b.hi, splat)));
        return uint64_t{lo} | uint64_t{hi} << 32;
    }

    static uint64_t prefix_xor(uint64_t x) { return clmul_prefix_xor(x); }

    // One vector for searches of a few bytes, as in simd_sse2.h.
    using Vector = __m256i;
    using Hits = __m256i;
    static constexpr unsigned kVectorBytes = 32;
    static constexpr unsigned kMaskBitsPerByte = 1;
    // May load past the end of the object, never past its page
    // (find_first_of.h); kept out of the address sanitizer's view, which
    // also lets it be inlined into the search that does so.
    PLOVANE_NO_ADDRESS_CHECK static Vector load_vector(const char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static Hits match(Vector v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
    static Hits either(Hits a, Hits b) { return _mm256_or_si256(a, b); }
    static uint64_t hit_mask(Hits h) { return static_cast<uint32_t>(_mm256_movemask_epi8(h)); }

    // The code-unit kernels work in 16-byte lanes, as the shuffles that
    // pack UTF-8 forms need; only runs of ASCII go 32 units at a time.
    struct Lanes : X86Lanes<true> {
        static constexpr size_t kWideUnits = 32;

        // Stores the 32 units at `in` narrowed to bytes, exact for ASCII,
        // and returns how many of them lead as ASCII. What follows those in
        // the store is overwritten by the encoding of the rest, which takes
        // at least a byte per unit.
        template <class Unit>
        static size_t narrow_ascii_wide(const Unit* in, unsigned char* out) {
            const auto* p = reinterpret_cast<const __m256i*>(in);
            const auto load = [p](size_t k) { return _mm256_loadu_si256(p + k); };
            auto* q = reinterpret_cast<__m256i*>(out);
            if constexpr (sizeof(Unit) == 1) {
                const __m256i v = load(0);
                _mm256_storeu_si256(q, v);
                return static_cast<size_t>(std::countr_zero(
                    uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(v))} | uint64_t{1} << 32));
            } else if constexpr (sizeof(Unit) == 2) {
                const __m256i a = load(0), b = load(1);
                // Two bits per unit, set for ASCII.
                const auto ascii = [](__m256i v) {
                    return uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(
                        _mm256_and_si256(v, _mm256_set1_epi16(-128)), _mm256_setzero_si256())))};
                };
                // The pack interleaves the 8-byte halves of a and b.
                _mm256_storeu_si256(q, _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
                return static_cast<size_t>(std::countr_one(ascii(a) | ascii(b) << 32)) / 2;
            } else {
                const __m256i v[] = {load(0), load(1), load(2), load(3)};
                uint64_t ascii = 0;
                for (unsigned k = 0; k < 4; ++k) {
                    const __m256i is_ascii = _mm256_cmpeq_epi32(
                        _mm256_and_si256(v[k], _mm256_set1_epi32(-128)), _mm256_setzero_si256());
                    ascii |= uint64_t{static_cast<uint32_t>(
                                 _mm256_movemask_ps(_mm256_castsi256_ps(is_ascii)))}
                             << (8 * k);
                }
                // Each 16-byte half of the packs holds four units of v[0] to v[3] in turn.
                const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]),
                                                           _mm256_packs_epi32(v[2], v[3]));
                _mm256_storeu_si256(q, _mm256_permutevar8x32_epi32(
                                           packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
                return static_cast<size_t>(std::countr_one(ascii));
            }
        }
    };
};

}  // namespace
}  // namespace plovane
