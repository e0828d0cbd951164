// Stand-alone differential check of the kernels on 64-bit ARM: the NEON
// classifier, byte-marking, escape scan and UTF-8 encoder kernels, the
// inlined baseline byte search, and classify_structural's choice, against
// the scalar ones. Built by the ARM cross compiler and run under user-mode emulation
// on other processors, so it needs nothing but the core's simd sources.
#include <cstdio>
#include <cstring>

#include "simd/classify_kernels.h"
#include "text_kernel_inputs.h"

using namespace plovane;

int main() {
    int passed = 0;
    int failed = 0;
    const auto kernels = supported_kernels();
    bool has_neon = false;
    for (const KernelInfo& k : kernels) has_neon |= std::strcmp(k.name, "neon") == 0;
    if (!has_neon || std::strcmp(selected_kernel().name, "neon") != 0) {
        std::printf("FAIL: the NEON kernel is not available or not selected\n");
        ++failed;
    }
    for (const testing::Failures& f :
         {testing::check_classify_kernels(kernels), testing::check_search_kernels(kernels),
          testing::check_encode_kernels(kernels)}) {
        passed += static_cast<int>(f.checked - f.failed);
        failed += static_cast<int>(f.failed);
        for (const std::string& what : f.first) std::printf("FAIL: %s\n", what.c_str());
    }
    std::printf("kernels:");
    for (const KernelInfo& k : kernels) std::printf(" %s", k.name);
    std::printf("\n%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
