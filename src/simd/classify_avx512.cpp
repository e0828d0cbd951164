// The AVX-512BW + PCLMULQDQ classifier kernel; only this file is built with them.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/classify_blocks.h"
#include "simd/classify_kernels.h"
#include "simd/mark_blocks.h"
#include "simd/simd_avx512.h"

namespace plovane {

bool classify_avx512(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    return classify_blocks<Avx512>(input, len, lt_bits, gt_bits);
}

void mark_avx512(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out) {
    mark_blocks<Avx512>(input, len, first, end, out);
}

}  // namespace plovane

#endif
