// The two strategies against each other on random well-formed documents:
// identical indexes when no quote lies outside tags, and build_index equal
// to the byte-search result whether or not quotes lie outside tags.
#include <gtest/gtest.h>

#include <string>

#include "index/structural_index.h"
#include "index_records.h"
#include "random_documents.h"

namespace plovane {
namespace {

TEST(StrategyAgreement, IdenticalIndexesWithoutQuotesOutsideTags) {
    int paths[3] = {0, 0, 0};
    for (int max_attributes : {1, 4, 30}) {
        testing::DocumentGenerator gen(7 + max_attributes, {false, max_attributes, 80});
        for (int i = 0; i < 400; ++i) {
            const std::string doc = gen.next();
            const BuildSummary expected = seq(doc);
            ASSERT_EQ(expected.status, IndexStatus::Complete) << doc;
            ASSERT_EQ(bits(doc), expected) << doc;
            IndexPath path;
            ASSERT_EQ(summary_of(build_index(doc.data(), doc.size(), path)), expected) << doc;
            ++paths[static_cast<int>(path)];
        }
    }
    // Both strategies were exercised, and no document was sent back.
    EXPECT_GT(paths[static_cast<int>(IndexPath::Sequential)], 100);
    EXPECT_GT(paths[static_cast<int>(IndexPath::Bitmaps)], 100);
    EXPECT_EQ(paths[static_cast<int>(IndexPath::BitmapsRejected)], 0);
}

TEST(StrategyAgreement, BuildIndexMatchesByteSearchesWithQuotesInText) {
    int paths[3] = {0, 0, 0};
    int bitmaps_alone_wrong = 0;
    for (int max_attributes : {4, 30}) {
        testing::DocumentGenerator gen(99 + max_attributes, {true, max_attributes, 80});
        for (int i = 0; i < 600; ++i) {
            const std::string doc = gen.next();
            const BuildSummary expected = seq(doc);
            ASSERT_EQ(expected.status, IndexStatus::Complete) << doc;
            IndexPath path;
            ASSERT_EQ(summary_of(build_index(doc.data(), doc.size(), path)), expected) << doc;
            ++paths[static_cast<int>(path)];
            bitmaps_alone_wrong += bits(doc) != expected;
        }
    }
    EXPECT_GT(paths[static_cast<int>(IndexPath::BitmapsRejected)], 100);
    // Documents whose quotes outside tags happen to hide nothing stay.
    EXPECT_GT(paths[static_cast<int>(IndexPath::Bitmaps)], 10);
    EXPECT_GT(bitmaps_alone_wrong, 100);
}

}  // namespace
}  // namespace plovane
