// The Unicode White_Space set used for trimming text and ending end tags.
#include <gtest/gtest.h>

#include <string>

#include "read/whitespace.h"

namespace plovane {
namespace {

std::string utf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

bool is_white_space(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000;
}

TEST(Whitespace, EveryCharacterOfTheBasicPlaneAndBeyondIsClassified) {
    for (char32_t cp = 1; cp < 0x11000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string c = utf8(cp);
        const size_t expected = is_white_space(cp) ? c.size() : 0;
        ASSERT_EQ(leading_space_length(c + "x"), expected) << std::hex << static_cast<uint32_t>(cp);
        ASSERT_EQ(trailing_space_length("x" + c), expected)
            << std::hex << static_cast<uint32_t>(cp);
        const std::string wrapped = c + "x" + c;
        ASSERT_EQ(trim_space(wrapped), expected ? "x" : wrapped)
            << std::hex << static_cast<uint32_t>(cp);
    }
}

TEST(Whitespace, TrimsOnlyTheEnds) {
    const std::string nbsp = utf8(0xA0), ideographic = utf8(0x3000);
    EXPECT_EQ(trim_space(" \t" + nbsp + "a " + ideographic + " b\r\n" + ideographic),
              "a " + ideographic + " b");
    EXPECT_EQ(trim_space(nbsp + ideographic + "\n"), "");
    EXPECT_TRUE(is_all_space(""));
    EXPECT_TRUE(is_all_space(" \n" + utf8(0x2029)));
    EXPECT_FALSE(is_all_space(" \n" + utf8(0x200B)));  // zero width space is not White_Space
    // Truncated sequences at either end are not white space.
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
