// The reference kernel: bytes one at a time, also the fallback on
// processors without a vector kernel.
#include "simd/classify_kernels.h"
#include "simd/mark_blocks.h"
#include "simd/quote_state.h"

namespace plovane {

bool classify_scalar(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    QuoteState state;
    classify_bytes(input, 0, len, state, lt_bits, gt_bits);
    return state.inside();
}

void mark_scalar(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out) {
    for (uint64_t k = first; k < end; ++k) {
        out[k - first] = {};
        mark_bytes(input, 64 * k, std::min(64 * k + 64, len), out[k - first]);
    }
}

}  // namespace plovane
