// Escaping of text and attribute values: the replacement sets, bulk copies of
// unescaped runs and UTF-8 left intact. The scanners themselves, at every
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

// Records every append, to check that runs arrive whole.
struct RecordingSink {
    std::vector<std::string> appends;
    size_t fail_at = SIZE_MAX;  // index of the append that fails
    bool append(std::string_view bytes) {
        if (appends.size() == fail_at) return false;
        appends.emplace_back(bytes);
        return true;
    }
};

TEST(WriteEscaped, EachUnescapedRunIsOneAppendAndNothingEmptyIsAppended) {
    RecordingSink sink;
    const std::string long_run(10000, 'x');
    ASSERT_TRUE(write_escaped(sink, "ab<" + long_run + "&&c\n", false));
    EXPECT_EQ(sink.appends,
              (std::vector<std::string>{"ab", "&lt;", long_run, "&amp;", "&amp;", "c\n"}));

    RecordingSink clean;
    ASSERT_TRUE(write_escaped(clean, long_run, true));
    EXPECT_EQ(clean.appends, std::vector<std::string>{long_run});

    RecordingSink none;
    ASSERT_TRUE(write_escaped(none, "", true));
    EXPECT_TRUE(none.appends.empty());
}

TEST(WriteEscaped, StopsAtTheFirstFailedAppend) {
    RecordingSink sink;
    sink.fail_at = 1;
    EXPECT_FALSE(write_escaped(sink, "a<b>c", false));
    EXPECT_EQ(sink.appends, std::vector<std::string>{"a"});
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
