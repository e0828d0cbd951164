// classify_structural and the one place where a kernel is chosen.
#include "simd/classify.h"

#include "simd/classify_kernels.h"
#include "simd/huge_pages.h"

#if defined(__aarch64__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

namespace plovane {

// Ordered from narrowest to widest; a kernel is listed only when the
// processor and the operating system support every instruction its file
// was built with.
std::vector<KernelInfo> supported_kernels() {
    std::vector<KernelInfo> kernels{{"scalar", classify_scalar, mark_scalar}};
#if defined(__x86_64__)
    kernels.push_back({"sse2", classify_sse2, mark_sse2});
    __builtin_cpu_init();
    const bool scalar_extras = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("bmi") &&
                               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    if (scalar_extras && __builtin_cpu_supports("avx2")) {
        kernels.push_back({"avx2", classify_avx2, mark_avx2});
    }
    if (scalar_extras && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
        kernels.push_back({"avx512", classify_avx512, mark_avx512});
    }
#elif defined(__aarch64__) && defined(__linux__)
    if (getauxval(AT_HWCAP) & HWCAP_PMULL) kernels.push_back({"neon", classify_neon, mark_neon});
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
