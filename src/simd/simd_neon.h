// SIMD layer for 64-bit ARM: four 16-byte vectors per block. NEON has no
// byte-mask extraction, so matching lanes are weighted by their bit and
// summed pairwise down to one byte per 8 lanes; the prefix XOR is a PMULL
// (cryptographic extension) by the all-ones word.
#pragma once

#include <arm_neon.h>

#include <cstdint>

#include "platform/target.h"

#include "simd/lanes_neon.h"

namespace plovane {
namespace {

struct Neon {
    struct Block {
        uint8x16_t v[4];
    };

    static Block load(const char* p) {
        const auto* q = reinterpret_cast<const uint8_t*>(p);
        return {{vld1q_u8(q), vld1q_u8(q + 16), vld1q_u8(q + 32), vld1q_u8(q + 48)}};
    }

    static uint64_t eq(const Block& b, char c) {
        static constexpr uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
        const uint8x16_t weights = vld1q_u8(kWeights);
        const uint8x16_t splat = vdupq_n_u8(static_cast<uint8_t>(c));
        uint8x16_t m[4];
        for (int i = 0; i < 4; ++i) m[i] = vandq_u8(vceqq_u8(b.v[i], splat), weights);
        // Each pairwise add halves the lanes per source vector: 16 -> 8 -> 4 -> 2
        // bytes, the last two being the mask bytes of that vector's halves.
        const uint8x16_t pairs = vpaddq_u8(vpaddq_u8(m[0], m[1]), vpaddq_u8(m[2], m[3]));
        const uint8x16_t bytes = vpaddq_u8(pairs, pairs);
        return vgetq_lane_u64(vreinterpretq_u64_u8(bytes), 0);
    }

    static uint64_t prefix_xor(uint64_t x) {
        return vgetq_lane_u64(vreinterpretq_u64_p128(vmull_p64(x, ~uint64_t{0})), 0);
    }

    // One vector for searches of a few bytes. The mask narrows each byte of
    // the compare to four bits (a shift right by four of every 16-bit lane,
    // keeping the low byte), which is cheaper than one bit per byte.
    using Vector = uint8x16_t;
    using Hits = uint8x16_t;
    static constexpr unsigned kVectorBytes = 16;
    static constexpr unsigned kMaskBitsPerByte = 4;
    // May load past the end of the object, never past its page
    // (find_first_of.h); kept out of the address sanitizer's view, which
    // also lets it be inlined into the search that does so.
    PLOVANE_NO_ADDRESS_CHECK static Vector load_vector(const char* p) {
        return vld1q_u8(reinterpret_cast<const uint8_t*>(p));
    }
    static Hits match(Vector v, char c) { return vceqq_u8(v, vdupq_n_u8(static_cast<uint8_t>(c))); }
    static Hits either(Hits a, Hits b) { return vorrq_u8(a, b); }
    static uint64_t hit_mask(Hits h) {
        return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(h), 4)), 0);
    }

    using Lanes = NeonLanes;
};

}  // namespace
}  // namespace plovane
