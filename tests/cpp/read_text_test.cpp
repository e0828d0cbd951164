// Text as the reader decodes it: character and entity references in text
// and attribute modes with their errors, the Unicode White_Space set used for
// trimming text and ending end tags. Messages that hold names cut inside a
// character are checked end to end in tests/python/test_hostile_input.py.
#include <gtest/gtest.h>

#include <string>

#include "read/references.h"
#include "read/whitespace.h"
#include "utf8_reference.h"

namespace plovane {
namespace {

constexpr DecodeMode kText = DecodeMode::Text, kAttr = DecodeMode::Attribute;

struct Decoded {
    std::string_view in;
    DecodeMode mode;
    std::string_view out;
};

const Decoded kDecoded[] = {
    {"", kText, ""},
    {"", kAttr, ""},
    {"a&lt;b&gt;c", kText, "a<b>c"},
    {"&amp;lt;", kText, "&lt;"},  // a reference's result is not decoded again
    {"&#x6a;&#x6A;", kText, "jj"},
    {"&#+65;", kText, "A"},
    {"&#x+41;", kText, "A"},
    {"&#0000000065;", kText, "A"},
    {"&#x0000000000041;", kText, "A"},
    {"&#1;", kText, "\x01"},
    {"&#xE9;", kText, "\xC3\xA9"},
    {"&#x20AC;", kText, "\xE2\x82\xAC"},
    {"&#x1F600;", kText, "\xF0\x9F\x98\x80"},
    {"&#xD7FF;&#xE000;&#x10FFFF;", kText, "\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF"},
    {"\xC3\xA9&amp;\xE2\x82\xAC", kText, "\xC3\xA9&\xE2\x82\xAC"},
    // Text keeps literal line ends; attribute values turn white space into spaces...
    {"a\r\n&lt;\tb", kText, "a\r\n<\tb"},
    {"a\r\nb", kAttr, "a b"},
    {"a\tb\nc\rd", kAttr, "a b c d"},
    {"\r\r\n\n", kAttr, "   "},
    {"a\r", kAttr, "a "},
    {"a\vb\fc", kAttr, "a\vb\fc"},
    // ...but references to white space are kept as they are.
    {"1&#10;2&#9;3&#13;", kAttr, "1\n2\t3\r"},
    {"x&amp;\ny", kAttr, "x& y"},
};

TEST(DecodeReferences, Decodes) {
    for (const Decoded& c : kDecoded) {
        auto result = decode_references(c.in, 0, c.mode);
        ASSERT_TRUE(result) << c.in << ": " << result.error().message();
        EXPECT_EQ(result.value().text(), c.out) << c.in;
    }
}

struct Refused {
    std::string_view in;
    uint64_t base;
    std::string_view message;
};

const Refused kRefused[] = {
    {"&LT;", 0, "unknown entity reference '&LT;' at byte 0"},
    {"x&nbsp;", 5, "unknown entity reference '&nbsp;' at byte 6"},
    {"&;", 0, "unknown entity reference '&;' at byte 0"},
    {"AT&T is fine;", 100, "unknown entity reference '&T is fine;' at byte 102"},
    {"AT&T", 100, "malformed XML at byte 102: unterminated entity reference"},
    // The name runs to the first ';', another '&' included.
    {"&a&lt;", 0, "unknown entity reference '&a&lt;' at byte 0"},
    // The first bad reference is reported, after good ones.
    {"&lt;&#0;&bad;", 3, "malformed XML at byte 7: invalid character reference '&#0;'"},
    {"\xC3\xA9&x;", 0, "unknown entity reference '&x;' at byte 2"},
    {"&#0;", UINT64_MAX - 3,
     "malformed XML at byte 18446744073709551612: invalid character reference '&#0;'"},
};

TEST(DecodeReferences, RefusesWithThePosition) {
    for (const Refused& c : kRefused) {
        auto result = decode_references(c.in, c.base, kText);
        ASSERT_FALSE(result) << c.in;
        EXPECT_EQ(result.error().message(), c.message);
    }
    for (const char* name : {"#X41", "#-65", "#+", "#x", "#x+", "#", "#++65", "#0", "#x0", "#xD800",
                             "#xDFFF", "#x110000", "#1114112", "#4294967296",
                             "#99999999999999999999", "#6 5", "#x4G", "#1a", "#+x41"}) {
        auto result = decode_references(std::string("ab&") + name + ";", 10, kText);
        ASSERT_FALSE(result) << name;
        EXPECT_EQ(
            result.error().message(),
            std::string("malformed XML at byte 12: invalid character reference '&") + name + ";'");
    }
}

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
        // The character alone: the whole text is one sequence.
        ASSERT_EQ(leading_space_length(c), expected);
        ASSERT_EQ(trailing_space_length(c), expected);
        const std::string wrapped = c + "x" + c;
        ASSERT_EQ(trim_space(wrapped), expected ? "x" : wrapped);
        ASSERT_EQ(is_all_space(c + c), expected != 0);
    }
}

TEST(Whitespace, TruncatedSequencesAreNotSpace) {
    EXPECT_EQ(trailing_space_length("\xA0"), 0u);
    EXPECT_EQ(leading_space_length("\xC2"), 0u);
    EXPECT_EQ(leading_space_length("\xE3\x80"), 0u);
}

}  // namespace
}  // namespace plovane
