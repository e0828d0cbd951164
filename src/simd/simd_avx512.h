// SIMD layer for AVX-512BW: one 64-byte vector per block, and byte compares
// that produce the 64-bit mask directly.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "simd/simd_avx2.h"

namespace plovane {
namespace {

struct Avx512 {
    using Block = __m512i;

    static Block load(const char* p) { return _mm512_loadu_si512(p); }

    static uint64_t eq(const Block& b, char c) {
        return _mm512_cmpeq_epi8_mask(b, _mm512_set1_epi8(c));
    }

    static uint64_t prefix_xor(uint64_t x) { return clmul_prefix_xor(x); }
};

}  // namespace
}  // namespace plovane
