// Reserving room in an attribute map ahead of insertion.
#include <gtest/gtest.h>

#include <string>

#include "storage/attr_map.h"

namespace plovane {
namespace {

TEST(AttrMapReserve, EntriesSurviveReserveOnEmptyAndFilledMaps) {
    const HashKeys keys = take_hash_keys();
    AttrMap map;
    map.reserve(keys, 3);
    EXPECT_TRUE(map.empty());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(map.insert(keys, TextRef::owned("k" + std::to_string(i)), TextRef::owned("v")));
    }
    // Growing a filled map keeps its entries and still rejects duplicates.
    map.reserve(keys, 100);
    map.reserve(keys, 1);  // never shrinks
    for (int i = 3; i < 100; ++i) {
        EXPECT_TRUE(map.insert(keys, TextRef::owned("k" + std::to_string(i)),
                               TextRef::owned(std::to_string(i))));
    }
    EXPECT_FALSE(map.insert(keys, TextRef::owned("k7"), TextRef::owned("again")));
    EXPECT_EQ(map.size(), 100u);
    for (int i = 3; i < 100; ++i) {
        ASSERT_NE(map.find("k" + std::to_string(i)), nullptr);
        EXPECT_EQ(*map.find("k" + std::to_string(i)), std::to_string(i));
    }
    size_t visited = 0;
    map.for_each([&](const TextRef&, const TextRef&) { ++visited; });
    EXPECT_EQ(visited, 100u);
}

}  // namespace
}  // namespace plovane
