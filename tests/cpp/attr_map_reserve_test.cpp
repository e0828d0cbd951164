// Reserving room in an attribute map ahead of insertion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        ASSERT_TRUE(map.find("k" + std::to_string(i)));
        EXPECT_EQ(*map.find("k" + std::to_string(i)), std::to_string(i));
    }
    size_t visited = 0;
    map.for_each([&](std::string_view, std::string_view) { ++visited; });
    EXPECT_EQ(visited, 100u);
}

std::vector<std::string> keys_in_order(const AttrMap& map) {
    std::vector<std::string> order;
    map.for_each([&](std::string_view k, std::string_view) { order.emplace_back(k); });
    return order;
}

TEST(AttrMapReserve, ExactRoomGrowsWhenFullAndKeepsOrderWhileTheSlotsStay) {
    const HashKeys keys = take_hash_keys();
    AttrMap map;
    map.reserve(keys, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(map.insert(keys, TextRef::owned("a" + std::to_string(i)), TextRef::owned("v")));
    }
    const std::vector<std::string> order = keys_in_order(map);
    // Room for one more at the same table size: every entry keeps its slot.
    map.reserve(keys, 6);
    EXPECT_EQ(keys_in_order(map), order);
    // Past the reserved room the map grows by itself; a copy walks alike.
    for (int i = 5; i < 40; ++i) {
        EXPECT_TRUE(map.insert(keys, TextRef::owned("a" + std::to_string(i)), TextRef::owned("w")));
    }
    EXPECT_FALSE(map.insert(keys, TextRef::owned("a39"), TextRef::owned("again")));
    EXPECT_EQ(map.size(), 40u);
    AttrMap copy = map;
    EXPECT_EQ(keys_in_order(copy), keys_in_order(map));
    ASSERT_TRUE(copy.find("a39"));
    EXPECT_EQ(*copy.find("a39"), "w");
    EXPECT_EQ(*copy.find("a0"), "v");
    EXPECT_FALSE(copy.find("a40"));

    // A table reserved for nothing still takes insertions.
    AttrMap none;
    none.reserve(keys, 0);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.insert(keys, TextRef::owned("k"), TextRef::owned("v")));
    EXPECT_EQ(keys_in_order(AttrMap(none)), std::vector<std::string>{"k"});
}

}  // namespace
}  // namespace plovane
