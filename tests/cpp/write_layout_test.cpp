// The writer on a million-deep chain, and the exact count of indentation
// spaces against the output it predicts. The byte layout, and counts too
// large to hold, are checked end to end in tests/python.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "write/xml_writer.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

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

}  // namespace
}  // namespace plovane
