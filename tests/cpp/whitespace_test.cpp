// The Unicode White_Space set used for trimming text and ending end tags.
#include <gtest/gtest.h>

#include <string>

#include "read/whitespace.h"
#include "utf8_reference.h"

namespace plovane {
namespace {

using testing::utf8_of;

bool is_white_space(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000;
}

TEST(Whitespace, EveryCharacterOfTheBasicPlaneAndBeyondIsClassified) {
    for (char32_t cp = 1; cp < 0x11000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string c = utf8_of(cp);
        const size_t expected = is_white_space(cp) ? c.size() : 0;
        SCOPED_TRACE(static_cast<uint32_t>(cp));
        ASSERT_EQ(leading_space_length(c + "x"), expected);
        ASSERT_EQ(trailing_space_length("x" + c), expected);
        const std::string wrapped = c + "x" + c;
        ASSERT_EQ(trim_space(wrapped), expected ? "x" : wrapped);
        ASSERT_EQ(is_all_space(c + c), expected != 0);
    }
}

TEST(Whitespace, TrimsOnlyTheEndsAndNotTruncatedSequences) {
    const std::string nbsp = utf8_of(0xA0), ideographic = utf8_of(0x3000);
    EXPECT_EQ(trim_space(" \t" + nbsp + "a " + ideographic + " b\r\n" + ideographic),
              "a " + ideographic + " b");
    EXPECT_EQ(trim_space(nbsp + ideographic + "\n"), "");
    EXPECT_TRUE(is_all_space(""));
    EXPECT_EQ(trailing_space_length("\xA0"), 0u);
    EXPECT_EQ(leading_space_length("\xC2"), 0u);
    EXPECT_EQ(leading_space_length("\xE3\x80"), 0u);
}

TEST(Whitespace, MarkupSpaceIsFiveAsciiBytes) {
    std::string spaces;
    for (int c = 0; c < 256; ++c)
        if (is_markup_space(static_cast<char>(c))) spaces += static_cast<char>(c);
    EXPECT_EQ(spaces, "\t\n\f\r ");
}

}  // namespace
}  // namespace plovane
