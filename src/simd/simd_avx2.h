// SIMD layer for AVX2 with PCLMULQDQ: two 32-byte vectors per block; the
// prefix XOR is one carry-less multiply by the all-ones word.
#pragma once

#include <immintrin.h>

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

    using Lanes = X86Lanes<true>;
};

}  // namespace
}  // namespace plovane
