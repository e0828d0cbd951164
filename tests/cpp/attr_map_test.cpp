// The attribute map: both entry layouts with the references they hold,
// copies and their iteration order. Lookup, duplicates and growth are
// checked through the start-tag scanner (markup_scanner_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
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

// Copies share one buffer: packed where they fit, wide past the packed
// length; the first of two equal keys stays. A map large enough to be walked
// with prefetching visits every entry once, as its copy does.
TEST(AttrMap, CopiedTextsOfEverySizeAndLargeMapsWalkEveryEntryOnce) {
    const std::string long_value(AttrMap::kMaxPackedLength + 1, 'v');
    std::vector<std::pair<std::string_view, std::string_view>> texts = {
        {"a", "1"}, {"", ""}, {"b", long_value}, {"a", "again"}, {"c", "3"}};
    AttrMap mixed;
    mixed.insert_copies(take_hash_keys(), texts);
    EXPECT_EQ(keys_in_order(mixed).size(), 4u);
    EXPECT_EQ(*mixed.find("a"), "1");
    EXPECT_EQ(*mixed.find(""), "");
    EXPECT_EQ(mixed.find("b")->size(), long_value.size());

    std::vector<std::string> names;
    for (int i = 0; i < 50000; ++i) names.push_back("k" + std::to_string(i));
    texts.clear();
    for (const std::string& name : names) texts.emplace_back(name, name);
    AttrMap large;
    large.insert_copies(take_hash_keys(), texts);
    std::vector<std::string> seen = keys_in_order(large);
    EXPECT_EQ(keys_in_order(AttrMap(large)), seen);
    large.for_each([](std::string_view k, std::string_view v) { EXPECT_EQ(k, v); });
    std::sort(seen.begin(), seen.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(seen, names);
}

}  // namespace
}  // namespace plovane
