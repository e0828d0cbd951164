// Layout of the serializer's output (line feeds, indentation, empty
// elements, text placement, attributes, the declaration, deep trees) and
// the exact count of indentation spaces, saturating.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "write/xml_writer.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

using testing::Element;

ElementRecord catalog() {
    return Element("catalog")
        .attr("id", "7")
        .child(Element("book").attr("lang", "en").text("A & B"))
        .child(Element("note"))
        .child(Element("shelf").text("x").child(Element("item")));
}

struct Layout {
    std::function<ElementRecord()> tree;
    uint64_t indent;
    bool declaration;
    std::string expected;
};

std::string declared(std::string_view rest) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + std::string(rest);
}

const Layout kLayouts[] = {
    {catalog, 4, true,
     declared("<catalog id=\"7\">\n    <book lang=\"en\">A &amp; B</book>\n    <note/>\n"
              "    <shelf>x<item/>\n    </shelf>\n</catalog>")},
    {catalog, 0, false,
     "<catalog id=\"7\">\n<book lang=\"en\">A &amp; B</book>\n<note/>\n<shelf>x<item/>\n"
     "</shelf>\n</catalog>"},
    {[] { return Element("r"); }, 4, true, declared("<r/>")},
    {[] { return Element("r").text(""); }, 4, true, declared("<r></r>")},
    {[] { return Element("r").text("hello"); }, 4, false, "<r>hello</r>"},
    {[] { return Element("e").attr("k", ""); }, 4, false, "<e k=\"\"/>"},
    // Attribute values are double-quoted and escaped; names are written as they are.
    {[] { return Element("e").attr("k", "'\t\n\r\"").text("\t\n\r'"); }, 4, false,
     "<e k=\"&apos;&#9;&#10;&#13;&quot;\">\t\n\r&apos;</e>"},
    {[] { return Element("a<&b").attr("c&<\"", "x"); }, 4, false, "<a<&b c&<\"=\"x\"/>"},
    {[] { return Element("").child(Element("")); }, 1, false, "<>\n </>\n</>"},
    // The first child follows the text; later siblings and the end tag go on new lines.
    {[] { return Element("p").text("t").child(Element("a")).child(Element("b")); }, 4, false,
     "<p>t<a/>\n    <b/>\n</p>"},
    {[] { return Element("p").text(" \n x \n").child(Element("a").text("y")); }, 2, false,
     "<p> \n x \n<a>y</a>\n</p>"},
    {[] {
         return Element("l0").child(
             Element("l1").child(Element("l2").child(Element("l3").attr("k", "v"))));
     },
     2, false, "<l0>\n  <l1>\n    <l2>\n      <l3 k=\"v\"/>\n    </l2>\n  </l1>\n</l0>"},
    {[] {
         return Element("r")
             .child(Element("a").child(Element("b").text("")))
             .child(Element("c").text(""));
     },
     3, false, "<r>\n   <a>\n      <b></b>\n   </a>\n   <c></c>\n</r>"},
};

TEST(WriteLayout, ByteForByte) {
    for (const Layout& layout : kLayouts) {
        EXPECT_EQ(write_to_string(layout.tree(), layout.indent, layout.declaration),
                  layout.expected);
    }
}

TEST(WriteLayout, AttributesFollowTheMapIterationOrder) {
    ElementRecord record = Element("e").attr("a", "1").attr("b", "2").attr("c", "3").attr("d", "4");
    std::string expected = "<e";
    record.attrs.for_each([&](std::string_view key, std::string_view value) {
        expected += " " + std::string(key) + "=\"" + std::string(value) + "\"";
    });
    EXPECT_EQ(write_to_string(record, 4, false), expected + "/>");
}

TEST(WriteLayout, MillionDeepChainIsWrittenWithoutRecursion) {
    constexpr uint64_t n = 1'000'000;
    const ElementRecord tree = testing::chain(n);
    const std::string out = write_to_string(tree, 0, false);
    // n-1 open elements of "<e>" and "</e>", each but the root behind a line
    // feed at both tags, and the innermost "<e/>".
    EXPECT_EQ(out.size(), (n - 1) * (3 + 4 + 2) + 4);
    EXPECT_EQ(out.substr(0, 8), "<e>\n<e>\n");
    EXPECT_EQ(out.substr(4 * n - 9, 9), "\n<e>\n<e/>");
    EXPECT_EQ(out.substr(4 * n, 6), "\n</e>\n");
    EXPECT_EQ(out.substr(out.size() - 9), "</e>\n</e>");
    // Start tags at levels 1..n-1 and end tags at levels 0..n-2.
    EXPECT_EQ(indentation_bytes(tree, 1), (n - 1) * (n - 1));
    EXPECT_EQ(indentation_bytes(tree, 3), 3 * (n - 1) * (n - 1));
}

TEST(IndentationBytes, IsTheGrowthOfTheOutputOverIndentZero) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 300; ++i) {
        const ElementRecord tree = testing::random_tree(rng, 40, 7);
        const uint64_t indent = rng() % 9;
        const uint64_t growth =
            write_to_string(tree, indent, false).size() - write_to_string(tree, 0, false).size();
        ASSERT_EQ(indentation_bytes(tree, indent), growth);
        // The bound callers check first never lets through more than that.
        ASSERT_GE(indentation_bound(write_list_of(tree), indent), growth);
    }
}

TEST(IndentationBytes, SaturatesInsteadOfWrapping) {
    const uint64_t huge = uint64_t{1} << 63;
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c")), huge), huge);
    // Level 2 alone asks for 2^64 spaces; two children at level 1 for 2^63 twice.
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c").child(Element("d"))), huge),
              UINT64_MAX);
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("a")).child(Element("b")), huge),
              UINT64_MAX);
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c")), UINT64_MAX), UINT64_MAX);
}

}  // namespace
}  // namespace plovane
