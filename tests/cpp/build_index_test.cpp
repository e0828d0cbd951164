// The choice of strategy from the first 4096 bytes, and the return to byte
// searches when quotes outside tags may have hidden markup from the bitmaps.
#include <gtest/gtest.h>

#include <string>

#include "index/structural_index.h"
#include "index_records.h"

namespace plovane {
namespace {

struct Built {
    BuildSummary summary;
    IndexPath path;
};

Built built(std::string_view doc) {
    IndexPath path;
    return {summary_of(build_index(doc.data(), doc.size(), path)), path};
}

// `n` double-quoted attributes.
std::string attrs(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += " a" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"";
    return out;
}

TEST(BuildIndex, SampleRatioChoosesTheStrategy) {
    EXPECT_EQ(built("").path, IndexPath::Sequential);
    EXPECT_EQ(built("").summary, seq(""));
    // No '<': the divisor is 1.
    EXPECT_EQ(built(R"("a" "b" "c")").path, IndexPath::Bitmaps);
    EXPECT_EQ(built(R"("a" "b")").path, IndexPath::Sequential);
    // 10 quotes per 2 '<' is exactly 5.0; 11 is more.
    EXPECT_EQ(built("<a" + attrs(5) + "/><b/>").path, IndexPath::Sequential);
    const std::string eleven = "<a" + attrs(5) + R"( q='"'/><b/>)";
    EXPECT_EQ(built(eleven).path, IndexPath::Bitmaps);
    EXPECT_EQ(built(eleven).summary, seq(eleven));
    // Apostrophes do not count.
    std::string apostrophes;
    for (int i = 0; i < 50; ++i) apostrophes += "<a b='1' c='2' d='3' e='4' f='5' g='6'/>";
    EXPECT_EQ(built(apostrophes).path, IndexPath::Sequential);
    // The sequential strategy's failures are handed back.
    EXPECT_EQ(built("<r><!-- x").summary.status, IndexStatus::AbnormalEnd);
    EXPECT_EQ(built("<r>a<").summary, (BuildSummary{IndexStatus::Unclosed, 4, {}, {}}));
}

TEST(BuildIndex, OnlyTheFirst4096BytesAreSampled) {
    std::string doc = "<r>";
    while (doc.size() < 4096) doc += "<p>plain text</p>";
    for (int i = 0; i < 200; ++i) doc += "<e" + attrs(8) + "/>";
    doc += "</r>";
    EXPECT_EQ(built(doc).path, IndexPath::Sequential);
    EXPECT_EQ(built(doc.substr(4096 - 3)).path, IndexPath::Bitmaps);
}

// An SVG whose first 4 KiB are attribute values, with text holding apostrophes.
std::string svg(const std::string& text_part) {
    std::string doc = R"(<svg xmlns="http://www.w3.org/2000/svg" width="640" height="480">)";
    doc += text_part;
    for (int i = 0; i < 120; ++i) {
        doc += R"(<rect x="1" y="2" width="30" height="40" fill="#c0ffee" stroke="none"/>)";
    }
    return doc + "</svg>";
}

TEST(BuildIndex, QuotesInTextSendTheDocumentToByteSearches) {
    const std::string cases[] = {
        // One apostrophe: the classifier ends inside a quoted region.
        svg("<title>Don't panic</title>"),
        // Two: the markup between them lies inside character data.
        svg("<title>Don't panic</title><desc>It's fine</desc>"),
        // The hidden markup is the last in the document, after a visible comment.
        R"(<r)" + attrs(12) + R"(/><!-- it's --><b/><!-- don't -->)",
        // A visible '<' left without a visible '>'.
        R"(<r)" + attrs(12) + R"(/>it's<x '<y)",
        // The case from the bitmap strategy's own description.
        R"(<r)" + attrs(12) + "><p>it's</p><q" + attrs(2) + "/></r>",
    };
    for (const std::string& doc : cases) {
        SCOPED_TRACE(doc);
        ASSERT_NE(bits(doc), seq(doc)) << "the bitmaps alone would be right";
        const Built result = built(doc);
        EXPECT_EQ(result.path, IndexPath::BitmapsRejected);
        EXPECT_EQ(result.summary, seq(doc));
    }
    const Built title = built(svg("<title>Don't panic</title>"));
    ASSERT_EQ(title.summary.status, IndexStatus::Complete);
    EXPECT_EQ(title.summary.records.size(), 124u);
}

TEST(BuildIndex, QuoteHeavyWellFormedDocumentStaysOnBitmaps) {
    std::string doc = R"(<?xml version="1.0"?><!DOCTYPE svg><svg viewBox="0 0 10 10">)";
    doc += R"(<title lang="en">Plain title</title><!-- a <comment> -->)";
    for (int i = 0; i < 300; ++i) {
        doc += R"(<g id="g)" + std::to_string(i) + R"(" note="it's > 3 & 'fine'" class="c")";
        doc += R"( fill="red" data-x='say "hi"'><path d="M 0 0 L 10 10" fill="none")";
        doc += R"x( stroke="#000" stroke-width="1" opacity="0.5" transform="rotate(45)")x";
        doc += R"( id="p"/>)";
        if (i % 4 == 0) doc += "<![CDATA[a < b]]>";
        doc += "</g>\n";
    }
    doc += "</svg>";
    const Built result = built(doc);
    EXPECT_EQ(result.path, IndexPath::Bitmaps);
    EXPECT_EQ(result.summary, seq(doc));
    EXPECT_EQ(result.summary.records.size(), 5u + 3 * 300 + 75 + 1);
    // On malformed input the bitmaps keep their own result: a final '<' is
    // dropped by them and rejected by byte searches.
    const std::string cut = "<r" + attrs(12) + "/><";
    EXPECT_EQ(built(cut).path, IndexPath::Bitmaps);
    EXPECT_EQ(built(cut).summary, bits(cut));
    EXPECT_EQ(seq(cut).status, IndexStatus::Unclosed);
}

}  // namespace
}  // namespace plovane
