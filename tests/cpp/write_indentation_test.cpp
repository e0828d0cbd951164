// indentation_bytes: the exact number of indentation spaces, saturating.
#include <gtest/gtest.h>

#include <random>

#include "write/xml_writer.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

using testing::Element;

TEST(IndentationBytes, SmallTrees) {
    EXPECT_EQ(indentation_bytes(Element("r"), 4), 0u);
    EXPECT_EQ(indentation_bytes(Element("r").text("t"), 1000), 0u);
    // One child: its start tag at level 1; the root's end tag is at level 0.
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c")), 4), 4u);
    // The first child after text gets none; the second gets 4.
    EXPECT_EQ(indentation_bytes(Element("r").text("t").child(Element("a")).child(Element("b")), 4),
              4u);
    // Worked example: book, note, shelf and shelf's end tag at level 1.
    ElementRecord catalog = Element("catalog")
                                .attr("id", "7")
                                .child(Element("book").attr("lang", "en").text("A & B"))
                                .child(Element("note"))
                                .child(Element("shelf").text("x").child(Element("item")));
    EXPECT_EQ(indentation_bytes(catalog, 4), 16u);
    EXPECT_EQ(indentation_bytes(catalog, 0), 0u);
}

TEST(IndentationBytes, IsTheGrowthOfTheOutputOverIndentZero) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 300; ++i) {
        const ElementRecord tree = testing::random_tree(rng, 40, 7);
        const uint64_t indent = rng() % 9;
        const uint64_t flat = write_to_string(tree, 0, false).size();
        const uint64_t indented = write_to_string(tree, indent, false).size();
        ASSERT_EQ(indentation_bytes(tree, indent), indented - flat);
        // The bound callers check first never lets through more than that.
        ASSERT_GE(indentation_bound(write_list_of(tree), indent), indented - flat);
    }
}

TEST(IndentationBytes, SaturatesInsteadOfWrapping) {
    const uint64_t huge = uint64_t{1} << 63;
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c")), huge), huge);
    // Level 2 alone asks for 2^64 spaces.
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c").child(Element("d"))), huge),
              UINT64_MAX);
    // Two children at level 1: 2^63 twice.
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("a")).child(Element("b")), huge),
              UINT64_MAX);
    EXPECT_EQ(indentation_bytes(Element("r").child(Element("c")), UINT64_MAX), UINT64_MAX);
}

TEST(IndentationBytes, MillionDeepChain) {
    constexpr uint64_t n = 1'000'000;
    const ElementRecord tree = testing::chain(n);
    // Start tags at levels 1..n-1 and end tags at levels 0..n-2.
    EXPECT_EQ(indentation_bytes(tree, 1), (n - 1) * (n - 1));
    EXPECT_EQ(indentation_bytes(tree, 3), 3 * (n - 1) * (n - 1));
}

}  // namespace
}  // namespace plovane
