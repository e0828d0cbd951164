// The bitmap strategy on its own, whatever the quote ratio of the input:
// record layout, quoted regions, and where it differs from byte searches.
#include <gtest/gtest.h>

#include <string>

#include "index/structural_index.h"
#include "index_records.h"
#include "simd/classify.h"

namespace plovane {
namespace {

using K = TagKind;

const std::string kExample = R"(<r a="1" b="2" c="3" d="4"><e f="g>h" i="j" k="l" m="n"/></r>)";

TEST(BitmapIndex, QuotedGreaterThanDoesNotEndTheTag) {
    ASSERT_EQ(kExample.size(), 61u);
    const IndexBuild build = build_from_bitmaps(kExample.data(), kExample.size());
    ASSERT_EQ(status_of(build), IndexStatus::Complete);
    EXPECT_EQ(records_of(build.value()), (std::vector<Record>{{0, 26, K::Open, 1, 1},
                                                              {27, 56, K::SelfClosing, 28, 1},
                                                              {57, 60, K::Close, 59, 1}}));
    EXPECT_TRUE(build.value().text_ranges.empty());
    EXPECT_EQ(bits(kExample), seq(kExample));
}

TEST(BitmapIndex, ApostropheInTextHidesTheMarkupAfterIt) {
    std::string doc = kExample;
    doc.insert(57, "it's");
    EXPECT_EQ(bits(doc), complete({{0, 26, K::Open, 1, 1}, {27, 56, K::SelfClosing, 28, 1}}));
    EXPECT_EQ(seq(doc), complete({{0, 26, K::Open, 1, 1},
                                  {27, 56, K::SelfClosing, 28, 1},
                                  {61, 64, K::Close, 63, 1}},
                                 {{57, 61}}));
    EXPECT_EQ(bits(R"(<r a="1"><p>it's</p><q/></r>)"),
              complete({{0, 8, K::Open, 1, 1}, {9, 11, K::Open, 10, 1}}));
    // A '<' left visible with no visible '>' after it.
    EXPECT_EQ(bits("<r>it's<b/>'<c"), unclosed(12));
}

TEST(BitmapIndex, Constructs) {
    const std::string repeated = R"(<a x="1" y="2" z="3"/>)";
    EXPECT_EQ(bits(repeated + repeated + repeated), complete({{0, 21, K::SelfClosing, 1, 1},
                                                              {22, 43, K::SelfClosing, 23, 1},
                                                              {44, 65, K::SelfClosing, 45, 1}}));
    EXPECT_EQ(bits(R"(<a t="x>y"/>)"), complete({{0, 11, K::SelfClosing, 1, 1}}));
    EXPECT_EQ(
        bits("<r><!-- <b> --></r>"),
        complete({{0, 2, K::Open, 1, 1}, {3, 14, K::Comment, 0, 0}, {15, 18, K::Close, 17, 1}}));
    EXPECT_EQ(bits(R"(<r a="1"><![CDATA[x]]></r>)"),
              complete({{0, 8, K::Open, 1, 1}, {9, 21, K::CData, 0, 0}, {22, 25, K::Close, 24, 1}},
                       {{18, 19}}));
    EXPECT_EQ(bits(R"(<?xml version="1.0"?><r/>)"),
              complete({{0, 20, K::ProcessingInstruction, 2, 3}, {21, 24, K::SelfClosing, 22, 1}}));
    EXPECT_EQ(bits("<>< a></\tb>"),
              complete({{0, 1, K::Open, 1, 0}, {2, 5, K::Open, 3, 0}, {6, 10, K::Close, 8, 0}}));
    EXPECT_EQ(bits(""), complete({}));
    EXPECT_EQ(bits("x"), complete({}));
}

// Each case of the table of differences, next to the byte-search result.
TEST(BitmapIndex, DiffersFromByteSearchOnMalformedInput) {
    // A '<' as the last byte is dropped.
    EXPECT_EQ(bits(R"(<r a="1"/><)"), complete({{0, 9, K::SelfClosing, 1, 1}}));
    EXPECT_EQ(seq(R"(<r a="1"/><)"), unclosed(10));
    EXPECT_EQ(bits("ab<"), complete({}, {{0, 2}}));
    // No '>' after a '<' fails for every construct.
    EXPECT_EQ(bits(R"(<r a="1"><!-- x)"), unclosed(9));
    EXPECT_EQ(bits("<?pi"), unclosed(0));
    EXPECT_EQ(seq("<?pi").status, IndexStatus::AbnormalEnd);
    // Unterminated comments and CDATA sections end two bytes before the input.
    EXPECT_EQ(bits("<!-- x > y"), complete({{0, 8, K::Comment, 0, 0}}));
    EXPECT_EQ(bits("<!-->"), complete({{0, 4, K::Comment, 0, 0}}));
    // A '<' on that end lies inside the comment: no construct starts there.
    EXPECT_EQ(bits("<!--x><y"), complete({{0, 6, K::Comment, 0, 0}}));
    EXPECT_EQ(bits("<![CDATA[a>b"), complete({{0, 10, K::CData, 0, 0}}));
    EXPECT_EQ(seq("<![CDATA[a>b"), complete({{0, 9, K::CData, 0, 0}}));
    EXPECT_EQ(bits("<![CDATA[>"), complete({{0, 9, K::CData, 0, 0}}));
    // Ends of tags and declarations are the first unquoted '>'.
    EXPECT_EQ(bits("</a'>'>"), complete({{0, 6, K::Close, 2, 4}}));
    EXPECT_EQ(seq("</a'>'>"), complete({{0, 4, K::Close, 2, 2}}));
    EXPECT_EQ(bits(R"(<!DOCTYPE r "a>b">x<r/>)"),
              complete({{19, 22, K::SelfClosing, 20, 1}}, {{18, 19}}));
}

TEST(BitmapIndex, InternalSubsetAsByteSearchesEndIt) {
    for (const std::string& subset : kInternalSubsets) {
        const std::string doc = subset + "<x/>";
        const uint64_t s = subset.size();
        EXPECT_EQ(bits(doc), complete({{s, s + 3, K::SelfClosing, s + 1, 1}})) << doc;
        EXPECT_EQ(bits(doc), seq(doc)) << doc;
    }
    // The byte searches end the build abnormally; this strategy cannot.
    for (const std::string& doc : kUnterminatedSubsets) EXPECT_EQ(bits(doc), unclosed(0)) << doc;
}

TEST(BitmapIndex, PrecomputedBitmapsGiveTheSameIndex) {
    const StructuralBitmaps bitmaps = classify_structural(kExample.data(), kExample.size());
    EXPECT_EQ(summary_of(build_from_bitmaps(kExample.data(), kExample.size(), bitmaps)),
              bits(kExample));
}

}  // namespace
}  // namespace plovane
