// Attribute map: TextRef name -> TextRef value, hashed with SipHash-1-3
// under keys fixed when the map's table is created.
//
// Open addressing with linear probing in one heap block; an empty map is a
// single null pointer, which keeps attribute-less nodes small. The slots are
// small indices into a dense array of entries that holds exactly as many as
// were reserved, so a map carries no empty 48-byte entries and is released by
// a walk over its entries only. Iteration follows the slots, so the order
// depends on the keys: neither insertion nor sorted order, but the same for
// every walk over one map, and preserved by copying.
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
        TextRef key;
        TextRef value;
    };

    AttrMap() noexcept = default;
    AttrMap(const AttrMap& other);
    AttrMap(AttrMap&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}
    AttrMap& operator=(AttrMap other) noexcept {
        std::swap(table_, other.table_);
        return *this;
    }
    // Empty and moved-from maps go without a call.
    ~AttrMap() {
        if (table_) destroy(table_);
    }

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

    // A view of the map's entries, valid while the map lives unchanged;
    // reading through it saves a visit to the map's owner.
    class View;
    View view() const noexcept;

    // Calls f(key, value) for every entry in iteration order.
    template <class F>
    void for_each(F&& f) const;

  private:
    // One block: this header, `capacity` slots (0 for a free slot, otherwise
    // 1 + the index of its entry), then room for `room` entries, of which the
    // first `count` are in use, in insertion order.
    struct Table {
        HashKeys keys;
        uint32_t count;
        uint32_t capacity;  // a power of two
        uint32_t room;
        // Set while every key and value is a Span of this one source (as in
        // maps the reader builds): the map is then released without a
        // visit to its entries.
        SharedSource* sole_source;
        uint32_t* slots() noexcept { return reinterpret_cast<uint32_t*>(this + 1); }
        const uint32_t* slots() const noexcept {
            return reinterpret_cast<const uint32_t*>(this + 1);
        }
        Entry* entries() noexcept {
            char* block = reinterpret_cast<char*>(this);
            return reinterpret_cast<Entry*>(block + entries_offset(capacity));
        }
        const Entry* entries() const noexcept { return const_cast<Table*>(this)->entries(); }
    };
    static size_t entries_offset(uint32_t capacity) noexcept {
        const size_t end = sizeof(Table) + sizeof(uint32_t) * size_t{capacity};
        return (end + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
    }
    // A table for up to `room` entries, with no entry in use.
    static Table* allocate(HashKeys keys, uint32_t room);
    static void destroy(Table* table) noexcept;
    // Moves the entries into a table with room for `room` (>= count).
    void rebuild(uint32_t room);
    // Keeps sole_source true to the entries after `entry` was added.
    static void note_source(Table* table, const Entry& entry) noexcept;
    // Smallest table that holds `count` entries at the load insert() keeps.
    static uint32_t capacity_for(uint32_t count) noexcept;
    // The slot of `key`, or the free slot where it would go.
    static uint32_t* probe(Table* table, std::string_view key) noexcept;

    Table* table_ = nullptr;
};

class AttrMap::View {
  public:
    template <class F>
    void for_each(F&& f) const {
        if (!table_) return;
        const uint32_t* slots = table_->slots();
        const Entry* entries = table_->entries();
        for (uint32_t i = 0; i < table_->capacity; ++i) {
            if (const uint32_t slot = slots[i]) f(entries[slot - 1].key, entries[slot - 1].value);
        }
    }
    // Asks for the start of the table ahead of a coming for_each or release.
    void prefetch() const noexcept { __builtin_prefetch(table_); }

  private:
    friend class AttrMap;
    explicit View(const Table* table) noexcept : table_(table) {}
    const Table* table_;
};

inline AttrMap::View AttrMap::view() const noexcept {
    return View(table_);
}

template <class F>
void AttrMap::for_each(F&& f) const {
    view().for_each(std::forward<F>(f));
}

}  // namespace plovane
