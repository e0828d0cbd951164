// The structural index: the sequential strategy, whole and a batch at a
// time, against the byte-by-byte reference (sequential_reference.h), the bitmap strategy against
// hand-made records where it differs, build_index's choice between them, and both strategies
// agreeing on random documents. What the records mean is checked through the reader
// (read_document_test.cpp).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "index/structural_index.h"
#include "index_records.h"
#include "kernel_inputs.h"
#include "random_documents.h"
#include "sequential_reference.h"
#include "simd/classify.h"

namespace plovane {
namespace {

using K = TagKind;

const BuildSummary kAbnormal{IndexStatus::AbnormalEnd, 0, {}, {}};

struct Case {
    std::string doc;
    BuildSummary expected;
};

// Tag soup: start tags with quoted values of both kinds (often long enough
// to cross 64-byte blocks), stray slashes and quotes, unclosed values, end
// tags with space before '>', comments and text, cut at a random length.
std::string tag_soup(std::mt19937_64& rng) {
    // nullptr: a quoted value long enough to cross a block.
    // clang-format off
    static const char* const kPieces[] = {
        "<a", "<name", " x=\"v\"", " y='w'", " q=\"it's\"", " r='say \"hi\"'", "/", "/>", ">", "\"",
        "'", " ", "\n", "text", "</a>", "</a \n>", "<!--c-->", "<?p x?>", "=", nullptr,
        " >=\"'>'\"", "<![CDATA[", "]", "]]>", "<!x", "<!DOCTYPE x [", "<!ENTITY e \"]>\">",
        "<!-- ] -->"};
    // clang-format on
    const std::string long_value = " long=\"" + std::string(70, 'v') + "\"";
    std::string out;
    for (size_t i = rng() % 60; i > 0; --i) {
        const char* piece = kPieces[rng() % std::size(kPieces)];
        out += piece ? piece : long_value;
    }
    return out.substr(0, rng() % (out.size() + 1));
}

TEST(SequentialIndex, SameAsTheByteByByteSearches) {
    const auto reference = [](const std::string& d) {
        return summary_of(reference::build_sequential_reference, d);
    };
    // Runs of constructs that find no terminator: each must end where it did
    // when every one searched the rest of the input again.
    for (const char* piece :
         {"<![CDATA[", "<![CDATA[]", "]<![CDATA[", "<!x", "<!--", "<?x", "<a", "<!DOCTYPE x",
          "<!DOCTYPE x [", "<!DOCTYPE x [<!x>", "<!x>]<![CDATA[<!"}) {
        std::string doc;
        for (int i = 0; i < 40; ++i) doc += piece;
        for (const std::string& d : {doc, doc + ">", "<r>" + doc + "</r>"}) {
            EXPECT_EQ(seq(d), reference(d)) << d;
            EXPECT_EQ(batched(d, 2), reference(d)) << d;
        }
    }
    // Internal subsets that end, and that the input ends inside.
    for (const std::string& subset : kInternalSubsets) {
        const std::string doc = subset + "<x/>";
        EXPECT_EQ(seq(doc), reference(doc)) << doc;
        EXPECT_EQ(seq(doc).records.size(), 1u) << doc;
    }
    for (const std::string& doc : kUnterminatedSubsets) {
        EXPECT_EQ(seq(doc), kAbnormal) << doc;
        EXPECT_EQ(reference(doc), kAbnormal) << doc;
    }
    std::mt19937_64 rng(4242);
    int complete = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string doc = tag_soup(rng);
        const BuildSummary expected = reference(doc);
        ASSERT_EQ(seq(doc), expected) << doc;
        ASSERT_EQ(batched(doc, 1 + i % 3), expected) << doc;
        complete += expected.status == IndexStatus::Complete && !expected.records.empty();
    }
    EXPECT_GT(complete, 2000);  // not every soup fails early
    for (const auto& in : testing::kernel_inputs())
        ASSERT_EQ(seq(in.bytes), reference(in.bytes)) << in.name;
}

// Declarations make no record, so the text between them counts towards a
// batch too: a run of them fills batches of as many ranges as records asked
// for, not one batch for the whole input.
TEST(SequentialBatches, TextBetweenDeclarationsIsCutIntoBatches) {
    std::string open = "<r>", closed = "<r>";
    for (int i = 0; i < 1000; ++i) {
        open += "t<!x";  // no '>' after any of them
        closed += "t<!x>";
    }
    for (const std::string& d : {open, closed + "</r>"}) {
        SequentialBatches batches(d.data(), d.size(), 8);
        size_t parts = 0;
        for (;;) {
            auto next = batches.next();
            ASSERT_TRUE(next);
            const StructuralIndex& part = *next.value();
            if (part.record_count() == 0 && part.text_ranges.empty()) break;
            EXPECT_LE(part.text_ranges.size(), 8u);
            ++parts;
        }
        EXPECT_GT(parts, 100u);
        EXPECT_EQ(batched(d, 8), seq(d));
    }
}

const std::string kExample = R"(<r a="1" b="2" c="3" d="4"><e f="g>h" i="j" k="l" m="n"/></r>)";

TEST(BitmapIndex, RecordsAndWhereTheyDifferFromByteSearches) {
    std::string hidden = kExample;
    hidden.insert(57, "it's");
    const std::string repeated = R"(<a x="1" y="2" z="3"/>)";
    const Case cases[] = {
        {kExample,
         complete(
             {{0, 26, K::Open, 1, 1}, {27, 56, K::SelfClosing, 28, 1}, {57, 60, K::Close, 59, 1}})},
        // An apostrophe in text hides the markup after it.
        {hidden, complete({{0, 26, K::Open, 1, 1}, {27, 56, K::SelfClosing, 28, 1}})},
        {R"(<r a="1"><p>it's</p><q/></r>)",
         complete({{0, 8, K::Open, 1, 1}, {9, 11, K::Open, 10, 1}})},
        {"<r>it's<b/>'<c", unclosed(12)},  // a visible '<' with no visible '>'
        {repeated + repeated,
         complete({{0, 21, K::SelfClosing, 1, 1}, {22, 43, K::SelfClosing, 23, 1}})},
        {"<r><!-- <b> --></r>",
         complete({{0, 2, K::Open, 1, 1}, {3, 14, K::Comment, 0, 0}, {15, 18, K::Close, 17, 1}})},
        {R"(<r a="1"><![CDATA[x]]></r>)",
         complete({{0, 8, K::Open, 1, 1}, {9, 21, K::CData, 0, 0}, {22, 25, K::Close, 24, 1}},
                  {{18, 19}})},
        {R"(<?xml version="1.0"?><r/>)",
         complete({{0, 20, K::ProcessingInstruction, 2, 3}, {21, 24, K::SelfClosing, 22, 1}})},
        {"<>< a></\tb>",
         complete({{0, 1, K::Open, 1, 0}, {2, 5, K::Open, 3, 0}, {6, 10, K::Close, 8, 0}})},
        {"x", complete({})},
        // A '<' as the last byte is dropped; no '>' after a '<' fails for
        // every construct.
        {R"(<r a="1"/><)", complete({{0, 9, K::SelfClosing, 1, 1}})},
        {"ab<", complete({}, {{0, 2}})},
        {R"(<r a="1"><!-- x)", unclosed(9)},
        {"<?pi", unclosed(0)},
        // Unterminated comments and CDATA sections end two bytes before the
        // input; a '<' on that end starts no construct.
        {"<!-- x > y", complete({{0, 8, K::Comment, 0, 0}})},
        {"<!-->", complete({{0, 4, K::Comment, 0, 0}})},
        {"<!--x><y", complete({{0, 6, K::Comment, 0, 0}})},
        {"<![CDATA[a>b", complete({{0, 10, K::CData, 0, 0}})},
        {"<![CDATA[>", complete({{0, 9, K::CData, 0, 0}})},
        // Ends of tags and declarations are the first unquoted '>'.
        {"</a'>'>", complete({{0, 6, K::Close, 2, 4}})},
        {R"(<!DOCTYPE r "a>b">x<r/>)", complete({{19, 22, K::SelfClosing, 20, 1}}, {{18, 19}})},
    };
    for (const Case& c : cases) EXPECT_EQ(bits(c.doc), c.expected) << c.doc;
    EXPECT_EQ(bits(kExample), seq(kExample));
    EXPECT_EQ(seq(hidden).records.size(), 3u);
    const StructuralBitmaps bitmaps = classify_structural(kExample.data(), kExample.size());
    EXPECT_EQ(summary_of(build_from_bitmaps(kExample.data(), kExample.size(), bitmaps)),
              bits(kExample));
    // Internal subsets end as byte searches end them; an unterminated one
    // cannot end the build abnormally here.
    for (const std::string& subset : kInternalSubsets)
        EXPECT_EQ(bits(subset + "<x/>"), seq(subset + "<x/>")) << subset;
    for (const std::string& doc : kUnterminatedSubsets) EXPECT_EQ(bits(doc), unclosed(0)) << doc;
}

IndexPath path_of(std::string_view doc) {
    IndexPath path;
    const BuildSummary summary = summary_of(build_index(doc.data(), doc.size(), path));
    // Whichever way it goes, build_index keeps the result of that way.
    EXPECT_EQ(summary, path == IndexPath::Bitmaps ? bits(doc) : seq(doc)) << doc;
    return path;
}

// `n` double-quoted attributes.
std::string attrs(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += " a" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"";
    return out;
}

TEST(BuildIndex, ChoosesByTheQuoteRatioOfTheFirst4096Bytes) {
    std::string plain_start = "<r>";
    while (plain_start.size() < 4096) plain_start += "<p>plain text</p>";
    for (int i = 0; i < 200; ++i) plain_start += "<e" + attrs(8) + "/>";
    std::string apostrophes;
    for (int i = 0; i < 50; ++i) apostrophes += "<a b='1' c='2' d='3' e='4' f='5' g='6'/>";
    const std::pair<std::string, IndexPath> cases[] = {
        {"", IndexPath::Sequential},
        {R"("a" "b" "c")", IndexPath::Bitmaps},  // no '<': the divisor is 1
        {R"("a" "b")", IndexPath::Sequential},
        {"<a" + attrs(5) + "/><b/>", IndexPath::Sequential},  // 10 quotes per 2 '<' is 5.0
        {"<a" + attrs(5) + R"( q='"'/><b/>)", IndexPath::Bitmaps},
        {apostrophes, IndexPath::Sequential},  // apostrophes do not count
        {plain_start, IndexPath::Sequential},
        {plain_start.substr(4096 - 3), IndexPath::Bitmaps},
        {"<r><!-- x", IndexPath::Sequential},
        {"<r>a<", IndexPath::Sequential},
        // On malformed input the bitmaps keep their own result.
        {"<r" + attrs(12) + "/><", IndexPath::Bitmaps},
    };
    for (const auto& [doc, path] : cases) EXPECT_EQ(path_of(doc), path) << doc;
}

// An SVG whose first 4 KiB are attribute values, with text holding apostrophes.
std::string svg(const std::string& text_part) {
    std::string doc = R"(<svg xmlns="http://www.w3.org/2000/svg" width="640" height="480">)";
    doc += text_part;
    for (int i = 0; i < 120; ++i)
        doc += R"(<rect x="1" y="2" width="30" height="40" fill="#c0ffee" stroke="none"/>)";
    return doc + "</svg>";
}

TEST(BuildIndex, QuotesInTextSendTheDocumentToByteSearches) {
    for (const std::string& doc : {
             svg("<title>Don't panic</title>"),  // the classifier ends inside a quote
             "<r" + attrs(12) + "/><!-- it's --><b/><!-- don't -->",
             "<r" + attrs(12) + "/>it's<x '<y",
         }) {
        ASSERT_NE(bits(doc), seq(doc)) << "the bitmaps alone would be right: " << doc;
        EXPECT_EQ(path_of(doc), IndexPath::BitmapsRejected) << doc;
    }
    EXPECT_EQ(seq(svg("<title>Don't panic</title>")).records.size(), 124u);
}

// Names of every length up to past two vectors, ended by each byte that
// ends one: both strategies find the same names, and whole.
TEST(StrategyAgreement, NameEnds) {
    for (size_t len = 1; len <= 40; ++len) {
        const std::string name = std::string(len - 1, 'n') + 'e';
        for (const char* start_end : {"\t", "\n", "\f", "\r", " ", "/>", ">"}) {
            for (const char* end_end : {"\t", "\n", "\f", "\r", " ", ""}) {
                std::string doc = "<" + name + start_end;
                if (doc.back() != '>') doc += '>';
                doc += "</" + name + end_end + ">";
                const BuildSummary expected = seq(doc);
                ASSERT_EQ(bits(doc), expected) << doc;
                ASSERT_FALSE(expected.records.empty()) << doc;
                for (const Record& r : expected.records) EXPECT_EQ(r.name_len, len) << doc;
            }
        }
    }
}

// Random well-formed documents: identical indexes from both strategies when
// no quote lies outside tags; with quotes in text, build_index still gives
// the byte-search result.
TEST(StrategyAgreement, RandomDocuments) {
    int paths[2][3] = {};
    int bitmaps_alone_wrong = 0;
    for (bool quotes : {false, true}) {
        for (int max_attributes : {1, 4, 30}) {
            testing::DocumentGenerator gen(7 + max_attributes + 92 * quotes,
                                           {quotes, max_attributes, 80});
            for (int i = 0; i < 500; ++i) {
                const std::string doc = gen.next();
                const BuildSummary expected = seq(doc);
                ASSERT_EQ(expected.status, IndexStatus::Complete) << doc;
                ASSERT_EQ(batched(doc, 1 + i % 5), expected) << doc;
                const bool same = bits(doc) == expected;
                ASSERT_TRUE(same || quotes) << doc;
                bitmaps_alone_wrong += !same;
                IndexPath path;
                ASSERT_EQ(summary_of(build_index(doc.data(), doc.size(), path)), expected) << doc;
                ++paths[quotes][static_cast<int>(path)];
            }
        }
    }
    const int seq_path = 0, bitmaps = 1, rejected = 2;
    EXPECT_GT(paths[0][seq_path], 100);
    EXPECT_GT(paths[0][bitmaps], 100);
    EXPECT_EQ(paths[0][rejected], 0);
    EXPECT_GT(paths[1][rejected], 100);
    EXPECT_GT(paths[1][bitmaps], 10);  // quotes outside tags that hide nothing
    EXPECT_GT(bitmaps_alone_wrong, 100);
}

}  // namespace
}  // namespace plovane
