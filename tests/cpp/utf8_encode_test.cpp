// Encoding the fixed-width forms of a string into UTF-8.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "simd/classify_kernels.h"
#include "storage/utf8_encode.h"
#include "text_kernel_inputs.h"
#include "utf8_reference.h"

namespace plovane {
namespace {

// The encoding of `units`, or "<surrogate at N>".
template <class Unit>
std::string encoded(const std::vector<Unit>& units) {
    EncodedText text = encode_utf8(units.data(), units.size(), sizeof(Unit));
    if (!text.data) return "<surrogate at " + std::to_string(text.surrogate_at) + ">";
    std::string out(text.data, text.size);
    std::free(text.data);
    return out;
}

// `code_point` with `pad` ASCII letters before it and 20 after, so that it
// falls before, inside and after the 16-unit blocks the encoder checks.
template <class Unit>
std::vector<Unit> padded(size_t pad, uint32_t code_point) {
    std::vector<Unit> units(pad, 'a');
    units.push_back(static_cast<Unit>(code_point));
    units.insert(units.end(), 20, 'b');
    return units;
}

template <class Unit>
void check_every_width(uint32_t code_point, const std::string& utf8) {
    for (size_t pad = 0; pad < 40; ++pad) {
        EXPECT_EQ(encoded(padded<Unit>(pad, code_point)),
                  std::string(pad, 'a') + utf8 + std::string(20, 'b'))
            << "U+" << std::hex << code_point << " after " << std::dec << pad;
    }
}

TEST(Utf8Encode, EncodesEachFormAtEveryOffset) {
    check_every_width<uint8_t>(0x7F, "\x7F");
    check_every_width<uint8_t>(0xE9, "\xC3\xA9");
    check_every_width<uint8_t>(0xFF, "\xC3\xBF");
    check_every_width<uint16_t>(0x80, "\xC2\x80");
    check_every_width<uint16_t>(0x7FF, "\xDF\xBF");
    check_every_width<uint16_t>(0x800, "\xE0\xA0\x80");
    check_every_width<uint16_t>(0xD7FF, "\xED\x9F\xBF");
    check_every_width<uint16_t>(0xE000, "\xEE\x80\x80");
    check_every_width<uint16_t>(0xFFFF, "\xEF\xBF\xBF");
    check_every_width<uint32_t>(0x20AC, "\xE2\x82\xAC");
    check_every_width<uint32_t>(0x10000, "\xF0\x90\x80\x80");
    check_every_width<uint32_t>(0x1F600, "\xF0\x9F\x98\x80");
    check_every_width<uint32_t>(0x10FFFF, "\xF4\x8F\xBF\xBF");
}

// Runs of ASCII and of other characters, of random lengths, so that runs
// start and end at every place in and across the encoder's blocks.
template <class Unit>
void check_random_runs(uint32_t highest, unsigned seed) {
    std::mt19937 random(seed);
    for (int round = 0; round < 200; ++round) {
        std::vector<Unit> units;
        std::string expected;
        const size_t runs = random() % 12;
        for (size_t r = 0; r < runs; ++r) {
            const bool ascii = random() % 2 == 0;
            for (size_t n = random() % 40; n > 0; --n) {
                uint32_t c = ascii ? random() % 0x80 : 0x80 + random() % (highest - 0x7F);
                if (c >= 0xD800 && c <= 0xDFFF) c -= 0x800;  // not a surrogate
                units.push_back(static_cast<Unit>(c));
                expected += testing::utf8_of(c);
            }
        }
        ASSERT_EQ(encoded(units), expected) << "round " << round;
    }
}

TEST(Utf8Encode, RandomRunsMatchAOneByOneEncoding) {
    check_random_runs<uint8_t>(0xFF, 1);
    check_random_runs<uint16_t>(0x7FF, 2);
    check_random_runs<uint16_t>(0xFFFF, 3);
    check_random_runs<uint32_t>(0x10FFFF, 4);
}

TEST(Utf8Encode, EmptyAndPureAscii) {
    EXPECT_EQ(encoded(std::vector<uint16_t>{}), "");
    std::vector<uint32_t> letters;
    for (int i = 0; i < 100; ++i) letters.push_back(static_cast<uint32_t>('a' + i % 26));
    EXPECT_EQ(encoded(letters).size(), 100u);
    EXPECT_EQ(encoded(letters).substr(24, 4), "yzab");
}

TEST(Utf8Encode, SurrogatesAreRefusedWithTheirIndex) {
    for (uint32_t surrogate : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu}) {
        for (size_t pad : {0u, 15u, 16u, 33u}) {
            const std::string expected = "<surrogate at " + std::to_string(pad) + ">";
            EXPECT_EQ(encoded(padded<uint16_t>(pad, surrogate)), expected);
            EXPECT_EQ(encoded(padded<uint32_t>(pad, surrogate)), expected);
        }
    }
    // Inside a run of other characters.
    std::vector<uint16_t> run(30, 'a');
    run.insert(run.end(), {0xE9, 0x20AC, 0xDC00, 0xE9});
    EXPECT_EQ(encoded(run), "<surrogate at 32>");
}

// The output is sized by counting first, in rounds long enough that the
// counters are summed several times over these lengths.
TEST(Utf8Encode, LongTextsOfEveryWidthComeOutWhole) {
    for (size_t count : {50u, 65535u, 65536u, 65537u, 200003u}) {
        const std::string bmp = encoded(std::vector<uint16_t>(count, 0xFFFF));
        EXPECT_EQ(bmp.size(), 3 * count);
        EXPECT_EQ(bmp.substr(bmp.size() - 3), "\xEF\xBF\xBF");
        EXPECT_EQ(encoded(std::vector<uint16_t>(count, 0x7FF)).size(), 2 * count);
        EXPECT_EQ(encoded(std::vector<uint16_t>(count, 'x')).size(), count);
        EXPECT_EQ(encoded(std::vector<uint8_t>(count, 0xFF)).size(), 2 * count);
        EXPECT_EQ(encoded(std::vector<uint32_t>(count, 0x10FFFF)).size(), 4 * count);
    }
}

// Every kernel this processor runs against the scalar one: lengths 0..200 and
// random mixes of the four output lengths and surrogates, at every alignment,
// written into a buffer of exactly the counted size before an unmapped page.
TEST(Utf8Encode, EveryKernelAgreesWithTheScalarOne) {
    const testing::Failures f = testing::check_encode_kernels(supported_kernels());
    EXPECT_GT(f.checked, 0u);
    std::string report;
    for (const std::string& s : f.first) report += "\n  " + s;
    EXPECT_EQ(f.failed, 0u) << report;
}

}  // namespace
}  // namespace plovane
