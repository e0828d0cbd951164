// The sequential strategy: record layout, character data, and how each kind
// of construct ends, fails or runs into the end of the input.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "index/structural_index.h"
#include "index_records.h"
#include "kernel_inputs.h"
#include "sequential_reference.h"

namespace plovane {
namespace {

using K = TagKind;

const BuildSummary kAbnormal{IndexStatus::AbnormalEnd, 0, {}, {}};

TEST(SequentialIndex, WorkedExampleRecordByRecord) {
    const std::string doc = R"(<?xml version="1.0"?><r a="1">t<!--c--><b/><![CDATA[x]]></r>)";
    ASSERT_EQ(doc.size(), 60u);
    const IndexBuild build = build_sequential(doc.data(), doc.size());
    ASSERT_EQ(status_of(build), IndexStatus::Complete);
    const StructuralIndex& index = build.value();
    EXPECT_EQ(records_of(index), (std::vector<Record>{{0, 20, K::ProcessingInstruction, 2, 3},
                                                      {21, 29, K::Open, 22, 1},
                                                      {31, 38, K::Comment, 0, 0},
                                                      {39, 42, K::SelfClosing, 40, 1},
                                                      {43, 55, K::CData, 0, 0},
                                                      {56, 59, K::Close, 58, 1}}));
    EXPECT_EQ(ranges_of(index), (std::vector<Range>{{30, 31}, {52, 53}}));
    EXPECT_EQ(index.tag_name(0), "xml");
    EXPECT_EQ(index.tag_name(5), "r");
    EXPECT_EQ(index.range_text(0), "t");
    EXPECT_EQ(index.range_text(1), "x");
    EXPECT_EQ(index.input, doc.data());
    EXPECT_EQ(index.len, 60u);
}

TEST(SequentialIndex, CharacterData) {
    EXPECT_EQ(seq(""), complete({}));
    EXPECT_EQ(seq("no markup at all"), complete({}));
    // Text after the last construct is not recorded.
    EXPECT_EQ(seq("abc<r/>xyz"), complete({{3, 6, K::SelfClosing, 4, 1}}, {{0, 3}}));
    EXPECT_EQ(
        seq("<a>x</a> <b/>"),
        complete({{0, 2, K::Open, 1, 1}, {4, 7, K::Close, 6, 1}, {9, 12, K::SelfClosing, 10, 1}},
                 {{3, 4}, {8, 9}}));
    // A declaration leaves no record; the data after it starts past its '>'.
    EXPECT_EQ(seq("<!DOCTYPE r>x<r/>"), complete({{13, 16, K::SelfClosing, 14, 1}}, {{12, 13}}));
}

TEST(SequentialIndex, StartTagsSkipQuotedValues) {
    EXPECT_EQ(seq(R"(<a b="x>y">)"), complete({{0, 10, K::Open, 1, 1}}));
    EXPECT_EQ(seq(R"(<a b='x"y' c="'/>">)"), complete({{0, 18, K::Open, 1, 1}}));
    // An unmatched quote skips two bytes, then the scan goes on.
    EXPECT_EQ(seq(R"(<a b="x><c/>)"),
              complete({{0, 7, K::Open, 1, 1}, {8, 11, K::SelfClosing, 9, 1}}));
    EXPECT_EQ(seq("<a b='x>"), complete({{0, 7, K::Open, 1, 1}}));
    EXPECT_EQ(seq("<a/ >"), complete({{0, 4, K::Open, 1, 1}}));
    EXPECT_EQ(seq("<a\tb='1'\n/>"), complete({{0, 10, K::SelfClosing, 1, 1}}));
    EXPECT_EQ(seq("<>"), complete({{0, 1, K::Open, 1, 0}}));
    EXPECT_EQ(seq("< a>"), complete({{0, 3, K::Open, 1, 0}}));
    EXPECT_EQ(seq("</a\n>"), complete({{0, 4, K::Close, 2, 1}}));
}

TEST(SequentialIndex, NameLengthKeepsLow16Bits) {
    const std::string doc = "<" + std::string(70000, 'n') + "/>";
    const IndexBuild build = build_sequential(doc.data(), doc.size());
    ASSERT_EQ(status_of(build), IndexStatus::Complete);
    EXPECT_EQ(build.value().tag_names[0].len, 70000 & 0xFFFF);
    EXPECT_EQ(build.value().kind(0), K::SelfClosing);
}

TEST(SequentialIndex, CommentsCDataAndInstructions) {
    EXPECT_EQ(seq("<!-- x -->"), complete({{0, 9, K::Comment, 0, 0}}));
    EXPECT_EQ(seq("<!---->"), complete({{0, 6, K::Comment, 0, 0}}));
    EXPECT_EQ(
        seq("<r><!-- a-b -- <c> --></r>"),
        complete({{0, 2, K::Open, 1, 1}, {3, 21, K::Comment, 0, 0}, {22, 25, K::Close, 24, 1}}));
    EXPECT_EQ(seq("<![CDATA[a<b]]>"), complete({{0, 14, K::CData, 0, 0}}, {{9, 12}}));
    EXPECT_EQ(seq("<![CDATA[]]>"), complete({{0, 11, K::CData, 0, 0}}));
    EXPECT_EQ(seq("<![CDATA[]]]]>"), complete({{0, 13, K::CData, 0, 0}}, {{9, 11}}));
    EXPECT_EQ(seq(R"(<?xml version="1.0"?>)"), complete({{0, 20, K::ProcessingInstruction, 2, 3}}));
    EXPECT_EQ(seq("<?pi a>b?>"), complete({{0, 9, K::ProcessingInstruction, 2, 2}}));
    EXPECT_EQ(seq("<?pi?>"), complete({{0, 5, K::ProcessingInstruction, 2, 2}}));
}

TEST(SequentialIndex, UnterminatedConstructs) {
    // Recorded with the end where the scan stopped; the reader rejects them.
    EXPECT_EQ(seq("<r><![CDATA[x"), complete({{0, 2, K::Open, 1, 1}, {3, 12, K::CData, 0, 0}}));
    EXPECT_EQ(seq("<r><![CDATA[a]b"), complete({{0, 2, K::Open, 1, 1}, {3, 14, K::CData, 0, 0}}));
    EXPECT_EQ(seq("<r><?pi x"),
              complete({{0, 2, K::Open, 1, 1}, {3, 8, K::ProcessingInstruction, 5, 2}}));
    EXPECT_EQ(seq("<!x"), complete({}));
    // Records that reach the end of the input end the build abnormally.
    EXPECT_EQ(seq("<r><!-- x"), kAbnormal);
    EXPECT_EQ(seq("<!--"), kAbnormal);
    EXPECT_EQ(seq("<r><![CDATA[x]"), kAbnormal);
    EXPECT_EQ(seq("<![CDATA["), kAbnormal);
    EXPECT_EQ(seq("<r><?pi"), kAbnormal);
    EXPECT_EQ(seq("<?"), kAbnormal);
}

TEST(SequentialIndex, InternalSubsetEndsAfterItsClosingBracket) {
    std::vector<std::string> subsets = kInternalSubsets;
    subsets.push_back(R"(<!DOCTYPE x [<!-- "unbalanced -->]>)");
    for (const std::string& subset : subsets) {
        const std::string doc = subset + "<x/>";
        const uint64_t s = subset.size();
        EXPECT_EQ(seq(doc), complete({{s, s + 3, K::SelfClosing, s + 1, 1}})) << doc;
    }
}

TEST(SequentialIndex, DocumentTypeWithoutSubsetEndsAtFirstGreaterThan) {
    // Even inside a literal: only a '[' before it announces a subset.
    const std::string doc = R"(<!DOCTYPE x SYSTEM "a>b"><x/>)";
    const uint64_t q = doc.find('>');
    const uint64_t s = doc.find("<x/>");
    EXPECT_EQ(seq(doc), complete({{s, s + 3, K::SelfClosing, s + 1, 1}}, {{q + 1, s}}));
    EXPECT_EQ(seq("<!DOCTYPE x><y>[</y>"),
              complete({{12, 14, K::Open, 13, 1}, {16, 19, K::Close, 18, 1}}, {{15, 16}}));
    // No '>' at all: the declaration is passed over as before.
    EXPECT_EQ(seq("<!DOCTYPE x [<x"), unclosed(13));
}

TEST(SequentialIndex, UnterminatedInternalSubsetEndsAbnormally) {
    for (const std::string& doc : kUnterminatedSubsets) EXPECT_EQ(seq(doc), kAbnormal) << doc;
}

// Runs of constructs that find no terminator: each must end where it did
// when every one searched the rest of the input again.
TEST(SequentialIndex, RunsOfUnterminatedConstructs) {
    for (const char* piece :
         {"<![CDATA[", "<![CDATA[]", "]<![CDATA[", "<!x", "<!--", "<?x", "<a", "<!DOCTYPE x",
          "<!DOCTYPE x [", "<!DOCTYPE x [<!x>", "<!x>]<![CDATA[<!"}) {
        std::string doc;
        for (int i = 0; i < 40; ++i) doc += piece;
        for (const std::string& d : {doc, doc + ">", "<r>" + doc + "</r>"}) {
            EXPECT_EQ(seq(d), summary_of(reference::build_sequential_reference, d)) << d;
        }
    }
}

TEST(SequentialIndex, UnclosedTags) {
    EXPECT_EQ(seq("ab<"), unclosed(2));
    EXPECT_EQ(seq("<r></"), unclosed(3));
    EXPECT_EQ(seq("<r></r"), unclosed(3));
    EXPECT_EQ(seq("<r></r "), unclosed(3));
    EXPECT_EQ(seq("<abc"), unclosed(0));
    EXPECT_EQ(seq("<a b='x'"), unclosed(0));
    EXPECT_EQ(seq("<a b='x"), unclosed(0));
    EXPECT_EQ(seq("<a/"), unclosed(0));
}

// Tag soup: start tags with quoted values of both kinds (often long enough
// to cross 64-byte blocks), stray slashes and quotes, unclosed values, end
// tags with space before '>', comments and text, cut at a random length.
std::string tag_soup(std::mt19937_64& rng) {
    static const std::string kPieces[] = {"<a",
                                          "<name",
                                          " x=\"v\"",
                                          " y='w'",
                                          " q=\"it's\"",
                                          " r='say \"hi\"'",
                                          "/",
                                          "/>",
                                          ">",
                                          "\"",
                                          "'",
                                          " ",
                                          "\n",
                                          "text",
                                          "</a>",
                                          "</a \n>",
                                          "<!--c-->",
                                          "<?p x?>",
                                          "=",
                                          " long=\"" + std::string(70, 'v') + "\"",
                                          " >=\"'>'\"",
                                          "<![CDATA[",
                                          "]",
                                          "]]>",
                                          "<!x",
                                          "<!DOCTYPE x [",
                                          "<!ENTITY e \"]>\">",
                                          "<!-- ] -->"};
    std::string out;
    const size_t pieces = rng() % 60;
    for (size_t i = 0; i < pieces; ++i) out += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
    return out.substr(0, rng() % (out.size() + 1));
}

TEST(SequentialIndex, SameAsTheByteByByteSearches) {
    std::mt19937_64 rng(4242);
    int complete = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string doc = tag_soup(rng);
        const BuildSummary expected = summary_of(reference::build_sequential_reference, doc);
        ASSERT_EQ(summary_of(build_sequential, doc), expected) << doc;
        complete += expected.status == IndexStatus::Complete && !expected.records.empty();
    }
    for (const auto& in : testing::kernel_inputs()) {
        ASSERT_EQ(summary_of(build_sequential, in.bytes),
                  summary_of(reference::build_sequential_reference, in.bytes))
            << in.name;
    }
    EXPECT_GT(complete, 2000);  // not every soup fails early
}

TEST(IndexError, Message) {
    EXPECT_EQ((IndexError{IndexError::Kind::UnclosedTag, 0}.message()), "Unclosed tag at byte 0");
    EXPECT_EQ((IndexError{IndexError::Kind::UnclosedTag, 12345678901234ULL}.message()),
              "Unclosed tag at byte 12345678901234");
    const IndexBuild build = build_sequential("<r>\n<x", 6);
    ASSERT_EQ(status_of(build), IndexStatus::Unclosed);
    EXPECT_EQ(build.error().message(), "Unclosed tag at byte 4");
}

}  // namespace
}  // namespace plovane
