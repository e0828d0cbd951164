// The classifier, byte-marking, byte search, escape scan and UTF-8 encoder
// kernels of every instruction set this processor has, and the reader's
// inlined search, against the scalar ones (kernel_inputs.h,
// text_kernel_inputs.h); the scalar encoder, their reference, and
// encode_utf8 against an independent encoding of each code point. What the
// classifier's bitmaps mean is checked through the index built from them
// (index_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "simd/classify_kernels.h"
#include "storage/utf8_encode.h"
#include "text_kernel_inputs.h"
#include "utf8_reference.h"

namespace plovane {
namespace {

TEST(Classify, KernelsOnThisProcessor) {
    const auto kernels = supported_kernels();
    EXPECT_STREQ(kernels.front().name, "scalar");
    EXPECT_STREQ(selected_kernel().name, kernels.back().name);
#if defined(__x86_64__)
    // Each vector kernel is offered (so run by the tests, and the widest one
    // chosen) exactly when the processor and the operating system support it,
    // as the compiler's own detection tells.
    const auto offered = [&](const char* name) {
        return std::any_of(kernels.begin(), kernels.end(),
                           [&](const KernelInfo& k) { return std::string(k.name) == name; });
    };
    const bool extras = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("bmi") &&
                        __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    EXPECT_EQ(offered("avx2"), extras && __builtin_cpu_supports("avx2"));
    EXPECT_EQ(offered("avx512"),
              extras && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"));
#endif
}

void expect_no_failures(const testing::Failures& f) {
    EXPECT_GT(f.checked, 0u);
    std::string report;
    for (const std::string& s : f.first) report += "\n  " + s;
    EXPECT_EQ(f.failed, 0u) << f.failed << " of " << f.checked << " failed:" << report;
}

TEST(Classify, EveryKernelMatchesTheScalarOne) {
    expect_no_failures(testing::check_classify_kernels(supported_kernels()));
}

// Every kernel, the scalar one included, stops at the given length: bytes
// after it ('<', '>' and quotes here, at every length across two blocks)
// change nothing.
TEST(Classify, NothingPastTheEndIsRead) {
    std::string markup;
    while (markup.size() < 200) markup += "<a b=\"c\" d='e'>f</a>";
    for (const KernelInfo& k : supported_kernels()) {
        for (size_t len = 0; len < 160; ++len) {
            const std::string alone = markup.substr(0, len);
            const StructuralBitmaps cut = classify_with(k.run, markup.data(), len);
            const StructuralBitmaps whole = classify_with(k.run, alone.data(), len);
            ASSERT_TRUE(cut.lt_bits == whole.lt_bits && cut.gt_bits == whole.gt_bits &&
                        cut.ends_in_quote == whole.ends_in_quote)
                << k.name << " at length " << len;
        }
    }
}

TEST(TextKernels, SearchesAgreeWithTheByteByByteSearch) {
    expect_no_failures(testing::check_search_kernels(supported_kernels()));
}

TEST(TextKernels, EncodersAgreeWithTheScalarOne) {
    expect_no_failures(testing::check_encode_kernels(supported_kernels()));
}

// The encoding of `units`, or "<surrogate at N>".
template <class Unit>
std::string encoded(const std::vector<Unit>& units) {
    EncodedText text = encode_utf8(units.data(), units.size(), sizeof(Unit));
    if (!text.data) return "<surrogate at " + std::to_string(text.surrogate_at) + ">";
    std::string out(text.data, text.size);
    std::free(text.data);
    return out;
}

template <class Unit>
void check_against_reference() {
    for (const auto& units : testing::encode_inputs<Unit>(23)) {
        std::string expected;
        for (size_t i = 0; i < units.size(); ++i) {
            if (units[i] >= 0xD800 && units[i] <= 0xDFFF) {
                expected = "<surrogate at " + std::to_string(i) + ">";
                break;
            }
            expected += testing::utf8_of(units[i]);
        }
        ASSERT_EQ(encoded(units), expected);
        const size_t size = utf8_size_scalar(units.data(), units.size(), sizeof(Unit));
        std::string out(size, '\0');
        size_t bad = 0;
        char* end = encode_scalar(units.data(), units.size(), sizeof(Unit), out.data(), &bad);
        ASSERT_EQ(end ? out : "<surrogate at " + std::to_string(bad) + ">", expected);
    }
}

TEST(Utf8Encode, MatchesAnIndependentEncoding) {
    check_against_reference<uint8_t>();
    check_against_reference<uint16_t>();
    check_against_reference<uint32_t>();
}

// Long texts are encoded in steps; the counters are summed several times
// over these lengths.
TEST(Utf8Encode, LongTextsOfEveryWidthComeOutWhole) {
    for (size_t count : {65535u, 65536u, 65537u, 200003u}) {
        const std::string bmp = encoded(std::vector<uint16_t>(count, 0xFFFF));
        EXPECT_EQ(bmp.size(), 3 * count);
        EXPECT_EQ(bmp.substr(bmp.size() - 3), "\xEF\xBF\xBF");
        EXPECT_EQ(encoded(std::vector<uint16_t>(count, 0x7FF)).size(), 2 * count);
        EXPECT_EQ(encoded(std::vector<uint16_t>(count, 'x')).size(), count);
        EXPECT_EQ(encoded(std::vector<uint8_t>(count, 0xFF)).size(), 2 * count);
        EXPECT_EQ(encoded(std::vector<uint32_t>(count, 0x10FFFF)).size(), 4 * count);
    }
    // The buffer is sized from the text's start: narrower than the rest
    // (it grows), or wider (its end is given back); a surrogate far in is
    // reported at its index in the whole text.
    for (const bool wide_first : {false, true}) {
        std::vector<uint16_t> units(300000, 'a');
        std::fill(units.begin() + (wide_first ? 0 : 100000),
                  units.begin() + (wide_first ? 100000 : 300000), uint16_t{0x20AC});
        const std::string text = encoded(units);
        EXPECT_EQ(text.size(), wide_first ? 500000u : 700000u);
        EXPECT_EQ(text.substr(wide_first ? 0 : text.size() - 3, 3), "\xE2\x82\xAC");
        units[250001] = 0xDC00;
        EXPECT_EQ(encoded(units), "<surrogate at 250001>");
    }
}

}  // namespace
}  // namespace plovane
