// The classifier and byte-marking kernels: the byte-by-byte meaning on
// hand-made cases, and every kernel this processor can run against the
// scalar one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel_inputs.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"

namespace plovane {
namespace {

using Offsets = std::vector<uint64_t>;

// Offsets of the set bits.
Offsets positions(const std::vector<uint64_t>& words) {
    Offsets out;
    for (uint64_t i = 0; i < 64 * words.size(); ++i) {
        if (words[i / 64] >> (i % 64) & 1) out.push_back(i);
    }
    return out;
}

// 0..n-1 without a..b.
Offsets except(uint64_t n, uint64_t a, uint64_t b) {
    Offsets out;
    for (uint64_t i = 0; i < n; ++i) {
        if (i < a || i > b) out.push_back(i);
    }
    return out;
}

std::string with(std::string s, std::initializer_list<std::pair<size_t, char>> bytes) {
    for (const auto& [at, c] : bytes) s[at] = c;
    return s;
}

TEST(Classify, KernelsOnThisProcessor) {
    const auto kernels = supported_kernels();
    EXPECT_STREQ(kernels.front().name, "scalar");
    EXPECT_STREQ(selected_kernel().name, kernels.back().name);
#if defined(__x86_64__)
    // Each vector kernel is run by the tests whenever the processor has it.
    bool has_avx2 = false;
    for (const KernelInfo& k : kernels) has_avx2 |= std::string(k.name) == "avx2";
    EXPECT_EQ(has_avx2, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul"));
#endif
}

TEST(Classify, QuotedRegionsMaskMarkup) {
    const struct {
        std::string in;
        Offsets lt, gt;
        bool ends_in_quote;
    } cases[] = {
        {"", {}, {}, false},
        {with(std::string(63, 'x'), {{0, '>'}, {62, '<'}}), {62}, {0}, false},
        {with(std::string(64, 'x'), {{0, '>'}, {63, '<'}}), {63}, {0}, false},
        {with(std::string(65, 'x'), {{0, '>'}, {64, '<'}}), {64}, {0}, false},
        {R"(<a b="x>y">)", {0}, {10}, false},
        {R"(<a b='x"y'>)", {0}, {10}, false},
        // Across a block boundary, and closed at bit 63 from an earlier block.
        {with(std::string(100, '<'), {{60, '"'}, {70, '"'}}), except(100, 60, 70), {}, false},
        {with(std::string(192, '>'), {{10, '\''}, {127, '\''}}), {}, except(192, 10, 127), false},
        // An apostrophe in character data masks markup up to the next one.
        {"<p>don't</p><b>'<i>", {0, 16}, {2, 18}, false},
        {R"(<a b=")" + std::string(300, '>'), {0}, {}, true},
    };
    for (const auto& c : cases) {
        for (const KernelInfo& kernel : supported_kernels()) {
            const StructuralBitmaps b = classify_with(kernel.run, c.in.data(), c.in.size());
            EXPECT_EQ(positions(b.lt_bits), c.lt) << kernel.name << " " << c.in;
            EXPECT_EQ(positions(b.gt_bits), c.gt) << kernel.name << " " << c.in;
            EXPECT_EQ(b.ends_in_quote, c.ends_in_quote) << kernel.name << " " << c.in;
            EXPECT_EQ(b.len, c.in.size());
            EXPECT_EQ(b.lt_bits.size(), (c.in.size() + 63) / 64);
        }
    }
}

TEST(Classify, EveryKernelMatchesTheScalarOne) {
    const auto inputs = testing::kernel_inputs();
    for (const KernelInfo& kernel : supported_kernels()) {
        int mismatches = 0;
        for (const auto& in : inputs) {
            const auto ref = classify_with(classify_scalar, in.bytes.data(), in.bytes.size());
            const auto got = classify_with(kernel.run, in.bytes.data(), in.bytes.size());
            const bool same = got.lt_bits == ref.lt_bits && got.gt_bits == ref.gt_bits &&
                              got.ends_in_quote == ref.ends_in_quote;
            const bool marks = testing::marks_agree(kernel.mark, in.bytes);
            if ((!same || !marks) && ++mismatches <= 5)
                ADD_FAILURE() << kernel.name << (same ? " marks" : " bitmaps") << " differ on "
                              << in.name;
        }
        EXPECT_EQ(mismatches, 0) << kernel.name << " of " << inputs.size() << " inputs";
    }
}

}  // namespace
}  // namespace plovane
