// 16-byte lanes on x86-64 for the kernels that work on code units rather
// than 64-byte blocks (the UTF-8 encoder). The byte shuffle needs SSSE3, so
// only kernels built for AVX2 or wider turn it on; the SSE2 kernel leaves it
// off and takes the one-unit-at-a-time path wherever it would be needed.
// Internal linkage, for the reason given in quote_state.h.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace plovane {
namespace {

template <bool kWithShuffle>
struct X86Lanes {
    using V = __m128i;
    static constexpr bool kShuffle = kWithShuffle;

    static V load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static V zero() { return _mm_setzero_si128(); }
    static V splat8(uint8_t x) { return _mm_set1_epi8(static_cast<char>(x)); }
    static V splat16(uint16_t x) { return _mm_set1_epi16(static_cast<short>(x)); }
    static V splat32(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }

    static V bit_and(V a, V b) { return _mm_and_si128(a, b); }
    static V bit_or(V a, V b) { return _mm_or_si128(a, b); }
    // `a` where the lanes of `m` are all ones, `b` where they are zero.
    static V select(V m, V a, V b) {
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }
    template <int n>
    static V shl16(V v) {
        return _mm_slli_epi16(v, n);
    }
    template <int n>
    static V shr16(V v) {
        return _mm_srli_epi16(v, n);
    }
    template <int n>
    static V shl32(V v) {
        return _mm_slli_epi32(v, n);
    }
    template <int n>
    static V shr32(V v) {
        return _mm_srli_epi32(v, n);
    }
    static V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    // Sums of all lanes; 16-bit lanes below 0x8000.
    static uint64_t sum16(V v) { return sum32(_mm_madd_epi16(v, _mm_set1_epi16(1))); }
    static uint64_t sum32(V v) {
        alignas(16) uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
        return uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
    }
    static V eq16(V a, V b) { return _mm_cmpeq_epi16(a, b); }
    static V eq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
    // Signed; every value compared is a code point, below 2^31.
    static V gt32(V a, V b) { return _mm_cmpgt_epi32(a, b); }

    // Zero-extension of the low or high half to lanes twice as wide.
    static V widen8_lo(V v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
    static V widen8_hi(V v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
    static V widen16_lo(V v) { return _mm_unpacklo_epi16(v, _mm_setzero_si128()); }
    static V widen16_hi(V v) { return _mm_unpackhi_epi16(v, _mm_setzero_si128()); }
    // The low (high) halves of a and b, their 16-bit lanes interleaved.
    static V zip16_lo(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V zip16_hi(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    // Narrowing of two vectors to one with lanes half as wide; exact for
    // values below 0x80 (bytes) and 0x8000 (16-bit lanes).
    static V narrow16(V a, V b) { return _mm_packus_epi16(a, b); }
    static V narrow32(V a, V b) { return _mm_packs_epi32(a, b); }

    // Whether every bit of `v` is clear.
    static bool none(V v) {
        return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
    }
    // One bit per byte, lane or 32-bit lane: its top bit.
    static unsigned mask8(V v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
    // For lanes that are all ones or all zero.
    static unsigned mask16(V v) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(v, _mm_setzero_si128())));
    }
    // mask16 of a in the low eight bits, of b in the high eight.
    static unsigned mask16x2(V a, V b) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    }
    static unsigned mask32(V v) {
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(v)));
    }

    // Byte i of the result is byte idx[i] of v, or zero where idx[i] has its
    // top bit set.
    static V shuffle(V v, V idx) requires kWithShuffle { return _mm_shuffle_epi8(v, idx); }
};

}  // namespace
}  // namespace plovane
