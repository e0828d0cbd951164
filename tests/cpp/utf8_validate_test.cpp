// UTF-8 validation, in both the ASCII fast path and the per-sequence path:
// each sequence is placed at every offset of a 40-byte ASCII run, so that it
// falls before, across and after each 16-byte step.
#include <gtest/gtest.h>

#include <string>

#include "storage/utf8_validate.h"

namespace plovane {
namespace {

bool valid(const std::string& s) {
    return is_valid_utf8(s.data(), s.size());
}

void expect_at_every_offset(const std::string& s, bool expected) {
    EXPECT_EQ(valid(s), expected) << s;
    for (size_t pad = 0; pad < 40; ++pad) {
        EXPECT_EQ(valid(std::string(pad, 'a') + s + std::string(40 - pad, 'b')), expected) << s;
    }
}

TEST(Utf8Validate, AcceptsWellFormedSequences) {
    for (const std::string s :
         {"", "plain", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
          "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
          "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"}) {
        expect_at_every_offset(s, true);
    }
    expect_at_every_offset(std::string(100, '\0'), true);
}

TEST(Utf8Validate, RejectsMalformedSequences) {
    for (const std::string s : {
             "\x80",
             "\xBF",  // lone continuations
             "\xC0\x80",
             "\xC1\xBF",  // overlong two-byte
             "\xE0\x80\x80",
             "\xE0\x9F\xBF",  // overlong three-byte
             "\xED\xA0\x80",
             "\xED\xBF\xBF",  // surrogates U+D800, U+DFFF
             "\xF0\x80\x80\x80",
             "\xF0\x8F\xBF\xBF",  // overlong four-byte
             "\xF4\x90\x80\x80",  // above U+10FFFF
             "\xF5\x80\x80\x80",
             "\xFF",  // invalid bytes
             "\xC3",
             "\xE2\x82",
             "\xF0\x9F\x98",  // truncated
             "\xC3\x28",
             "\xE2\x28\xAC",
             "\xE2\x82\x28",
             "\xF0\x9F\x98\x28",  // bad continuations
         }) {
        expect_at_every_offset(s, false);
    }
}

TEST(Utf8Validate, TruncationAtTheVeryEnd) {
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string s = std::string(pad, 'x') + "\xE2\x82\xAC";
        EXPECT_TRUE(valid(s));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 1));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 2));
    }
}

}  // namespace
}  // namespace plovane
