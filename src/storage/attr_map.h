// Attribute map: TextRef name -> TextRef value, hashed with SipHash-1-3
// under keys fixed when the map's table is created.
//
// Open addressing with linear probing in one heap block; an empty map is a
// single null pointer, which keeps attribute-less nodes small. Iteration
// follows the slots, so the order depends on the keys: neither insertion nor
// sorted order, but the same for every walk over one map, and preserved by
// copying.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "storage/hash_keys.h"
#include "storage/text_ref.h"

namespace plovane {

class AttrMap {
public:
    struct Entry {
        TextRef key;  // absent in a free slot
        TextRef value;
    };

    AttrMap() noexcept = default;
    AttrMap(const AttrMap& other);
    AttrMap(AttrMap&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}
    AttrMap& operator=(AttrMap other) noexcept {
        std::swap(table_, other.table_);
        return *this;
    }
    ~AttrMap();

    // Inserts unless a key with the same text is present; returns false
    // (and drops key and value) in that case. `keys` seeds the table when
    // this is the first insertion.
    bool insert(HashKeys keys, TextRef key, TextRef value);
    // Makes room for `count` entries in all, so that inserting up to that
    // many never regrows the table. `keys` seeds the table if this creates it.
    void reserve(HashKeys keys, uint32_t count);
    const TextRef* find(std::string_view key) const noexcept;
    bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }

    uint32_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }

    // Calls f(key, value) for every entry in iteration order.
    template <class F>
    void for_each(F&& f) const {
        if (!table_) return;
        Entry* slots = table_->slots();
        for (uint32_t i = 0; i < table_->capacity; ++i)
            if (slots[i].key.present()) f(slots[i].key, slots[i].value);
    }

private:
    struct Table {
        HashKeys keys;
        uint32_t count;
        uint32_t capacity;  // a power of two
        Entry* slots() noexcept { return reinterpret_cast<Entry*>(this + 1); }
    };
    static Table* allocate(HashKeys keys, uint32_t capacity);
    static void destroy(Table* table) noexcept;
    void grow() { rehash(table_->capacity * 2); }
    void rehash(uint32_t capacity);
    // Smallest table that holds `count` entries at the load insert() keeps.
    static uint32_t capacity_for(uint32_t count) noexcept;
    static Entry* probe(Table* table, std::string_view key) noexcept;

    Table* table_ = nullptr;
};

}  // namespace plovane
