// The writer: escaping of text and attribute values (the replacement sets,
// UTF-8 left intact, a model on random texts at every alignment), the exact
// count of indentation spaces against the output it predicts, and stopping
// at the first append that fails. The byte layout, million-deep chains and
// counts too large to hold are checked end to end in tests/python.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "element_record.h"
#include "storage/hash_keys.h"
#include "write/element_writer.h"
#include "write/escape.h"
#include "write/memory_sink.h"
#include "write/xml_writer.h"

namespace plovane {
namespace {

// Random strings drawn mostly from bytes that escaping treats specially,
// plus plain ASCII and multi-byte characters.
inline std::string random_text(std::mt19937_64& rng, size_t max_length) {
    static constexpr std::string_view kPieces[] = {"&", "<", ">", "\"", "'", "\t", "\r", "\n",
                                                   "a", "b", " ", "é",  "€", "𝄞",  "xyz"};
    std::string text;
    const size_t length = rng() % (max_length + 1);
    for (size_t i = 0; i < length; ++i) text += kPieces[rng() % std::size(kPieces)];
    return text;
}

// A random tree of at most `max_nodes` elements and depth `max_depth`,
// with absent and empty texts both represented.
inline ElementRecord random_tree(std::mt19937_64& rng, int max_nodes, int max_depth) {
    int budget = max_nodes;
    auto make = [&](auto& self, int depth) -> ElementRecord {
        --budget;
        ElementRecord record;
        record.name = TextRef::owned("n" + std::to_string(rng() % 5));
        const HashKeys keys = take_hash_keys();
        for (uint64_t i = rng() % 3; i > 0; --i) {
            record.attrs.insert(keys, TextRef::owned("k" + std::to_string(rng() % 4)),
                                TextRef::owned(random_text(rng, 6)));
        }
        if (rng() % 3 != 0) record.text = TextRef::owned(random_text(rng, 8));
        while (depth < max_depth && budget > 0 && rng() % 3 != 0) {
            record.children.push_back(self(self, depth + 1));
        }
        return record;
    };
    return make(make, 0);
}

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

TEST(WriteEscaped, MatchesTheCodePointModelOnRandomTextsOfEveryAlignment) {
    std::mt19937_64 rng(5);
    std::string buffer;
    for (int round = 0; round < 20000; ++round) {
        const std::string text = random_text(rng, 1 + round % 48);
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

TEST(IndentationBytes, IsTheGrowthOfTheOutputOverIndentZero) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 300; ++i) {
        const ElementRecord tree = random_tree(rng, 40, 7);
        const uint64_t indent = rng() % 9;
        const uint64_t growth =
            write_to_string(tree, indent, false).size() - write_to_string(tree, 0, false).size();
        ASSERT_EQ(indentation_bytes(tree, indent), growth);
        // The bound callers check first never lets through more than that.
        ASSERT_GE(indentation_bound(write_list_of(tree), indent), growth);
    }
}

// A sink whose appends succeed until the one numbered `fail_at` (from 0),
// which fails, as a full disk fails a file; it counts what is asked of it
// after that.
class FailingSink {
  public:
    explicit FailingSink(uint64_t fail_at) : fail_at_(fail_at) {}
    bool append(std::string_view bytes) { return take(std::string(bytes)); }
    bool append_spaces(uint64_t count) { return take(std::string(count, ' ')); }

    uint64_t calls = 0;
    uint64_t calls_after_failure = 0;
    std::string written;

  private:
    bool take(const std::string& bytes) {
        if (calls++ > fail_at_) ++calls_after_failure;
        if (calls > fail_at_) return false;
        written += bytes;
        return true;
    }
    uint64_t fail_at_;
};

// The writer stops at the first append that fails, whatever it was writing
// (an indentation, a tag, an attribute, an escaped run or its reference), and
// what it wrote before is the output's start: a file whose disk filled up and
// later had room again must not hold the rest with a piece missing.
TEST(WriteElements, StopAtTheFirstFailedAppend) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 40; ++i) {
        const ElementRecord tree = random_tree(rng, 12, 4);
        const WriteList list = write_list_of(tree);
        FailingSink whole(UINT64_MAX);
        XmlWriter<FailingSink> whole_writer(whole, 2);
        ASSERT_TRUE(write_elements(whole_writer, list));
        for (uint64_t k = 0; k < whole.calls; ++k) {
            FailingSink sink(k);
            XmlWriter<FailingSink> writer(sink, 2);
            ASSERT_FALSE(write_elements(writer, list)) << "append " << k;
            ASSERT_EQ(sink.calls_after_failure, 0u) << "append " << k << " of " << whole.written;
            ASSERT_EQ(sink.written, whole.written.substr(0, sink.written.size()));
        }
    }
}

}  // namespace
}  // namespace plovane
