// UTF-8 validation, in both the ASCII fast path and the per-sequence path.
#include <gtest/gtest.h>

#include <string>

#include "storage/utf8_validate.h"

namespace plovane {
namespace {

bool valid(const std::string& s) {
    return is_valid_utf8(s.data(), s.size());
}

// Runs `check` with `s` placed at every offset of a 40-byte ASCII run, so that
// the sequence falls before, across and after each 16-byte step.
template <class Check>
void at_every_offset(const std::string& s, Check check) {
    for (size_t pad = 0; pad < 40; ++pad) {
        check(std::string(pad, 'a') + s + std::string(40 - pad, 'b'));
    }
}

TEST(Utf8Validate, AcceptsWellFormedSequences) {
    for (const char* s : {"", "plain", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF",
                          "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                          "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"}) {
        EXPECT_TRUE(valid(s)) << s;
        at_every_offset(s, [&](const std::string& t) { EXPECT_TRUE(valid(t)) << t; });
    }
}

TEST(Utf8Validate, RejectsMalformedSequences) {
    for (const char* s : {
             "\x80",              // lone continuation
             "\xBF",              // lone continuation
             "\xC0\x80",          // overlong NUL
             "\xC1\xBF",          // overlong
             "\xE0\x80\x80",      // overlong three-byte
             "\xE0\x9F\xBF",      // overlong three-byte
             "\xED\xA0\x80",      // surrogate U+D800
             "\xED\xBF\xBF",      // surrogate U+DFFF
             "\xF0\x80\x80\x80",  // overlong four-byte
             "\xF0\x8F\xBF\xBF",  // overlong four-byte
             "\xF4\x90\x80\x80",  // above U+10FFFF
             "\xF5\x80\x80\x80",  // invalid lead
             "\xFF",              // invalid byte
             "\xC3",              // truncated
             "\xE2\x82",          // truncated
             "\xF0\x9F\x98",      // truncated
             "\xC3\x28",          // bad continuation
             "\xE2\x28\xAC",      // bad continuation
             "\xE2\x82\x28",      // bad continuation
             "\xF0\x9F\x98\x28",  // bad continuation
         }) {
        EXPECT_FALSE(valid(s)) << s;
        at_every_offset(s, [&](const std::string& t) { EXPECT_FALSE(valid(t)); });
    }
}

TEST(Utf8Validate, TruncationAtTheVeryEnd) {
    const std::string euro = "\xE2\x82\xAC";
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string s = std::string(pad, 'x') + euro;
        EXPECT_TRUE(valid(s));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 1));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 2));
    }
}

TEST(Utf8Validate, NulBytesAreValid) {
    EXPECT_TRUE(valid(std::string(100, '\0')));
}

}  // namespace
}  // namespace plovane
