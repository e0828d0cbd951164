// Stand-alone differential check of the kernels on 64-bit ARM: the NEON
// classifier, byte-marking, escape scan and UTF-8 encoder kernels, the
// inlined baseline byte search, and classify_structural's choice, against
// the scalar ones. Built by the ARM cross compiler and run under user-mode emulation
// on other processors, so it needs nothing but the core's simd sources.
#include <cstdio>
#include <cstring>

#include "kernel_inputs.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"
#include "text_kernel_inputs.h"

namespace {

using namespace plovane;

bool same(const StructuralBitmaps& a, const StructuralBitmaps& b) {
    return a.lt_bits == b.lt_bits && a.gt_bits == b.gt_bits && a.len == b.len &&
           a.ends_in_quote == b.ends_in_quote;
}

}  // namespace

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
    const auto check = [&](bool ok, const char* what, const char* kernel, const std::string& on) {
        if (ok) {
            ++passed;
        } else if (++failed <= 10) {
            std::printf("FAIL: %s %s on %s\n", what, kernel, on.c_str());
        }
    };
    for (const auto& in : testing::kernel_inputs()) {
        const char* data = in.bytes.data();
        const uint64_t len = in.bytes.size();
        const StructuralBitmaps reference = classify_with(classify_scalar, data, len);
        for (const KernelInfo& k : kernels) {
            check(same(classify_with(k.run, data, len), reference), "kernel", k.name, in.name);
            check(testing::marks_agree(k.mark, in.bytes), "marks of kernel", k.name, in.name);
        }
        check(same(classify_structural(data, len), reference), "classify_structural", "", in.name);
    }
    for (const testing::Failures& f :
         {testing::check_search_kernels(kernels), testing::check_encode_kernels(kernels)}) {
        passed += static_cast<int>(f.checked - f.failed);
        failed += static_cast<int>(f.failed);
        for (const std::string& what : f.first) std::printf("FAIL: %s\n", what.c_str());
    }
    std::printf("kernels:");
    for (const KernelInfo& k : kernels) std::printf(" %s", k.name);
    std::printf("\n%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
