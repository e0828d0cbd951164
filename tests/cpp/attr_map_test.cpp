// The attribute map: insertion, lookup, copies, iteration order, both entry
// layouts with the references they hold, and room reserved ahead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/attr_map.h"
#include "storage/shared_source.h"
#include "storage/text_ref.h"

namespace plovane {
namespace {

std::vector<std::string> keys_in_order(const AttrMap& map) {
    std::vector<std::string> order;
    map.for_each([&](std::string_view k, std::string_view) { order.emplace_back(k); });
    return order;
}

// Maps of Spans of one source are packed; an Owned string, a second source or
// a string too long to pack turns them wide, before or after other entries.
TEST(AttrMap, ReleasesEveryReferenceWhateverTheSourcesOfItsEntries) {
    const std::string long_value(AttrMap::kMaxPackedLength + 1, 'v');
    SourceRef a = SharedSource::owned("k0k1k2k3k4k5k6k7k8k9 value" + long_value);
    SourceRef b = SharedSource::owned("other");
    auto key = [&](int i) { return TextRef::span(a, 2 * i, 2 * i + 2); };
    for (int variant = 0; variant < 5; ++variant) {
        {
            AttrMap map;
            // Grown one by one, so that the entries move between tables.
            for (int i = 0; i < 10; ++i) {
                TextRef value = TextRef::span(a, 21, 26);
                if (variant == 1 && i == 7) value = TextRef::span(b, 0, 5);
                if (variant == 2 && i == 0) value = TextRef::owned("own");
                if (variant == 4 && i == 4) value = TextRef::span(a, 26, a->size());
                ASSERT_TRUE(map.insert(take_hash_keys(), key(i), std::move(value)));
            }
            if (variant == 3) {
                ASSERT_FALSE(map.insert(take_hash_keys(), key(3), TextRef::span(b, 0, 5)));
            }
            AttrMap copy = map;
            EXPECT_EQ(*copy.find("k9"), "value");
            EXPECT_EQ(*copy.find("k7"), variant == 1 ? "other" : "value");
            EXPECT_EQ(*map.find("k0"), variant == 2 ? "own" : "value");
            EXPECT_EQ(copy.find("k4")->size(), variant == 4 ? long_value.size() : 5u);
            EXPECT_EQ(keys_in_order(copy), keys_in_order(map));
            EXPECT_EQ(a->use_count(), 1u + 4 * 10 - (variant == 1 || variant == 2 ? 2 : 0))
                << variant;
        }
        EXPECT_EQ(a->use_count(), 1u) << variant;
        EXPECT_EQ(b->use_count(), 1u) << variant;
    }
}

// The reader's insertion of views: the same map as inserting Spans, the
// references handed over kept, a duplicate refused without taking any, and
// views refused once the map holds anything but Spans of that source.
TEST(AttrMap, ViewsOfOneSourceInsertLikeSpans) {
    SourceRef a = SharedSource::owned("k0k1k2k3k4k5k6k7k8k9 value");
    SourceRef b = SharedSource::owned("other");
    const std::string_view text = a->text();
    const HashKeys keys = take_hash_keys();
    {
        AttrMap views, spans;
        for (int i = 0; i < 10; ++i) {
            ASSERT_TRUE(views.packs_views(a.get(), text.substr(2 * i, 2), text.substr(21, 5)));
            a->retain(2);  // what the caller hands over
            ASSERT_TRUE(views.insert_views(keys, a.get(), text.substr(2 * i, 2), text.substr(21)));
            ASSERT_TRUE(
                spans.insert(keys, TextRef::span(a, 2 * i, 2 * i + 2), TextRef::span(a, 21, 26)));
        }
        EXPECT_EQ(keys_in_order(views), keys_in_order(spans));
        EXPECT_EQ(views.find("k7"), "value");
        EXPECT_FALSE(views.insert_views(keys, a.get(), text.substr(4, 2), text.substr(0, 1)));
        EXPECT_EQ(a->use_count(), 1u + 4 * 10);
        EXPECT_FALSE(views.packs_views(b.get(), b->text(), b->text()));
        ASSERT_TRUE(spans.insert(keys, TextRef::owned("own"), TextRef::span(a, 0, 1)));
        EXPECT_FALSE(spans.packs_views(a.get(), text.substr(0, 1), text.substr(0, 1)));
    }
    EXPECT_EQ(a->use_count(), 1u);
    EXPECT_EQ(b->use_count(), 1u);
}

// Insertion with room reserved ahead or not, and more room asked for
// part-way (never less): every entry found, duplicates refused, and a copy
// walking in the same order.
TEST(AttrMap, InsertFindCopyAndReserve) {
    const HashKeys keys = take_hash_keys();
    for (const auto& [first, later] : {std::pair{-1, -1}, {0, 1}, {3, 100}, {5, 6}, {100, 1}}) {
        AttrMap map;
        if (first >= 0) map.reserve(keys, static_cast<uint32_t>(first));
        EXPECT_TRUE(map.empty());
        EXPECT_FALSE(map.find("k0"));
        for (int i = 0; i < 100; ++i) {
            if (i == 5 && later >= 0) {
                const std::vector<std::string> order = keys_in_order(map);
                map.reserve(keys, static_cast<uint32_t>(later));
                // Room for one more at the same table size keeps every slot.
                EXPECT_TRUE(later != 6 || keys_in_order(map) == order);
            }
            ASSERT_TRUE(map.insert(keys, TextRef::owned("k" + std::to_string(i)),
                                   TextRef::owned(std::to_string(i))));
        }
        EXPECT_FALSE(map.insert(keys, TextRef::owned("k7"), TextRef::owned("again")));
        EXPECT_FALSE(map.insert(keys, TextRef::owned("k99"), TextRef::owned("again")));
        ASSERT_EQ(map.size(), 100u);
        const AttrMap copy = map;
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(copy.find("k" + std::to_string(i)), std::to_string(i));
        EXPECT_FALSE(copy.find("K7"));
        EXPECT_FALSE(copy.find("k100"));
        EXPECT_EQ(keys_in_order(copy), keys_in_order(map));
        EXPECT_EQ(keys_in_order(map).size(), 100u);
    }
    // The order depends on the hash keys.
    auto build = [](HashKeys k) {
        AttrMap map;
        for (int i = 0; i < 12; ++i)
            map.insert(k, TextRef::owned("a" + std::to_string(i)), TextRef::owned("v"));
        return keys_in_order(map);
    };
    bool some_order_differs = false;
    for (uint64_t k = 3; k < 20; ++k) some_order_differs |= build({k, 2}) != build({1, 2});
    EXPECT_TRUE(some_order_differs);
}

}  // namespace
}  // namespace plovane
