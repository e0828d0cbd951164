// 16-byte lanes on 64-bit ARM for the kernels that work on code units rather
// than 64-byte blocks (the UTF-8 encoder); the same operations as
// lanes_x86.h. Internal linkage, for the reason given in quote_state.h.
#pragma once

#include <arm_neon.h>

#include <cstdint>

namespace plovane {
namespace {

struct NeonLanes {
    using V = uint8x16_t;
    static constexpr bool kShuffle = true;

    static uint16x8_t u16(V v) { return vreinterpretq_u16_u8(v); }
    static uint32x4_t u32(V v) { return vreinterpretq_u32_u8(v); }
    static V bytes(uint16x8_t v) { return vreinterpretq_u8_u16(v); }
    static V bytes(uint32x4_t v) { return vreinterpretq_u8_u32(v); }

    static V load(const void* p) { return vld1q_u8(static_cast<const uint8_t*>(p)); }
    static void store(void* p, V v) { vst1q_u8(static_cast<uint8_t*>(p), v); }
    static V zero() { return vdupq_n_u8(0); }
    static V splat8(uint8_t x) { return vdupq_n_u8(x); }
    static V splat16(uint16_t x) { return bytes(vdupq_n_u16(x)); }
    static V splat32(uint32_t x) { return bytes(vdupq_n_u32(x)); }

    static V bit_and(V a, V b) { return vandq_u8(a, b); }
    static V bit_or(V a, V b) { return vorrq_u8(a, b); }
    static V select(V m, V a, V b) { return vbslq_u8(m, a, b); }
    template <int n>
    static V shl16(V v) {
        return bytes(vshlq_n_u16(u16(v), n));
    }
    template <int n>
    static V shr16(V v) {
        return bytes(vshrq_n_u16(u16(v), n));
    }
    template <int n>
    static V shl32(V v) {
        return bytes(vshlq_n_u32(u32(v), n));
    }
    template <int n>
    static V shr32(V v) {
        return bytes(vshrq_n_u32(u32(v), n));
    }
    static V sub16(V a, V b) { return bytes(vsubq_u16(u16(a), u16(b))); }
    static V sub32(V a, V b) { return bytes(vsubq_u32(u32(a), u32(b))); }
    static uint64_t sum16(V v) { return vaddlvq_u16(u16(v)); }
    static uint64_t sum32(V v) { return vaddlvq_u32(u32(v)); }
    static V eq16(V a, V b) { return bytes(vceqq_u16(u16(a), u16(b))); }
    static V eq32(V a, V b) { return bytes(vceqq_u32(u32(a), u32(b))); }
    static V gt32(V a, V b) { return bytes(vcgtq_u32(u32(a), u32(b))); }

    static V widen8_lo(V v) { return bytes(vmovl_u8(vget_low_u8(v))); }
    static V widen8_hi(V v) { return bytes(vmovl_high_u8(v)); }
    static V widen16_lo(V v) { return bytes(vmovl_u16(vget_low_u16(u16(v)))); }
    static V widen16_hi(V v) { return bytes(vmovl_high_u16(u16(v))); }
    static V zip16_lo(V a, V b) { return bytes(vzip1q_u16(u16(a), u16(b))); }
    static V zip16_hi(V a, V b) { return bytes(vzip2q_u16(u16(a), u16(b))); }
    static V narrow16(V a, V b) { return vuzp1q_u8(a, b); }
    static V narrow32(V a, V b) { return bytes(vuzp1q_u16(u16(a), u16(b))); }

    static bool none(V v) { return vmaxvq_u8(v) == 0; }
    // NEON has no mask extraction: the lanes are weighted by their bit and
    // summed across the vector.
    static unsigned mask8(V v) {
        static constexpr uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
        const uint8x16_t weighted = vandq_u8(vcltzq_s8(vreinterpretq_s8_u8(v)), vld1q_u8(kWeights));
        return vaddv_u8(vget_low_u8(weighted)) | unsigned{vaddv_u8(vget_high_u8(weighted))} << 8;
    }
    static unsigned mask16(V v) {
        static constexpr uint16_t kWeights[8] = {1, 2, 4, 8, 16, 32, 64, 128};
        return vaddvq_u16(vandq_u16(u16(v), vld1q_u16(kWeights)));
    }
    static unsigned mask16x2(V a, V b) { return mask8(vuzp1q_u8(a, b)); }
    static unsigned mask32(V v) {
        static constexpr uint32_t kWeights[4] = {1, 2, 4, 8};
        return vaddvq_u32(vandq_u32(u32(v), vld1q_u32(kWeights)));
    }
    static V shuffle(V v, V idx) { return vqtbl1q_u8(v, idx); }
};

}  // namespace
}  // namespace plovane
