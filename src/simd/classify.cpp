// classify_structural and the one place where a kernel is chosen.
#include "simd/classify.h"

#include "platform/cpu_features.h"
#include "platform/page_hints.h"
#include "simd/classify_kernels.h"

namespace plovane {

// Ordered from narrowest to widest; a kernel is listed only when the
// processor and the operating system support every instruction its file
// was built with.
std::vector<KernelInfo> supported_kernels() {
    std::vector<KernelInfo> kernels{{{"scalar", classify_scalar, mark_scalar, text_escape_scalar,
                                      attribute_escape_scalar, utf8_size_scalar, encode_scalar}}};
    const CpuFeatures& cpu = cpu_features();
#if defined(PLOVANE_X86_64)
    kernels.push_back({"sse2", classify_sse2, mark_sse2, text_escape_sse2, attribute_escape_sse2,
                       utf8_size_sse2, encode_sse2});
    const bool scalar_extras = cpu.pclmul && cpu.bmi2 && cpu.popcnt;
    if (scalar_extras && cpu.avx2)
        kernels.push_back({"avx2", classify_avx2, mark_avx2, text_escape_avx2,
                           attribute_escape_avx2, utf8_size_avx2, encode_avx2});
    if (scalar_extras && cpu.avx512bw)
        kernels.push_back({"avx512", classify_avx512, mark_avx512, text_escape_avx512,
                           attribute_escape_avx512, utf8_size_avx512, encode_avx512});
#elif defined(PLOVANE_ARM64)
    if (cpu.neon_pmull)
        kernels.push_back({"neon", classify_neon, mark_neon, text_escape_neon,
                           attribute_escape_neon, utf8_size_neon, encode_neon});
#else
    (void)cpu;
#endif
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
    reserve_fresh(bitmaps.lt_bits, blocks);
    reserve_fresh(bitmaps.gt_bits, blocks);
    bitmaps.lt_bits.resize(blocks);
    bitmaps.gt_bits.resize(blocks);
    bitmaps.len = len;
    bitmaps.ends_in_quote = kernel(input, len, bitmaps.lt_bits.data(), bitmaps.gt_bits.data());
    return bitmaps;
}

StructuralBitmaps classify_structural(const char* input, uint64_t len) {
    return classify_with(selected_kernel().run, input, len);
}

}  // namespace plovane
