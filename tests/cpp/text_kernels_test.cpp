// The byte search and escape scan kernels of every instruction set this
// processor has, and the reader's inlined search, against their byte-by-byte
// definitions (text_kernel_inputs.h); and the scalar UTF-8 encoder, the
// definition its vector kernels are checked against (utf8_encode_test.cpp),
// against an independent encoding of each code point.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simd/classify_kernels.h"
#include "text_kernel_inputs.h"
#include "utf8_reference.h"

namespace plovane {
namespace {

std::string report(const testing::Failures& f) {
    std::string out = std::to_string(f.failed) + " of " + std::to_string(f.checked) + " failed:";
    for (const std::string& s : f.first) out += "\n  " + s;
    return out;
}

TEST(TextKernels, SearchesAgreeWithTheByteByByteDefinition) {
    const testing::Failures f = testing::check_search_kernels(supported_kernels());
    EXPECT_GT(f.checked, 0u);
    EXPECT_EQ(f.failed, 0u) << report(f);
}

template <class Unit>
void check_scalar_against_reference() {
    for (const auto& units : testing::encode_inputs<Unit>(23)) {
        std::string expected;
        size_t expected_bad = SIZE_MAX;
        for (size_t i = 0; i < units.size(); ++i) {
            if (units[i] >= 0xD800 && units[i] <= 0xDFFF) {
                expected_bad = i;
                break;
            }
            expected += testing::utf8_of(units[i]);
        }
        const size_t size = utf8_size_scalar(units.data(), units.size(), sizeof(Unit));
        std::string out(size, '\0');
        size_t bad = SIZE_MAX;
        char* end = encode_scalar(units.data(), units.size(), sizeof(Unit), out.data(), &bad);
        if (expected_bad != SIZE_MAX) {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(bad, expected_bad);
        } else {
            ASSERT_NE(end, nullptr);
            EXPECT_EQ(out, expected);
        }
    }
}

TEST(TextKernels, ScalarEncoderMatchesAnIndependentEncoding) {
    check_scalar_against_reference<uint8_t>();
    check_scalar_against_reference<uint16_t>();
    check_scalar_against_reference<uint32_t>();
}

}  // namespace
}  // namespace plovane
