// classify_structural and the one place where a kernel is chosen.
#include "simd/classify.h"

#include "simd/classify_kernels.h"

namespace plovane {

std::vector<KernelInfo> supported_kernels() {
    std::vector<KernelInfo> kernels{{"scalar", classify_scalar}};
    return kernels;
}

const KernelInfo& selected_kernel() {
    // The last supported kernel is the widest; the choice never changes.
    static const KernelInfo chosen = supported_kernels().back();
    return chosen;
}

StructuralBitmaps classify_with(ClassifyKernel kernel, const char* input, uint64_t len) {
    StructuralBitmaps bitmaps;
    const uint64_t blocks = (len + 63) / 64;
    bitmaps.lt_bits.assign(blocks, 0);
    bitmaps.gt_bits.assign(blocks, 0);
    bitmaps.len = len;
    bitmaps.ends_in_quote = kernel(input, len, bitmaps.lt_bits.data(), bitmaps.gt_bits.data());
    return bitmaps;
}

StructuralBitmaps classify_structural(const char* input, uint64_t len) {
    return classify_with(selected_kernel().run, input, len);
}

}  // namespace plovane
