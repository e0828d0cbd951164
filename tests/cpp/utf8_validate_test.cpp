// UTF-8 validation, in both the ASCII fast path and the per-sequence path:
// each sequence is placed at every offset of a 40-byte ASCII run, so that it
// falls before, across and after each 16-byte step, and cut short at the end.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "storage/utf8_validate.h"

namespace plovane {
namespace {

bool valid(const std::string& s) {
    return is_valid_utf8(s.data(), s.size());
}

TEST(Utf8Validate, SequencesAtEveryOffset) {
    const std::string good[] = {"",
                                "plain",
                                "\xC2\x80",
                                "\xDF\xBF",
                                "\xE0\xA0\x80",
                                "\xED\x9F\xBF",
                                "\xEE\x80\x80",
                                "\xEF\xBF\xBF",
                                "\xF0\x90\x80\x80",
                                "\xF4\x8F\xBF\xBF",
                                std::string(100, '\0'),
                                "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"};
    // Lone continuations, overlong forms, surrogates U+D800 and U+DFFF, above
    // U+10FFFF, invalid bytes, truncated sequences, bad continuations.
    const std::string bad[] = {
        "\x80",         "\xBF",         "\xC0\x80",         "\xC1\xBF",
        "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
        "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
        "\xFF",         "\xC3",         "\xE2\x82",         "\xF0\x9F\x98",
        "\xC3\x28",     "\xE2\x28\xAC", "\xE2\x82\x28",     "\xF0\x9F\x98\x28"};
    for (bool expected : {true, false}) {
        for (const std::string& s :
             expected ? std::span<const std::string>(good) : std::span<const std::string>(bad)) {
            EXPECT_EQ(valid(s), expected) << s;
            for (size_t pad = 0; pad < 40; ++pad) {
                const std::string padded = std::string(pad, 'a') + s + std::string(40 - pad, 'b');
                EXPECT_EQ(valid(padded), expected) << s;
            }
        }
    }
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string s = std::string(pad, 'x') + "\xE2\x82\xAC";
        EXPECT_TRUE(valid(s));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 1));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 2));
    }
}

}  // namespace
}  // namespace plovane
