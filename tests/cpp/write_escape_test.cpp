// Escaping of text and attribute values: the replacement sets, bulk copies of
// unescaped runs, UTF-8 left intact, and the scanners' handling of every
// length, alignment and a string that ends right before an unmapped page.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

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

TEST(WriteEscaped, TextModeReplacesMarkupAndQuotesButNotWhiteSpace) {
    EXPECT_EQ(escaped("a<b & \"c\" 'd'", false), "a&lt;b &amp; &quot;c&quot; &apos;d&apos;");
    EXPECT_EQ(escaped("\t\r\n", false), "\t\r\n");
    EXPECT_EQ(escaped("x>y", false), "x&gt;y");
    EXPECT_EQ(escaped("&amp;", false), "&amp;amp;");
    EXPECT_EQ(escaped(std::string_view("\0\x01\x7f", 3), false), std::string_view("\0\x01\x7f", 3));
}

TEST(WriteEscaped, AttributeModeAlsoReplacesTabCarriageReturnAndLineFeed) {
    EXPECT_EQ(escaped("\t\r\n", true), "&#9;&#13;&#10;");
    EXPECT_EQ(escaped("x>y", true), "x&gt;y");
    EXPECT_EQ(escaped("a<b & \"c\" 'd'", true), "a&lt;b &amp; &quot;c&quot; &apos;d&apos;");
}

TEST(WriteEscaped, EndsMembersOnlyMultiByteNeighboursAndEmpty) {
    EXPECT_EQ(escaped("a&", false), "a&amp;");
    EXPECT_EQ(escaped("&<>\"'", false), "&amp;&lt;&gt;&quot;&apos;");
    EXPECT_EQ(escaped("&<>\"'\t\r\n", true), "&amp;&lt;&gt;&quot;&apos;&#9;&#13;&#10;");
    EXPECT_EQ(escaped("é<", false), "é&lt;");
    EXPECT_EQ(escaped("<€𝄞>", true), "&lt;€𝄞&gt;");
    EXPECT_EQ(escaped("", false), "");
    EXPECT_EQ(escaped("", true), "");
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

TEST(WriteEscaped, PlainTextSurroundedByMembersIsNotOverread) {
    // Members right after the end of the view must not be reported.
    const std::string storage = "abcdefghijklmnopqrstuvwxyz<<<<<<<<<<<<<<<<<<<<<";
    for (size_t length = 0; length <= 26; ++length) {
        const std::string_view view(storage.data(), length);
        EXPECT_EQ(escaped(view, true), std::string(view));
        EXPECT_EQ(find_text_escape(view.data(), view.data() + view.size()),
                  view.data() + view.size());
    }
}

TEST(WriteEscaped, TextEndingAtAnUnmappedPageIsScannedSafely) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* mapping =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    char* first = static_cast<char*>(mapping);
    ASSERT_EQ(mprotect(first + page, page, PROT_NONE), 0);
    for (size_t length = 0; length <= 40; ++length) {
        char* start = first + page - length;
        for (size_t i = 0; i < length; ++i) start[i] = "ab\"c"[i % 4];
        const std::string text(start, length);
        EXPECT_EQ(escaped({start, length}, false), model_escape(text, false));
        EXPECT_EQ(escaped({start, length}, true), model_escape(text, true));
    }
    munmap(mapping, 2 * page);
}

}  // namespace
}  // namespace plovane
