// The attribute map: both entry layouts with the references they hold,
// copies and their iteration order. Lookup, duplicates and growth are
// checked through the start-tag scanner (markup_scanner_test.cpp) and the
// reader's references through the document's in tests/python/test_read.py;
// maps copied from strings, through Node and from_dict in tests/python.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
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

// The reader's maps without slots iterate as a hashed table of the same
// entries would, compute that order once whichever thread walks them first,
// and keep it in copies.
TEST(AttrMap, SmallMapsIterateAsHashedOnes) {
    SourceRef text = SharedSource::owned("k0k1k2k3k4k5k6k7k8k9kakbkckdkevalue");
    for (uint32_t count = 1; count <= AttrMap::kMaxSmall; ++count) {
        const std::string_view all(text->data(), text->size());
        std::vector<std::pair<std::string_view, std::string_view>> texts;
        for (uint32_t i = 0; i < count; ++i)
            texts.emplace_back(all.substr(2 * i, 2), all.substr(30));
        const HashKeys keys = take_hash_keys();
        AttrMap small;
        text->retain(1 + 2 * uint64_t{count});
        ASSERT_EQ(small.insert_small_views(keys, text.get(), texts), count);
        AttrMap hashed;
        hashed.reserve(keys, count);
        for (const auto& [key, value] : texts) {
            ASSERT_TRUE(hashed.insert(keys, TextRef::span(text, key), TextRef::span(text, value)));
        }
        std::vector<std::string> first, second;
        std::thread other([&] { first = keys_in_order(small); });
        second = keys_in_order(small);
        other.join();
        EXPECT_EQ(first, keys_in_order(hashed)) << count;
        EXPECT_EQ(second, first);
        EXPECT_EQ(keys_in_order(AttrMap(small)), first);
        EXPECT_EQ(small.find(texts.back().first), "value");
        EXPECT_FALSE(small.find("kf"));
    }
    EXPECT_EQ(text->use_count(), 1u);
}

}  // namespace
}  // namespace plovane
