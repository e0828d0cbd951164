// The NEON + PMULL classifier kernel for 64-bit ARM.
#include "platform/target.h"

#if defined(PLOVANE_ARM64)

#include "simd/classify_blocks.h"
#include "simd/classify_kernels.h"
#include "simd/mark_blocks.h"
#include "simd/simd_neon.h"

namespace plovane {

bool classify_neon(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    return classify_blocks<Neon>(input, len, lt_bits, gt_bits);
}

void mark_neon(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out) {
    mark_blocks<Neon>(input, len, first, end, out);
}

}  // namespace plovane

#endif
