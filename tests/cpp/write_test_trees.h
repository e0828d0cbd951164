// Record trees for the writer tests: a chain and a random generator.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "element_record.h"
#include "storage/hash_keys.h"
#include "storage/text_ref.h"

namespace plovane::testing {

// `depth` elements named "e", each the only child of the one before.
inline ElementRecord chain(uint64_t depth) {
    ElementRecord leaf;
    leaf.name = TextRef::owned("e");
    for (uint64_t i = 1; i < depth; ++i) {
        ElementRecord parent;
        parent.name = TextRef::owned("e");
        parent.children.push_back(std::move(leaf));
        leaf = std::move(parent);
    }
    return leaf;
}

// Random strings drawn mostly from bytes that escaping treats specially,
// plus plain ASCII and multi-byte characters.
inline std::string random_text(std::mt19937_64& rng, size_t max_length) {
    static constexpr std::string_view kPieces[] = {"&", "<", ">", "\"", "'", "\t", "\r", "\n",
                                                   "a", "b", " ", "é",  "€", "𝄞",  "xyz"};
    std::string text;
    const size_t length = rng() % (max_length + 1);
    for (size_t i = 0; i < length; ++i) text += kPieces[rng() % std::size(kPieces)];
    return text;
}

// A random tree of at most `max_nodes` elements and depth `max_depth`,
// with absent and empty texts both represented.
inline ElementRecord random_tree(std::mt19937_64& rng, int max_nodes, int max_depth) {
    int budget = max_nodes;
    auto make = [&](auto& self, int depth) -> ElementRecord {
        --budget;
        ElementRecord record;
        record.name = TextRef::owned("n" + std::to_string(rng() % 5));
        const HashKeys keys = take_hash_keys();
        for (uint64_t i = rng() % 3; i > 0; --i) {
            record.attrs.insert(keys, TextRef::owned("k" + std::to_string(rng() % 4)),
                                TextRef::owned(random_text(rng, 6)));
        }
        if (rng() % 3 != 0) record.text = TextRef::owned(random_text(rng, 8));
        while (depth < max_depth && budget > 0 && rng() % 3 != 0) {
            record.children.push_back(self(self, depth + 1));
        }
        return record;
    };
    return make(make, 0);
}

}  // namespace plovane::testing
