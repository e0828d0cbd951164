// Character and entity reference decoding in text and attribute modes.
#include <gtest/gtest.h>

#include <string>

#include "read/references.h"

namespace plovane {
namespace {

std::string decode_ok(std::string_view in, DecodeMode mode = DecodeMode::Text) {
    auto result = decode_references(in, 0, mode);
    if (!result) {
        ADD_FAILURE() << "decoding '" << in << "' failed: " << result.error().message();
        return {};
    }
    return std::string(result.value().text());
}

std::string decode_error(std::string_view in, uint64_t base = 0,
                         DecodeMode mode = DecodeMode::Text) {
    auto result = decode_references(in, base, mode);
    if (result) {
        ADD_FAILURE() << "decoding '" << in << "' succeeded";
        return {};
    }
    return result.error().message();
}

TEST(DecodeReferences, UnchangedInputIsTheSameBytes) {
    const std::string in = "plain text\r\n\twith white space";
    auto result = decode_references(in, 0, DecodeMode::Text);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result.value().is_view());
    EXPECT_EQ(result.value().view.data(), in.data());
    EXPECT_EQ(result.value().view.size(), in.size());

    for (DecodeMode mode : {DecodeMode::Text, DecodeMode::Attribute}) {
        auto empty = decode_references({}, 7, mode);
        ASSERT_TRUE(empty);
        EXPECT_TRUE(empty.value().is_view());
        EXPECT_TRUE(empty.value().text().empty());
    }
}

TEST(DecodeReferences, PredefinedEntities) {
    EXPECT_EQ(decode_ok("a&lt;b&gt;c"), "a<b>c");
    EXPECT_EQ(decode_ok("&amp;&quot;&apos;"), "&\"'");
    // A reference's result is not decoded again.
    EXPECT_EQ(decode_ok("&amp;lt;"), "&lt;");
    auto result = decode_references("x&amp;y", 0, DecodeMode::Text);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result.value().is_view());
}

TEST(DecodeReferences, NumericReferences) {
    EXPECT_EQ(decode_ok("&#65;"), "A");
    EXPECT_EQ(decode_ok("&#x41;"), "A");
    EXPECT_EQ(decode_ok("&#x6a;&#x6A;"), "jj");
    EXPECT_EQ(decode_ok("&#+65;"), "A");
    EXPECT_EQ(decode_ok("&#x+41;"), "A");
    EXPECT_EQ(decode_ok("&#0000000065;"), "A");
    EXPECT_EQ(decode_ok("&#x0000000000041;"), "A");
    EXPECT_EQ(decode_ok("&#1;"), "\x01");
    EXPECT_EQ(decode_ok("&#xE9;"), "\xC3\xA9");
    EXPECT_EQ(decode_ok("&#x20AC;"), "\xE2\x82\xAC");
    EXPECT_EQ(decode_ok("&#x1F600;"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(decode_ok("&#xD7FF;&#xE000;&#x10FFFF;"), "\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF");
}

TEST(DecodeReferences, InvalidNumericReferences) {
    for (const char* name : {"#X41", "#-65", "#+", "#x", "#x+", "#", "#++65", "#0", "#x0", "#xD800",
                             "#xDFFF", "#x110000", "#1114112", "#4294967296",
                             "#99999999999999999999", "#6 5", "#x4G", "#1a", "#+x41"}) {
        const std::string in = std::string("ab&") + name + ";";
        EXPECT_EQ(
            decode_error(in, 10),
            std::string("malformed XML at byte 12: invalid character reference '&") + name + ";'")
            << in;
    }
}

TEST(DecodeReferences, UnknownAndUnterminatedReferences) {
    EXPECT_EQ(decode_error("&LT;"), "unknown entity reference '&LT;' at byte 0");
    EXPECT_EQ(decode_error("x&nbsp;", 5), "unknown entity reference '&nbsp;' at byte 6");
    EXPECT_EQ(decode_error("&;"), "unknown entity reference '&;' at byte 0");
    EXPECT_EQ(decode_error("AT&T is fine;", 100),
              "unknown entity reference '&T is fine;' at byte 102");
    EXPECT_EQ(decode_error("AT&T", 100),
              "malformed XML at byte 102: unterminated entity reference");
    // The name runs to the first ';', another '&' included.
    EXPECT_EQ(decode_error("&a&lt;"), "unknown entity reference '&a&lt;' at byte 0");
    // The first bad reference is reported, after good ones.
    EXPECT_EQ(decode_error("&lt;&#0;&bad;", 3),
              "malformed XML at byte 7: invalid character reference '&#0;'");
}

TEST(DecodeReferences, AttributeModeNormalisesLiteralWhiteSpace) {
    EXPECT_EQ(decode_ok("a\r\nb", DecodeMode::Attribute), "a b");
    EXPECT_EQ(decode_ok("a\tb\nc\rd", DecodeMode::Attribute), "a b c d");
    EXPECT_EQ(decode_ok("\r\r\n\n", DecodeMode::Attribute), "   ");
    EXPECT_EQ(decode_ok("a\r", DecodeMode::Attribute), "a ");
    // References to white space are kept as they are.
    EXPECT_EQ(decode_ok("1&#10;2&#9;3&#13;", DecodeMode::Attribute), "1\n2\t3\r");
    EXPECT_EQ(decode_ok("x&amp;\ny", DecodeMode::Attribute), "x& y");

    auto attr = decode_references("a\nb", 0, DecodeMode::Attribute);
    ASSERT_TRUE(attr);
    EXPECT_FALSE(attr.value().is_view());
    auto text = decode_references("a\nb", 0, DecodeMode::Text);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text.value().is_view());
    auto vertical_tab = decode_references("a\vb\fc", 0, DecodeMode::Attribute);
    ASSERT_TRUE(vertical_tab);
    EXPECT_TRUE(vertical_tab.value().is_view());
}

TEST(DecodeReferences, TextModeKeepsLineEndsWhileDecoding) {
    EXPECT_EQ(decode_ok("a\r\n&lt;\tb"), "a\r\n<\tb");
}

TEST(DecodeReferences, NonAsciiTextAroundReferences) {
    EXPECT_EQ(decode_ok("\xC3\xA9&amp;\xE2\x82\xAC"), "\xC3\xA9&\xE2\x82\xAC");
    EXPECT_EQ(decode_error("\xC3\xA9&x;"), "unknown entity reference '&x;' at byte 2");
}

}  // namespace
}  // namespace plovane
