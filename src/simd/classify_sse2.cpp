// The x86-64 baseline classifier kernel: SSE2 is always present there.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/classify_blocks.h"
#include "simd/classify_kernels.h"
#include "simd/mark_blocks.h"
#include "simd/simd_sse2.h"

namespace plovane {

bool classify_sse2(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    return classify_blocks<Sse2>(input, len, lt_bits, gt_bits);
}

void mark_sse2(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out) {
    mark_blocks<Sse2>(input, len, first, end, out);
}

}  // namespace plovane

#endif
