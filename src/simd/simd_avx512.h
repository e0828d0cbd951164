// SIMD layer for AVX-512BW: one 64-byte vector per block, and byte compares
// that produce the 64-bit mask directly.
#pragma once

#include <immintrin.h>

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

    // The code-unit kernels gain nothing from 64-byte vectors without the
    // byte compress instructions, so they use 16-byte lanes here too.
    using Lanes = X86Lanes<true>;
};

}  // namespace
}  // namespace plovane
