// Escaping of text and attribute values: the replacement sets, UTF-8 left
// intact, against a model on random texts at every alignment. The scanners themselves, at every
// length and alignment and before an unmapped page: text_kernels_test.cpp.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "write/escape.h"
#include "write/memory_sink.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

std::string escaped(std::string_view text, bool attribute) {
    MemorySink sink;
    EXPECT_TRUE(write_escaped(sink, text, attribute));
    return std::string(sink.view());
}

// Straightforward model: decode each UTF-8 character and compare its code
// point with the members of the set, in order.
std::string model_escape(std::string_view text, bool attribute) {
    static constexpr std::pair<char32_t, std::string_view> kSet[] = {
        {U'&', "&amp;"},   {U'<', "&lt;"},  {U'>', "&gt;"},   {U'"', "&quot;"},
        {U'\'', "&apos;"}, {U'\t', "&#9;"}, {U'\r', "&#13;"}, {U'\n', "&#10;"}};
    const size_t members = attribute ? 8 : 5;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length; ++k) code = (code << 6) | (text[i + k] & 0x3F);
        std::string_view replacement;
        for (size_t m = 0; m < members; ++m) {
            if (kSet[m].first == code) replacement = kSet[m].second;
        }
        if (replacement.empty()) {
            out.append(text.substr(i, length));
        } else {
            out.append(replacement);
        }
        i += length;
    }
    return out;
}

TEST(WriteEscaped, ReplacementSets) {
    const struct {
        std::string_view in, text, attribute;
    } cases[] = {
        {"a<b & \"c\" 'd'", "a&lt;b &amp; &quot;c&quot; &apos;d&apos;",
         "a&lt;b &amp; &quot;c&quot; &apos;d&apos;"},
        {"\t\r\n", "\t\r\n", "&#9;&#13;&#10;"},
        {"x>y&amp;", "x&gt;y&amp;amp;", "x&gt;y&amp;amp;"},
        {{"\0\x01\x7f", 3}, {"\0\x01\x7f", 3}, {"\0\x01\x7f", 3}},
        {"é<€𝄞>", "é&lt;€𝄞&gt;", "é&lt;€𝄞&gt;"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escaped(c.in, false), c.text);
        EXPECT_EQ(escaped(c.in, true), c.attribute);
    }
}

TEST(WriteEscaped, MatchesTheCodePointModelOnRandomTextsOfEveryAlignment) {
    std::mt19937_64 rng(5);
    std::string buffer;
    for (int round = 0; round < 20000; ++round) {
        const std::string text = testing::random_text(rng, 1 + round % 48);
        // Place the text at every offset within 16 bytes so the block loads
        // straddle it differently each time.
        const size_t offset = round % 16;
        buffer.assign(offset, '&');
        buffer += text;
        const std::string_view view(buffer.data() + offset, text.size());
        for (bool attribute : {false, true}) {
            ASSERT_EQ(escaped(view, attribute), model_escape(text, attribute))
                << "text '" << text << "' attribute " << attribute;
        }
    }
}

}  // namespace
}  // namespace plovane
