// The reference kernel: the byte-by-byte definition, also the fallback on
// processors without a vector kernel.
#include "simd/classify_kernels.h"
#include "simd/quote_state.h"

namespace plovane {

bool classify_scalar(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    QuoteState state;
    classify_bytes(input, 0, len, state, lt_bits, gt_bits);
    return state.inside();
}

}  // namespace plovane
