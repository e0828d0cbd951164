// The classifier: the byte-by-byte meaning on hand-made cases, for every
// kernel this processor can run, and every kernel against the scalar one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel_inputs.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"

namespace plovane {
namespace {

// Offsets of the set bits.
std::vector<uint64_t> positions(const std::vector<uint64_t>& words) {
    std::vector<uint64_t> out;
    for (uint64_t k = 0; k < words.size(); ++k) {
        for (unsigned i = 0; i < 64; ++i) {
            if (words[k] >> i & 1) out.push_back(64 * k + i);
        }
    }
    return out;
}

struct Classified {
    std::vector<uint64_t> lt;
    std::vector<uint64_t> gt;
    bool ends_in_quote;
};

// Runs every supported kernel; all must agree, and the agreed result is
// returned.
Classified classify_all(const std::string& input) {
    const auto kernels = supported_kernels();
    const StructuralBitmaps reference = classify_with(classify_scalar, input.data(), input.size());
    for (const KernelInfo& kernel : kernels) {
        const StructuralBitmaps b = classify_with(kernel.run, input.data(), input.size());
        EXPECT_EQ(b.lt_bits, reference.lt_bits) << kernel.name;
        EXPECT_EQ(b.gt_bits, reference.gt_bits) << kernel.name;
        EXPECT_EQ(b.ends_in_quote, reference.ends_in_quote) << kernel.name;
        EXPECT_EQ(b.len, input.size());
        EXPECT_EQ(b.lt_bits.size(), (input.size() + 63) / 64);
    }
    return {positions(reference.lt_bits), positions(reference.gt_bits), reference.ends_in_quote};
}

using Offsets = std::vector<uint64_t>;

TEST(Classify, KernelsOnThisProcessor) {
    const auto kernels = supported_kernels();
    ASSERT_GE(kernels.size(), 1u);
    EXPECT_STREQ(kernels.front().name, "scalar");
    EXPECT_STREQ(selected_kernel().name, kernels.back().name);
#if defined(__x86_64__)
    EXPECT_STREQ(kernels[1].name, "sse2");
    // Each vector kernel is run by the tests whenever the processor has it.
    bool has_avx2 = false;
    for (const KernelInfo& k : kernels) has_avx2 |= std::string(k.name) == "avx2";
    EXPECT_EQ(has_avx2, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul"));
#endif
}

TEST(Classify, BlockSizesAndEmptyInput) {
    const StructuralBitmaps empty = classify_structural("", 0);
    EXPECT_TRUE(empty.lt_bits.empty());
    EXPECT_TRUE(empty.gt_bits.empty());
    EXPECT_EQ(empty.len, 0u);
    for (size_t len : {63, 64, 65}) {
        std::string s(len, 'x');
        s.back() = '<';
        s[0] = '>';
        const Classified c = classify_all(s);
        EXPECT_EQ(c.lt, Offsets{len - 1});
        EXPECT_EQ(c.gt, Offsets{0});
    }
}

TEST(Classify, QuotedRegions) {
    EXPECT_EQ(classify_all(R"(<a b="x>y">)").gt, Offsets{10});
    const Classified mixed = classify_all(R"(<a b='x"y'>)");
    EXPECT_EQ(mixed.lt, Offsets{0});
    EXPECT_EQ(mixed.gt, Offsets{10});
    EXPECT_FALSE(mixed.ends_in_quote);

    // A region from 60 to 70 crosses the block boundary.
    std::string s(100, '<');
    s[60] = '"';
    s[70] = '"';
    Offsets expected;
    for (uint64_t i = 0; i < 100; ++i) {
        if (i < 60 || i > 70) expected.push_back(i);
    }
    EXPECT_EQ(classify_all(s).lt, expected);

    // An apostrophe in character data masks markup up to the next one.
    const Classified text = classify_all("<p>don't</p><b>'<i>");
    EXPECT_EQ(text.lt, (Offsets{0, 16}));
    EXPECT_EQ(text.gt, (Offsets{2, 18}));
    EXPECT_FALSE(text.ends_in_quote);

    // An unterminated double quote masks everything after it.
    const Classified open = classify_all(std::string(R"(<a b=")") + std::string(300, '>'));
    EXPECT_EQ(open.lt, Offsets{0});
    EXPECT_TRUE(open.gt.empty());
    EXPECT_TRUE(open.ends_in_quote);
}

TEST(Classify, QuoteAtBit63ClosesARegionFromAnEarlierBlock) {
    std::string s(192, '>');
    s[10] = '\'';
    s[127] = '\'';
    Offsets expected;
    for (uint64_t i = 0; i < 192; ++i) {
        if (i < 10 || i > 127) expected.push_back(i);
    }
    const Classified c = classify_all(s);
    EXPECT_EQ(c.gt, expected);
    EXPECT_FALSE(c.ends_in_quote);
}

// The scalar marks are the reference: one bit per byte, at its offset.
TEST(MarkBytes, ScalarMarksEachSearchedByteAtItsOffset) {
    std::string s(150, 'x');
    s[0] = '<';
    s[63] = '>';
    s[64] = '"';
    s[100] = '\'';
    s[149] = '"';
    s[130] = '<';
    std::vector<ByteMarks> m(3);
    mark_scalar(s.data(), s.size(), 0, 3, m.data());
    EXPECT_EQ(m[0].lt, uint64_t{1});
    EXPECT_EQ(m[0].gt, uint64_t{1} << 63);
    EXPECT_EQ(m[1].dq, uint64_t{1});
    EXPECT_EQ(m[1].sq, uint64_t{1} << 36);
    EXPECT_EQ(m[2].lt, uint64_t{1} << 2);
    EXPECT_EQ(m[2].dq, uint64_t{1} << 21);
    EXPECT_EQ(m[0].dq | m[0].sq | m[1].lt | m[1].gt | m[2].gt | m[2].sq, 0u);
    // A window of the last block alone reads nothing before or past it.
    ByteMarks last;
    mark_scalar(s.data(), s.size(), 2, 3, &last);
    EXPECT_EQ(last.lt, m[2].lt);
}

TEST(MarkBytes, EveryKernelMatchesTheScalarOne) {
    const auto inputs = testing::kernel_inputs();
    for (const KernelInfo& kernel : supported_kernels()) {
        int mismatches = 0;
        for (const auto& in : inputs) {
            if (!testing::marks_agree(kernel.mark, in.bytes) && ++mismatches <= 5) {
                ADD_FAILURE() << kernel.name << " marks differ on " << in.name;
            }
        }
        EXPECT_EQ(mismatches, 0) << kernel.name;
    }
}

TEST(Classify, EveryKernelMatchesTheScalarOne) {
    const auto kernels = supported_kernels();
    const auto inputs = testing::kernel_inputs();
    for (const KernelInfo& kernel : kernels) {
        int mismatches = 0;
        for (const auto& in : inputs) {
            const auto ref = classify_with(classify_scalar, in.bytes.data(), in.bytes.size());
            const auto got = classify_with(kernel.run, in.bytes.data(), in.bytes.size());
            if (got.lt_bits != ref.lt_bits || got.gt_bits != ref.gt_bits ||
                got.ends_in_quote != ref.ends_in_quote) {
                if (++mismatches <= 5) ADD_FAILURE() << kernel.name << " differs on " << in.name;
            }
        }
        EXPECT_EQ(mismatches, 0) << kernel.name << " of " << inputs.size() << " inputs";
    }
}

}  // namespace
}  // namespace plovane
