// The document reader end to end: root selection, nesting checks, text
// gathering and trimming, and every reader error with its position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "element_record.h"
#include "read/document_reader.h"

namespace plovane {
namespace {

struct Read {
    SourceRef source;
    Expected<ElementRecord, ReadError> result;

    const ElementRecord& root() const { return result.value(); }
};

Read read(const std::string& doc, std::string_view root_tag) {
    SourceRef source = SharedSource::owned(doc);
    auto result = read_record(source, root_tag);
    return {std::move(source), std::move(result)};
}

// The root, failing the test when the document was rejected.
#define ASSERT_READ(r) ASSERT_TRUE((r).result) << (r).result.error().message()

std::string error_of(const std::string& doc, std::string_view root_tag) {
    Read r = read(doc, root_tag);
    if (r.result) {
        ADD_FAILURE() << doc << " was read";
        return {};
    }
    return r.result.error().message();
}

// An attribute-heavy prefix: more than five double quotes per '<', so the
// index is built from the bitmaps.
const std::string kQuoteHeavyRoot = R"(<r a="1" b="2" c="3" d="4" e="5" f="6" g="7" h="8">)";

TEST(ReadDocument, RootAtAnyDepth) {
    Read a = read("<a><b>t</b></a>", "a");
    ASSERT_READ(a);
    EXPECT_EQ(a.root().name, "a");
    EXPECT_FALSE(a.root().text.present());
    ASSERT_EQ(a.root().children.size(), 1u);
    EXPECT_EQ(a.root().children[0].name, "b");
    EXPECT_EQ(a.root().children[0].text, "t");

    Read b = read("<a><b>t</b></a>", "b");
    ASSERT_READ(b);
    EXPECT_EQ(b.root().name, "b");
    EXPECT_TRUE(b.root().children.empty());

    // Reading stops at the root's end tag: "a" is never closed.
    Read r = read("<a><r>x</r></a>", "r");
    ASSERT_READ(r);
    EXPECT_EQ(r.root().text, "x");

    Read self = read("<x><y><r k=\"v\"/></y></x>", "r");
    ASSERT_READ(self);
    EXPECT_EQ(*self.root().attrs.find("k"), "v");
    EXPECT_TRUE(self.root().children.empty());
    EXPECT_FALSE(self.root().text.present());
}

TEST(ReadDocument, FirstMatchWinsAndNestedNamesAreChildren) {
    Read r = read("<r><r>1</r></r>", "r");
    ASSERT_READ(r);
    ASSERT_EQ(r.root().children.size(), 1u);
    EXPECT_EQ(r.root().children[0].name, "r");
    EXPECT_EQ(r.root().children[0].text, "1");
    EXPECT_FALSE(r.root().text.present());

    Read second = read("<a><b>1</b><b>2</b></a>", "b");
    ASSERT_READ(second);
    EXPECT_EQ(second.root().text, "1");
}

TEST(ReadDocument, RootNamesCompareExactly) {
    EXPECT_TRUE(read("<ns:r/>", "ns:r").result);
    EXPECT_EQ(error_of("<ns:r/>", "r"), "root tag <r> not found in document");
    EXPECT_EQ(error_of("<R/>", "r"), "root tag <r> not found in document");
    EXPECT_EQ(error_of("<a/>", ""), "root tag <> not found in document");
    EXPECT_EQ(error_of("", "r"), "root tag <r> not found in document");
    EXPECT_EQ(error_of("just text", "r"), "root tag <r> not found in document");
}

TEST(ReadDocument, ChildrenInDocumentOrder) {
    Read r = read("<r><c i=\"0\"/><c i=\"1\">x</c><d><e/></d><c i=\"3\"/></r>", "r");
    ASSERT_READ(r);
    const auto& kids = r.root().children;
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(*kids[0].attrs.find("i"), "0");
    EXPECT_EQ(kids[1].text, "x");
    EXPECT_EQ(kids[2].name, "d");
    ASSERT_EQ(kids[2].children.size(), 1u);
    EXPECT_EQ(kids[2].children[0].name, "e");
    EXPECT_EQ(*kids[3].attrs.find("i"), "3");
}

TEST(ReadDocument, TextIsJoinedAndTrimmed) {
    auto text_of = [](const std::string& doc) {
        Read r = read(doc, "r");
        if (!r.result) return "error: " + r.result.error().message();
        return r.root().text.present() ? std::string(r.root().text.view()) : "<absent>";
    };
    EXPECT_EQ(text_of("<r/>"), "<absent>");
    EXPECT_EQ(text_of("<r></r>"), "<absent>");
    EXPECT_EQ(text_of("<r>  </r>"), "<absent>");
    EXPECT_EQ(text_of("<r>&#32;</r>"), "<absent>");  // trimming follows decoding
    EXPECT_EQ(text_of("<r>\n <c/>\n <c/>\n</r>"), "<absent>");
    EXPECT_EQ(text_of("<r> x <b/> y </r>"), "x  y");
    EXPECT_EQ(text_of("<r>1<c/>2<c/>3</r>"), "123");
    EXPECT_EQ(text_of("<r>1<c>skip</c>2</r>"), "12");
    EXPECT_EQ(text_of("<r>\n  <c/>\n  x\n</r>"), "x");
    EXPECT_EQ(text_of("<r>\n  <c/>&amp;<c/> \n</r>"), "&");
    EXPECT_EQ(text_of("<r>a<![CDATA[<b>&amp;]]>c</r>"), "a<b>&amp;c");
    EXPECT_EQ(text_of("<r><![CDATA[ x ]]></r>"), "x");
    EXPECT_EQ(text_of("<r><![CDATA[]]></r>"), "<absent>");
    EXPECT_EQ(text_of("<r><!-- x --><?pi data?>t</r>"), "t");
    EXPECT_EQ(text_of("<r>a\r\nb</r>"), "a\r\nb");
    // Unicode White_Space at the ends: no-break space, ideographic space.
    EXPECT_EQ(text_of("<r>\xC2\xA0x\xE3\x80\x80y\xE3\x80\x80</r>"), "x\xE3\x80\x80y");
    // Zero width space is not White_Space.
    EXPECT_EQ(text_of("<r>\xE2\x80\x8B</r>"), "\xE2\x80\x8B");
    EXPECT_EQ(text_of("<r>\xC3\xA9&#x1F600;</r>"), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(ReadDocument, UnchangedTextIsASpanRewrittenTextOwned) {
    struct Case {
        const char* doc;
        bool span;
        uint64_t start;  // for spans
    };
    for (const Case& c :
         {Case{"<r>x</r>", true, 3}, Case{"<r>  x y \n</r>", true, 5},
          Case{"<r><![CDATA[cd]]></r>", true, 12}, Case{"<r>\n <c/>x</r>", false, 0},
          Case{"<r>x<c/></r>", true, 3}, Case{"<r>a&amp;b</r>", false, 0},
          Case{"<r>a<c/>b</r>", false, 0}, Case{"<r>a<![CDATA[b]]></r>", false, 0}}) {
        Read r = read(c.doc, "r");
        ASSERT_READ(r);
        const TextRef& text = r.root().text;
        ASSERT_TRUE(text.present()) << c.doc;
        EXPECT_EQ(text.is_span(), c.span) << c.doc;
        if (c.span) {
            EXPECT_EQ(text.source(), r.source.get());
            EXPECT_EQ(text.span_start(), c.start) << c.doc;
        }
    }
}

TEST(ReadDocument, NamesAndUnchangedValuesAreSpansOfTheSource) {
    Read r = read("<r a=\"1\" b=\"&lt;\"><c/></r>", "r");
    ASSERT_READ(r);
    EXPECT_TRUE(r.root().name.is_span());
    EXPECT_EQ(r.root().name.span_start(), 1u);
    EXPECT_TRUE(r.root().children[0].name.is_span());
    // Unchanged values point into the document, decoded ones do not.
    EXPECT_EQ(r.root().attrs.find("a")->data(), r.source->data() + 6);
    EXPECT_EQ(*r.root().attrs.find("b"), "<");
    EXPECT_EQ(r.root().attrs.find("b")->size(), 1u);
    EXPECT_NE(r.root().attrs.find("b")->data(), r.source->data() + 13);
    // Names r and c, keys a and b, value of a: five references besides ours.
    EXPECT_EQ(r.source->use_count(), 6u);
    r.result = unexpected(ReadError::malformed("", 0));
    EXPECT_EQ(r.source->use_count(), 1u);
}

TEST(ReadDocument, FailedReadsKeepNoReference) {
    for (const char* doc : {"<r a=\"1\"><c b=\"2\">x</c><c b=\"3\">&bad;</c></r>",
                            "<r a=\"1\"><c>text</c></x>", "<r a=\"1\"><c>t</c>"}) {
        Read r = read(doc, "r");
        ASSERT_FALSE(r.result) << doc;
        EXPECT_EQ(r.source->use_count(), 1u) << doc;
    }
}

TEST(ReadDocument, OneHashKeyPairPerCall) {
    const HashKeys before = take_hash_keys();
    Read r = read("<r a=\"1\" b=\"2\"><c x=\"1\"/><c y=\"2\"/><d/></r>", "r");
    ASSERT_READ(r);
    const HashKeys after = take_hash_keys();
    EXPECT_EQ(after.k0, before.k0 + 2);

    // All maps of one document share the pair, so equal attribute sets
    // iterate alike.
    std::string attrs = " a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\"";
    Read same = read("<r><c" + attrs + "/><c" + attrs + "/></r>", "r");
    ASSERT_READ(same);
    std::vector<std::string> orders;
    for (const ElementRecord& c : same.root().children) {
        std::string order;
        c.attrs.for_each([&](std::string_view k, std::string_view) { order += k; });
        orders.push_back(order);
    }
    EXPECT_EQ(orders[0], orders[1]);
}

TEST(ReadDocument, AttributesBeforeTheRoot) {
    // Start tags that only enclose the root are not scanned ...
    EXPECT_TRUE(read("<a x=1><r/></a>", "r").result);
    // ... but empty-element tags always are.
    EXPECT_EQ(error_of("<a x=1/><r/>", "r"),
              "malformed XML at byte 5: value of attribute 'x' is not quoted");
    EXPECT_EQ(error_of("< a><r/>", "r"),
              "malformed XML at byte 0: expected element name after '<'");
}

TEST(ReadDocument, EndTagErrors) {
    EXPECT_EQ(error_of("<r></x>", "r"), "malformed XML at byte 3: expected </r>, found </x>");
    EXPECT_EQ(error_of("<a><b></a><r/>", "r"),
              "malformed XML at byte 6: expected </b>, found </a>");
    EXPECT_EQ(error_of("</x><r/>", "r"), "malformed XML at byte 0: unexpected end tag </x>");
    EXPECT_EQ(error_of("<a></a></a><r/>", "r"), "malformed XML at byte 7: unexpected end tag </a>");
    EXPECT_EQ(error_of("<r></r x>", "r"), "malformed XML at byte 3: malformed end tag </r>");
    EXPECT_EQ(error_of("<a></a x><r/>", "r"), "malformed XML at byte 3: malformed end tag </a>");
    EXPECT_TRUE(read("<r></r >", "r").result);
    EXPECT_TRUE(read("<r></r \t\r\n>", "r").result);
    EXPECT_TRUE(read("<r></r \xC2\xA0\xE2\x80\xA8>", "r").result);
    EXPECT_EQ(error_of("<r></r \xE2\x80\x8B>", "r"),
              "malformed XML at byte 3: malformed end tag </r>");
}

TEST(ReadDocument, UnclosedAndMissingRoot) {
    EXPECT_EQ(error_of("<a>", "r"), "root tag <r> not found in document");
    EXPECT_EQ(error_of("<a>", "a"), "unexpected end of document: <a> is never closed");
    EXPECT_EQ(error_of("<r><a></a>", "r"), "unexpected end of document: <r> is never closed");
    EXPECT_EQ(error_of("<r><a><b/>", "r"), "unexpected end of document: <a> is never closed");
}

TEST(ReadDocument, CommentsCdataAndProcessingInstructions) {
    EXPECT_TRUE(read("<?xml version=\"1.0\"?><!DOCTYPE r><!-- c --><r><!----></r>", "r").result);
    EXPECT_EQ(error_of("<r><!-- x", "r"), "malformed XML at byte 9: unexpected end of document");
    EXPECT_EQ(error_of("<r><![CDATA[x", "r"),
              "malformed XML at byte 3: unterminated CDATA section");
    EXPECT_EQ(error_of("<r><![CDATA[x]", "r"),
              "malformed XML at byte 14: unexpected end of document");
    EXPECT_EQ(error_of("<r><?pi x", "r"),
              "malformed XML at byte 3: unterminated processing instruction");
    EXPECT_EQ(error_of("<r><?pi", "r"), "malformed XML at byte 7: unexpected end of document");
    // Checked before the root as well.
    EXPECT_EQ(error_of("<![CDATA[x]<r/>", "r"),
              "malformed XML at byte 0: unterminated CDATA section");
    EXPECT_EQ(error_of("<?pi x<r/>", "r"),
              "malformed XML at byte 0: unterminated processing instruction");
}

TEST(ReadDocument, IndexAndReferenceErrors) {
    EXPECT_EQ(error_of("<r><a", "r"), "malformed XML: Unclosed tag at byte 3");
    EXPECT_EQ(error_of("<r/><x", "r"), "malformed XML: Unclosed tag at byte 4");
    EXPECT_EQ(error_of("<r>&bogus;</r>", "r"), "unknown entity reference '&bogus;' at byte 3");
    EXPECT_EQ(error_of("<r>\xC3\xA9&x;</r>", "r"), "unknown entity reference '&x;' at byte 5");
    EXPECT_EQ(error_of("<r>a &#0; b</r>", "r"),
              "malformed XML at byte 5: invalid character reference '&#0;'");
    EXPECT_EQ(error_of("<r>AT&T</r>", "r"),
              "malformed XML at byte 5: unterminated entity reference");
    EXPECT_EQ(error_of("<r a=1/>", "r"),
              "malformed XML at byte 5: value of attribute 'a' is not quoted");
    // Text before a bad tag is checked first.
    EXPECT_EQ(error_of("<r>&bad;<a x=1/></r>", "r"), "unknown entity reference '&bad;' at byte 3");
    // Text outside the root is never read.
    EXPECT_TRUE(read("&bad;<r/>&worse;", "r").result);
}

TEST(ReadDocument, NothingAfterTheRootIsLookedAt) {
    EXPECT_TRUE(read("<r/><x></y>", "r").result);
    EXPECT_TRUE(read("<r></r></x><y a=1 a=2>&nope;<!-- - -->", "r").result);
}

TEST(ReadDocument, QuoteHiddenMarkupUnderTheBitmapIndex) {
    // The apostrophe of "it's" hides "<b/>" from the bitmaps until the next
    // apostrophe, so it lies inside character data. build_index itself turns
    // such documents over to byte searches, so the walk is run directly.
    const std::string doc = kQuoteHeavyRoot + "it's <b/> isn't</r>";
    SourceRef source = SharedSource::owned(doc);
    auto hidden = read_record(source, "r", build_from_bitmaps);
    ASSERT_FALSE(hidden);
    EXPECT_EQ(
        hidden.error().message(),
        "malformed XML at byte " + std::to_string(kQuoteHeavyRoot.size() + 5) + ": unexpected '<'");
    // Through build_index the same document reads with "b" as a child.
    Read fallback = read(doc, "r");
    ASSERT_READ(fallback);
    EXPECT_EQ(fallback.root().children.size(), 1u);
    EXPECT_EQ(fallback.root().text, "it's  isn't");

    // An unterminated comment reaches the reader as a Comment record.
    EXPECT_EQ(error_of(kQuoteHeavyRoot + "<!-- x </r>", "r"),
              "malformed XML at byte " + std::to_string(kQuoteHeavyRoot.size()) +
                  ": unterminated comment");
    // Ends in "-->" but is shorter than "<!---->".
    EXPECT_EQ(error_of(kQuoteHeavyRoot + "<!-->", "r"), "malformed XML at byte " +
                                                            std::to_string(kQuoteHeavyRoot.size()) +
                                                            ": unterminated comment");
    Read ok = read(kQuoteHeavyRoot + "<c x=\"a>b\"/>t</r>", "r");
    ASSERT_READ(ok);
    EXPECT_EQ(*ok.root().children[0].attrs.find("x"), "a>b");
    EXPECT_EQ(ok.root().text, "t");
}

TEST(ReadDocument, OverlongNamesAreShortenedByTheIndex) {
    const std::string n65536(65536, 'n'), n65537(65537, 'n');
    EXPECT_EQ(error_of("<r><" + n65536 + "/></r>", "r"),
              "malformed XML at byte 3: expected element name after '<'");
    EXPECT_EQ(error_of("<r><" + n65537 + "/></r>", "r"),
              "malformed XML at byte 5: expected whitespace before attribute");
    EXPECT_EQ(error_of("<" + n65537 + "></" + n65537 + "><r/>", "r"),
              "malformed XML at byte 65539: malformed end tag </n>");
}

TEST(ReadDocument, FlatFormIsPostOrderWithChildCounts) {
    SourceRef source = SharedSource::owned("<x><r k='v'><a><b/>t</a><c/>u<a/></r><q/></x>");
    auto flat = read_document(source, "r");
    ASSERT_TRUE(flat) << flat.error().message();
    // Each element after its descendants, the root last.
    std::vector<std::string> names;
    std::vector<uint64_t> counts;
    for (const FlatElement& e : flat.value()) {
        names.emplace_back(e.name.view());
        counts.push_back(e.child_count);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b", "a", "c", "a", "r"}));
    EXPECT_EQ(counts, (std::vector<uint64_t>{0, 1, 0, 0, 3}));
    EXPECT_EQ(flat.value()[1].text, "t");
    EXPECT_EQ(flat.value()[4].text, "u");
    ASSERT_TRUE(flat.value()[4].attrs.find("k"));

    // Rebuilt by value, with every child in its place.
    ElementRecord root = record_tree(std::move(flat).value());
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].name, "a");
    ASSERT_EQ(root.children[0].children.size(), 1u);
    EXPECT_EQ(root.children[0].children[0].name, "b");
    EXPECT_EQ(root.children[1].name, "c");
    EXPECT_EQ(root.children[2].name, "a");
    EXPECT_TRUE(root.children[2].children.empty());

    // A self-closing root is a single element.
    auto single = read_document(source, "q");
    ASSERT_TRUE(single);
    ASSERT_EQ(single.value().size(), 1u);
    EXPECT_EQ(single.value()[0].child_count, 0u);
}

TEST(ReadDocument, MillionLevelsDeep) {
    constexpr size_t kDepth = 1000000;
    std::string doc;
    doc.reserve(kDepth * 7 + 16);
    for (size_t i = 0; i < kDepth; ++i) doc += "<a>";
    doc += "leaf";
    for (size_t i = 0; i < kDepth; ++i) doc += "</a>";

    Read r = read(doc, "a");
    ASSERT_READ(r);
    size_t depth = 1;
    const ElementRecord* node = &r.root();
    while (!node->children.empty()) {
        ASSERT_EQ(node->children.size(), 1u);
        node = &node->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(node->text, "leaf");
    r.result = unexpected(ReadError::malformed("", 0));  // releases the chain
    EXPECT_EQ(r.source->use_count(), 1u);

    // Unclosed at full depth: the open stack is released on the error path.
    EXPECT_EQ(error_of(doc.substr(0, kDepth * 3), "a"),
              "unexpected end of document: <a> is never closed");
    // The root below a million enclosing elements.
    std::string outer;
    for (size_t i = 0; i < kDepth; ++i) outer += "<b>";
    Read deep_root = read(outer + "<r>x</r>", "r");
    ASSERT_READ(deep_root);
    EXPECT_EQ(deep_root.root().text, "x");
}

}  // namespace
}  // namespace plovane
