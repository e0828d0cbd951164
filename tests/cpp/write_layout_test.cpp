// Layout of the serializer's output: line feeds, indentation, empty elements,
// text placement, attributes, the declaration, deep trees and the release of
// records while they are written.
#include <gtest/gtest.h>

#include <string>

#include "storage/shared_source.h"
#include "write/element_writer.h"
#include "write/memory_sink.h"
#include "write/xml_writer.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

using testing::Element;

constexpr std::string_view kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

ElementRecord catalog() {
    return Element("catalog")
        .attr("id", "7")
        .child(Element("book").attr("lang", "en").text("A & B"))
        .child(Element("note"))
        .child(Element("shelf").text("x").child(Element("item")));
}

TEST(MemorySink, GrowsAcrossManyAppendsAndMovesWithItsBytes) {
    MemorySink sink;
    EXPECT_EQ(sink.size(), 0u);
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::string piece(i % 700, static_cast<char>('a' + i % 26));
        sink.append(piece);
        sink.append_spaces(i % 3);
        expected += piece + std::string(i % 3, ' ');
    }
    MemorySink moved = std::move(sink);
    EXPECT_EQ(moved.view(), expected);
    EXPECT_EQ(sink.size(), 0u);
    const ElementRecord tree = catalog();
    EXPECT_EQ(write_to_memory(write_list_of(tree), 4, true).view(), write_to_string(tree, 4, true));
}

TEST(WriteLayout, WorkedExampleByteForByte) {
    EXPECT_EQ(write_to_string(catalog(), 4, true),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<catalog id=\"7\">\n"
              "    <book lang=\"en\">A &amp; B</book>\n"
              "    <note/>\n"
              "    <shelf>x<item/>\n"
              "    </shelf>\n"
              "</catalog>");
    EXPECT_EQ(write_to_string(catalog(), 0, false),
              "<catalog id=\"7\">\n"
              "<book lang=\"en\">A &amp; B</book>\n"
              "<note/>\n"
              "<shelf>x<item/>\n"
              "</shelf>\n"
              "</catalog>");
}

TEST(WriteLayout, DeclarationIsTheExact39Bytes) {
    EXPECT_EQ(kXmlDeclaration.size(), 39u);
    EXPECT_EQ(kXmlDeclaration, kDecl);
}

TEST(WriteLayout, LoneRootEmptyTextAndTextOnly) {
    EXPECT_EQ(write_to_string(Element("r"), 4, true), std::string(kDecl) + "<r/>");
    EXPECT_EQ(write_to_string(Element("r").text(""), 4, true), std::string(kDecl) + "<r></r>");
    EXPECT_EQ(write_to_string(Element("r").text("hello"), 4, false), "<r>hello</r>");
}

TEST(WriteLayout, AttributesAreDoubleQuotedAndEscapedNamesAreNot) {
    EXPECT_EQ(write_to_string(Element("e").attr("k", ""), 4, false), "<e k=\"\"/>");
    EXPECT_EQ(write_to_string(Element("e").attr("k", "v"), 4, false), "<e k=\"v\"/>");
    EXPECT_EQ(write_to_string(Element("e").attr("k", "'\t\n\r\"").text("\t\n\r'"), 4, false),
              "<e k=\"&apos;&#9;&#10;&#13;&quot;\">\t\n\r&apos;</e>");
    EXPECT_EQ(write_to_string(Element("a<&b").attr("c&<\"", "x"), 4, false), "<a<&b c&<\"=\"x\"/>");
    EXPECT_EQ(write_to_string(Element("").child(Element("")), 1, false), "<>\n </>\n</>");
}

TEST(WriteLayout, AttributesFollowTheMapIterationOrder) {
    ElementRecord record = Element("e").attr("a", "1").attr("b", "2").attr("c", "3").attr("d", "4");
    std::string expected = "<e";
    record.attrs.for_each([&](std::string_view key, std::string_view value) {
        expected += " " + std::string(key) + "=\"" + std::string(value) + "\"";
    });
    expected += "/>";
    EXPECT_EQ(write_to_string(record, 4, false), expected);
}

TEST(WriteLayout, FirstChildFollowsTextLaterSiblingsAndEndTagOnNewLines) {
    EXPECT_EQ(
        write_to_string(Element("p").text("t").child(Element("a")).child(Element("b")), 4, false),
        "<p>t<a/>\n    <b/>\n</p>");
    // Text written verbatim, even when it has line feeds and spaces.
    EXPECT_EQ(
        write_to_string(Element("p").text(" \n x \n").child(Element("a").text("y")), 2, false),
        "<p> \n x \n<a>y</a>\n</p>");
}

TEST(WriteLayout, IndentIsSpacesTimesLevel) {
    ElementRecord tree =
        Element("l0").child(Element("l1").child(Element("l2").child(Element("l3").attr("k", "v"))));
    EXPECT_EQ(write_to_string(tree, 2, false),
              "<l0>\n"
              "  <l1>\n"
              "    <l2>\n"
              "      <l3 k=\"v\"/>\n"
              "    </l2>\n"
              "  </l1>\n"
              "</l0>");
    EXPECT_EQ(write_to_string(Element("a").child(Element("b").child(Element("c"))), 1, false),
              "<a>\n <b>\n  <c/>\n </b>\n</a>");
}

TEST(WriteLayout, ElementAfterATextlessSiblingSubtreeAndEmptyTextChild) {
    EXPECT_EQ(write_to_string(Element("r")
                                  .child(Element("a").child(Element("b").text("")))
                                  .child(Element("c").text("")),
                              3, false),
              "<r>\n   <a>\n      <b></b>\n   </a>\n   <c></c>\n</r>");
}

TEST(WriteLayout, StringSpansOfASharedSourceAreWrittenResolved) {
    SourceRef source = SharedSource::owned("<x>name&text</x>");
    ElementRecord record;
    record.name = TextRef::span(source, 3, 7);
    record.text = TextRef::span(source, 7, 12);
    EXPECT_EQ(write_to_string(record, 4, false), "<name>&amp;text</name>");
}

TEST(WriteLayout, MillionDeepChainIsWrittenWithoutRecursion) {
    constexpr uint64_t n = 1'000'000;
    const std::string out = write_to_string(testing::chain(n), 0, false);
    // n-1 open elements of "<e>" and "</e>", each but the root behind a line
    // feed at both tags, and the innermost "<e/>".
    EXPECT_EQ(out.size(), (n - 1) * (3 + 4 + 2) + 4);
    EXPECT_EQ(out.substr(0, 8), "<e>\n<e>\n");
    // The start tags take 4 bytes each with their line feeds, minus the
    // root's; the innermost element ends that part.
    EXPECT_EQ(out.substr(4 * n - 9, 9), "\n<e>\n<e/>");
    EXPECT_EQ(out.substr(4 * n, 6), "\n</e>\n");
    EXPECT_EQ(out.substr(out.size() - 9), "</e>\n</e>");
}

TEST(WriteLayout, TheListViewsTheTreeInDocumentOrder) {
    const ElementRecord tree = catalog();
    const WriteList list = write_list_of(tree);
    ASSERT_EQ(list.elements.size(), 5u);
    EXPECT_EQ(list.max_depth, 2u);
    EXPECT_EQ(list.elements[4].name, "item");
    EXPECT_EQ(list.elements[0].child_count, 3u);
    EXPECT_EQ(list.elements[1].text.data(), tree.children[0].text.view().data());
    // Written twice from the same list, the output is the same.
    EXPECT_EQ(write_to_memory(list, 4, false).view(), write_to_memory(list, 4, false).view());
}

}  // namespace
}  // namespace plovane
