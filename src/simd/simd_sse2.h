// SIMD layer for the x86-64 baseline: four 16-byte vectors per block. SSE2
// has no carry-less multiply, so the prefix XOR is a shift cascade.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "platform/target.h"

#include "simd/bit_ops.h"
#include "simd/lanes_x86.h"

namespace plovane {
namespace {

struct Sse2 {
    struct Block {
        __m128i v[4];
    };

    static Block load(const char* p) {
        const auto* q = reinterpret_cast<const __m128i*>(p);
        return {{_mm_loadu_si128(q), _mm_loadu_si128(q + 1), _mm_loadu_si128(q + 2),
                 _mm_loadu_si128(q + 3)}};
    }

    static uint64_t eq(const Block& b, char c) {
        const __m128i splat = _mm_set1_epi8(c);
        uint64_t mask = 0;
        for (int i = 0; i < 4; ++i) {
            const auto lanes =
                static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b.v[i], splat)));
            mask |= uint64_t{lanes} << (16 * i);
        }
        return mask;
    }

    static uint64_t prefix_xor(uint64_t x) { return prefix_xor_by_shifts(x); }

    // One vector for searches of a few bytes: a compare per byte sought,
    // OR-ed, then a mask of one bit per byte.
    using Vector = __m128i;
    using Hits = __m128i;
    static constexpr unsigned kVectorBytes = 16;
    static constexpr unsigned kMaskBitsPerByte = 1;
    // May load past the end of the object, never past its page
    // (find_first_of.h); kept out of the address sanitizer's view, which
    // also lets it be inlined into the search that does so.
    PLOVANE_NO_ADDRESS_CHECK static Vector load_vector(const char* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static Hits match(Vector v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
    static Hits either(Hits a, Hits b) { return _mm_or_si128(a, b); }
    static uint64_t hit_mask(Hits h) { return static_cast<uint32_t>(_mm_movemask_epi8(h)); }

    // Code-unit kernels: without SSSE3 there is no byte shuffle.
    using Lanes = X86Lanes<false>;
};

}  // namespace
}  // namespace plovane
