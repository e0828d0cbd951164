// The document reader end to end: root selection, nesting checks, text
// gathering and trimming, and reader errors with their positions (those of
// tests/python/test_read.py are not repeated here).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "element_record.h"
#include "random_documents.h"
#include "read/document_reader.h"

namespace plovane {
namespace {

struct Read {
    SourceRef source;
    Expected<ElementRecord, ReadError> result;

    const ElementRecord& root() const { return result.value(); }
    // The tree's shape, or the error's message.
    std::string outcome() const { return outcome_of(result); }
};

Read read(const std::string& doc, std::string_view root_tag) {
    SourceRef source = SharedSource::owned(doc);
    auto result = read_record(source, root_tag);
    return {std::move(source), std::move(result)};
}

// An attribute-heavy prefix: more than five double quotes per '<', so the
// index is built from the bitmaps.
const std::string kQuoteHeavyRoot = R"(<r a="1" b="2" c="3" d="4" e="5" f="6" g="7" h="8">)";
const std::string kQuoteHeavyShape = "r[a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8]";
const std::string kLong(65537, 'n');

struct Case {
    std::string doc, root, outcome;
};

const Case kCases[] = {
    // The root at any depth, the first match winning; reading stops at its end.
    {"<x><y><r k=\"v\"/></y></x>", "r", "r[k=v]"},
    {"<a><b>1</b><b>2</b></a>", "b", "b'1'"},
    {"<r><c i=\"0\"/><c i=\"1\">x</c><d><e/></d><c i=\"3\"/></r>", "r",
     "r(c[i=0] c[i=1]'x' d(e) c[i=3])"},
    {"<r a=\"1\" b=\"&lt;\"><c/></r>", "r", "r[a=1 b=<](c)"},
    {"<r><r>1</r></r>", "r", "r(r'1')"},
    // Root names compare exactly.
    {"<ns:r/>", "ns:r", "ns:r"},
    {"<ns:r/>", "r", "root tag <r> not found in document"},
    {"<R/>", "r", "root tag <r> not found in document"},
    {"just text", "r", "root tag <r> not found in document"},
    // Text is joined, decoded, then trimmed of Unicode White_Space.
    {"<r>\n <c/>\n <c/>\n</r>", "r", "r(c c)"},
    {"<r>\n  <c/>&amp;<c/> \n</r>", "r", "r'&'(c c)"},
    {"<r><![CDATA[ x ]]></r>", "r", "r'x'"},
    {"<r>a<![CDATA[<b>&amp;]]>c</r>", "r", "r'a<b>&amp;c'"},
    {"<r><![CDATA[]]></r>", "r", "r"},
    {"<r>a\r\nb</r>", "r", "r'a\r\nb'"},
    {"<r>\xC2\xA0x\xE3\x80\x80y\xE3\x80\x80</r>", "r", "r'x\xE3\x80\x80y'"},
    {"<r>\xE2\x80\x8B</r>", "r", "r'\xE2\x80\x8B'"},  // zero width space is kept
    {"<r>\xC3\xA9&#x1F600;</r>", "r", "r'\xC3\xA9\xF0\x9F\x98\x80'"},
    // Start tags before the root are not scanned, but empty-element tags are.
    {"< a><r/>", "r", "malformed XML at byte 0: expected element name after '<'"},
    // End tags.
    {"<a><b></a><r/>", "r", "malformed XML at byte 6: expected </b>, found </a>"},
    {"<a></a></a><r/>", "r", "malformed XML at byte 7: unexpected end tag </a>"},
    {"<a></a x><r/>", "r", "malformed XML at byte 3: malformed end tag </a>"},
    {"<r></r \t\r\n>", "r", "r"},
    {"<r></r \xC2\xA0\xE2\x80\xA8>", "r", "r"},
    {"<r></r \xE2\x80\x8B>", "r", "malformed XML at byte 3: malformed end tag </r>"},
    {"<r><a><b/>", "r", "unexpected end of document: <a> is never closed"},
    // Comments, CDATA sections and processing instructions, before the root too.
    {"<?xml version=\"1.0\"?><!DOCTYPE r><!-- c --><r><!----></r>", "r", "r"},
    {"<r><![CDATA[x]", "r", "malformed XML at byte 14: unexpected end of document"},
    {"<r><?pi", "r", "malformed XML at byte 7: unexpected end of document"},
    {"<![CDATA[x]<r/>", "r", "malformed XML at byte 0: unterminated CDATA section"},
    {"<?pi x<r/>", "r", "malformed XML at byte 0: unterminated processing instruction"},
    // Index and reference errors; text before a bad tag is checked first.
    {"<r>&bad;<a x=1/></r>", "r", "unknown entity reference '&bad;' at byte 3"},
    // Nothing outside the root is looked at.
    {"&bad;<r/>&worse;", "r", "r"},
    {"<r/><x></y>", "r", "r"},
    {"<r></r></x><y a=1 a=2>&nope;<!-- - -->", "r", "r"},
    // Quote-heavy documents: build_index sends the hidden "<b/>" to byte
    // searches; unterminated comments reach the reader as Comment records.
    {kQuoteHeavyRoot + "it's <b/> isn't</r>", "r", kQuoteHeavyShape + "'it's  isn't'(b)"},
    {kQuoteHeavyRoot + "<c x=\"a>b\"/>t</r>", "r", kQuoteHeavyShape + "'t'(c[x=a>b])"},
    {kQuoteHeavyRoot + "<!-- x </r>", "r", "malformed XML at byte 51: unterminated comment"},
    {kQuoteHeavyRoot + "<!-->", "r", "malformed XML at byte 51: unterminated comment"},
    // Names past 65535 bytes are shortened by the index.
    {"<r><" + kLong.substr(1) + "/></r>", "r",
     "malformed XML at byte 3: expected element name after '<'"},
    {"<r><" + kLong + "/></r>", "r",
     "malformed XML at byte 5: expected whitespace before attribute"},
    {"<" + kLong + "></" + kLong + "><r/>", "r",
     "malformed XML at byte 65539: malformed end tag </n>"},
    // An error of the index comes first, after the root or a reading error.
    {"<r/><a></a><x", "r", "malformed XML: Unclosed tag at byte 11"},
    {"<r><a></b></r><x", "r", "malformed XML: Unclosed tag at byte 14"},
    {"<r><a></b></r><x/></y>", "r", "malformed XML at byte 6: expected </a>, found </b>"},
};

TEST(ReadDocument, TreesAndErrors) {
    for (const Case& c : kCases) EXPECT_EQ(read(c.doc, c.root).outcome(), c.outcome) << c.doc;
}

// Read over the byte-search index a few records at a time, a document gives
// what it gives over that whole index: the same tree, or the same error.
TEST(ReadDocument, InBatchesAsOverTheWholeIndex) {
    const auto same_in_batches = [](const std::string& doc, std::string_view root) {
        SourceRef source = SharedSource::owned(doc);
        const std::string expected = outcome_of(read_record(source, root, build_sequential));
        for (uint64_t batch : {1, 2, 3, 5}) {
            ASSERT_EQ(outcome_of(read_record_in_batches(source, root, batch)), expected)
                << "batches of " << batch << ": " << doc;
        }
    };
    for (const Case& c : kCases) same_in_batches(c.doc, c.root);
    // Text between declarations, which make no record: batches are cut by
    // their count of text ranges too, and an error in such text is told
    // only if a record follows it (the end of the input comes first else).
    // An error held over batches of text alone must not give way to the
    // clean text of a later one.
    for (const char* doc : {"<r>a<!x>b<!y>c&amp;<!z>d</r>", "<r>a<!x>&bogus;<!y>c<x/></r>",
                            "<r>a<!x>&bogus;<!y>c<!z>d<x/></r>", "<r>a<!x>&bogus;<!y",
                            "<r>a<!x>&bogus;<!y>", "<r><x/>a<!x>b<!y"}) {
        same_in_batches(doc, "r");
    }
    // Random documents, whole and cut short, and each with a stray '<'
    // inserted somewhere: before, inside or after the root.
    testing::DocumentGenerator gen(31, {false, 4, 40});
    std::mt19937_64 rng(5);
    for (int i = 0; i < 300; ++i) {
        const std::string doc = gen.next();
        const std::string root = i % 3 == 0 ? "a" : i % 3 == 1 ? "item" : "g";
        same_in_batches(doc, root);
        same_in_batches(doc.substr(0, rng() % (doc.size() + 1)), root);
        std::string stray = doc;
        stray.insert(rng() % (doc.size() + 1), "<");
        same_in_batches(stray, root);
    }
}

TEST(ReadDocument, QuoteHiddenMarkupUnderTheBitmapIndexAlone) {
    // The apostrophe of "it's" hides "<b/>" from the bitmaps, so it lies
    // inside character data.
    SourceRef source = SharedSource::owned(kQuoteHeavyRoot + "it's <b/> isn't</r>");
    auto hidden = read_record(source, "r", build_from_bitmaps);
    ASSERT_FALSE(hidden);
    EXPECT_EQ(hidden.error().message(), "malformed XML at byte 56: unexpected '<'");
}

}  // namespace
}  // namespace plovane
