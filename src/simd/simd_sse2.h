// SIMD layer for the x86-64 baseline: four 16-byte vectors per block. SSE2
// has no carry-less multiply, so the prefix XOR is a shift cascade.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "simd/bit_ops.h"

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
};

}  // namespace
}  // namespace plovane
