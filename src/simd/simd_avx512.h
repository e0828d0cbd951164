// SIMD layer for AVX-512BW: one 64-byte vector per block, and byte compares
// that produce the 64-bit mask directly.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/target.h"

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

    // One vector for searches of a few bytes; compares give masks directly.
    using Vector = __m512i;
    using Hits = uint64_t;
    static constexpr unsigned kVectorBytes = 64;
    static constexpr unsigned kMaskBitsPerByte = 1;
    // May load past the end of the object, never past its page
    // (find_first_of.h); kept out of the address sanitizer's view, which
    // also lets it be inlined into the search that does so.
    PLOVANE_NO_ADDRESS_CHECK static Vector load_vector(const char* p) {
        return _mm512_loadu_si512(p);
    }
    static Hits match(Vector v, char c) { return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)); }
    static Hits either(Hits a, Hits b) { return a | b; }
    static uint64_t hit_mask(Hits h) { return h; }

    // The code-unit kernels work in 16-byte lanes, as the shuffles that
    // pack UTF-8 forms need; only runs of ASCII go 64 units at a time.
    struct Lanes : X86Lanes<true> {
        static constexpr size_t kWideUnits = 64;

        // Stores the 64 units at `in` narrowed to bytes, exact for ASCII,
        // and returns how many of them lead as ASCII. What follows those in
        // the store is overwritten by the encoding of the rest, which takes
        // at least a byte per unit.
        template <class Unit>
        static size_t narrow_ascii_wide(const Unit* in, unsigned char* out) {
            const auto* p = reinterpret_cast<const char*>(in);
            const auto load = [p](size_t k) { return _mm512_loadu_si512(p + 64 * k); };
            uint64_t others;
            if constexpr (sizeof(Unit) == 1) {
                const __m512i v = load(0);
                others = _mm512_movepi8_mask(v);
                _mm512_storeu_si512(out, v);
            } else if constexpr (sizeof(Unit) == 2) {
                const __m512i a = load(0), b = load(1), high = _mm512_set1_epi16(-128);
                others = uint64_t{_mm512_test_epi16_mask(a, high)} |
                         uint64_t{_mm512_test_epi16_mask(b, high)} << 32;
                // The pack interleaves the 8-byte quarters of a and b. (The
                // zero-masked permutes are the unmasked ones, spelt so that
                // GCC 12 sees no undefined operand.)
                const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
                _mm512_storeu_si512(
                    out, _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(a, b)));
            } else {
                const __m512i a = load(0), b = load(1), c = load(2), d = load(3);
                const __m512i high = _mm512_set1_epi32(-128);
                others = uint64_t{_mm512_test_epi32_mask(a, high)} |
                         uint64_t{_mm512_test_epi32_mask(b, high)} << 16 |
                         uint64_t{_mm512_test_epi32_mask(c, high)} << 32 |
                         uint64_t{_mm512_test_epi32_mask(d, high)} << 48;
                // Each 16-byte quarter of the packs holds four units of a, b, c and d in turn.
                const __m512i packed =
                    _mm512_packus_epi16(_mm512_packs_epi32(a, b), _mm512_packs_epi32(c, d));
                const __m512i order =
                    _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
                _mm512_storeu_si512(out, _mm512_maskz_permutexvar_epi32(0xFFFF, order, packed));
            }
            return static_cast<size_t>(std::countr_zero(others));
        }
    };
};

}  // namespace
}  // namespace plovane
