// Attribute map: TextRef name -> TextRef value, hashed with SipHash-1-3
// under keys fixed when the map's table is created.
//
// Open addressing with linear probing in one heap block; an empty map is a
// single null pointer, which keeps attribute-less nodes small. The slots are
// small indices into a dense array of entries that holds exactly as many as
// were reserved, so a map carries no empty entries and is released by a walk
// over its entries only. A slot's bits above the index hold bits of its key's
// hash, so that a probe passes other keys without reading their entries
// (which, in a very large map, would be a cache miss each). Iteration follows
// the slots, so the order depends on the keys: neither insertion nor sorted
// order, but the same for every walk over one map, and preserved by copying.
//
// Entries come in two layouts. A map whose keys and values are all Spans of
// one source (as the reader makes them) stores each entry as two packed
// offset/length words, 16 bytes instead of two 24-byte TextRefs, and holds one
// reference on the source per string; it is released with one atomic update
// and one free. Any other entry turns the table into full TextRefs.
//
// The reader's small maps (at most kMaxSmall entries, all packed) have no
// slots: hashing every name of every element was a large share of a read,
// and most attribute maps are never looked at. Such a map finds a key by
// comparing its few names, and its iteration order is worked out from the
// hashes on the first walk: the order the slots of a hashed table built from
// the same entries would give. That order is then kept in the table, in a
// word that any thread may fill in (every thread computes the same value).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/prefetch.h"
#include "storage/hash_keys.h"
#include "storage/text_ref.h"

namespace plovane {

class AttrMap {
  public:
    // The longest key or value a packed entry holds.
    static constexpr uint64_t kMaxPackedLength = (uint64_t{1} << 24) - 1;

    AttrMap() noexcept = default;
    AttrMap(const AttrMap& other);
    AttrMap(AttrMap&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}
    AttrMap& operator=(AttrMap other) noexcept {
        std::swap(table_, other.table_);
        return *this;
    }
    // Empty and moved-from maps go without a call.
    ~AttrMap() {
        if (table_) {
            TextReleaser releaser;
            destroy(table_, releaser);
        }
    }
    // Empties the map, giving its references on sources to `releaser`,
    // which may gather those of many maps into one update.
    void clear(TextReleaser& releaser) noexcept {
        if (table_) destroy(std::exchange(table_, nullptr), releaser);
    }

    // Inserts unless a key with the same text is present; returns false
    // (and drops key and value) in that case. `keys` seeds the table when
    // this is the first insertion.
    bool insert(HashKeys keys, TextRef key, TextRef value);
    // Inserts copies of the keys and values; of two keys with the same text
    // the later one's value stays. The copies share one buffer, so the map
    // holds packed entries (no allocation per string). For an empty map.
    void insert_copies(HashKeys keys,
                       std::span<const std::pair<std::string_view, std::string_view>> texts);

    // A key hashed for this map ahead of its insertion. Inserting many keys,
    // callers hash a few first (which also asks for their home slots) so
    // that the slot reads of a large table overlap instead of each waiting
    // for memory in turn.
    struct Hashed {
        std::string_view key;
        uint64_t hash;
    };
    // For a map that reserve() or an insertion has created.
    Hashed hash_ahead(std::string_view key) const noexcept;
    bool insert(Hashed key, TextRef key_text, TextRef value);
    // Calls insert(i, key) for i = 0, 1, ..., count - 1 in turn, with the key
    // key_of(i) (asked for in the same order) hashed a batch ahead. Stops at
    // the first insert that returns false and returns its i; else count.
    template <class KeyOf, class Insert>
    size_t insert_hashed_ahead(size_t count, KeyOf&& key_of, Insert&& insert);
    // Inserts `key` and `value`, two views of `source`'s text, taking over
    // one reference on `source` for each (which the caller has counted),
    // unless a key with the same text is present (then it takes none and
    // returns false). Only for a map that holds nothing but Spans of
    // `source`, within the packed limits (see `packs_views`): the reader's
    // way of inserting without making TextRefs.
    bool insert_views(HashKeys keys, SharedSource* source, std::string_view key,
                      std::string_view value);
    bool insert_views(SharedSource* source, Hashed key, std::string_view value);
    // Whether insert_views may take this key and value.
    bool packs_views(const SharedSource* source, std::string_view key,
                     std::string_view value) const noexcept;
    // The most entries a map without slots holds.
    static constexpr uint32_t kMaxSmall = 15;
    // For an empty map: a table in `source`'s table arena holding the given
    // views of the source's text, which `packs_views` accepts, at most
    // kMaxSmall of them, without slots. Returns the index of the first key
    // equal to an earlier one, or their count; the map holds the entries
    // before that index, taking over a reference on `source` for each
    // string and one for the table (which the caller counts).
    size_t insert_small_views(
        HashKeys keys, SharedSource* source,
        std::span<const std::pair<std::string_view, std::string_view>> entries);
    // Makes room for `count` entries in all, so that inserting up to that
    // many never regrows the table. `keys` seeds the table if this creates it.
    void reserve(HashKeys keys, uint32_t count);
    // For an empty map that is to hold Spans of `source`: a packed table for
    // `count` entries in the source's table arena, taking over one reference
    // on `source` (which the caller has counted) for the table itself.
    void reserve_in(HashKeys keys, uint32_t count, SharedSource* source);
    std::optional<std::string_view> find(std::string_view key) const noexcept;
    bool contains(std::string_view key) const noexcept { return find(key).has_value(); }

    uint32_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }

    // A view of the map's entries, valid while the map lives unchanged;
    // reading through it saves a visit to the map's owner.
    class View;
    View view() const noexcept;

    // Calls f(key, value) with string views for every entry in iteration order.
    template <class F>
    void for_each(F&& f) const;

  private:
    // A wide entry.
    struct Entry {
        TextRef key;
        TextRef value;
    };
    // Two words of a packed entry: offset into the source << 24 | length.
    struct Packed {
        uint64_t key;
        uint64_t value;
    };
    static constexpr unsigned kLengthBits = 24;
    static_assert(kMaxPackedLength == (uint64_t{1} << kLengthBits) - 1);
    static constexpr uint64_t kMaxOffset = (uint64_t{1} << (64 - kLengthBits)) - 1;
    static uint64_t pack(const char* base, std::string_view text) noexcept {
        return static_cast<uint64_t>(text.data() - base) << kLengthBits | text.size();
    }
    static std::string_view unpack(const char* base, uint64_t word) noexcept {
        return {base + (word >> kLengthBits), static_cast<size_t>(word & kMaxPackedLength)};
    }

    // One block: this header, `capacity` slots (0 for a free slot, otherwise
    // 1 + the index of its entry in the bits of `capacity - 1`, the key's hash
    // tag in the bits above) or, in a small table, the order word, then room
    // for `room` entries, of which the first `count` are in use, in insertion
    // order: Entry when `wide`, Packed otherwise.
    struct Table {
        HashKeys keys;
        uint32_t count;
        uint32_t capacity;  // a power of two
        uint32_t room;
        bool wide;
        bool in_arena;  // packed only: memory of sole_source's arena, which it holds a reference on
        bool small;     // packed only: an order word instead of slots (see small_order)
        SharedSource* sole_source;  // packed tables: every entry's source (null while empty)

        // The bits of a slot that hold its entry's index + 1.
        uint32_t index_mask() const noexcept { return capacity - 1; }
        uint32_t* slots() noexcept { return reinterpret_cast<uint32_t*>(this + 1); }
        const uint32_t* slots() const noexcept {
            return reinterpret_cast<const uint32_t*>(this + 1);
        }
        char* entry_bytes() noexcept {
            return reinterpret_cast<char*>(this) + entries_offset(small ? 0 : capacity);
        }
        // A small table's iteration order: entry indices, four bits each,
        // first in the lowest bits, then a 1 bit that ends them; 0 until
        // computed.
        std::atomic<uint64_t>& order_word() const noexcept {
            return *reinterpret_cast<std::atomic<uint64_t>*>(const_cast<Table*>(this) + 1);
        }
        const char* entry_bytes() const noexcept { return const_cast<Table*>(this)->entry_bytes(); }
        Entry* entries() noexcept { return reinterpret_cast<Entry*>(entry_bytes()); }
        const Entry* entries() const noexcept {
            return reinterpret_cast<const Entry*>(entry_bytes());
        }
        Packed* packed() noexcept { return reinterpret_cast<Packed*>(entry_bytes()); }
        const Packed* packed() const noexcept {
            return reinterpret_cast<const Packed*>(entry_bytes());
        }
        std::string_view key_at(uint32_t index) const noexcept {
            return wide ? entries()[index].key.view()
                        : unpack(sole_source->data(), packed()[index].key);
        }
        std::string_view value_at(uint32_t index) const noexcept {
            return wide ? entries()[index].value.view()
                        : unpack(sole_source->data(), packed()[index].value);
        }
    };
    // With no slots there is room for the order word.
    static size_t entries_offset(uint32_t capacity) noexcept {
        const size_t slot_bytes = capacity ? sizeof(uint32_t) * size_t{capacity} : sizeof(uint64_t);
        const size_t end = sizeof(Table) + slot_bytes;
        return (end + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
    }
    static size_t entry_size(bool wide) noexcept { return wide ? sizeof(Entry) : sizeof(Packed); }
    // A table for up to `room` entries, with no entry in use, from malloc or
    // (when `arena_source` is given) from that source's arena.
    static Table* allocate(HashKeys keys, uint32_t room, bool wide,
                           SharedSource* arena_source = nullptr);
    static void destroy(Table* table, TextReleaser& releaser) noexcept;
    // Moves the entries into a table with room for `room` (>= count), wide
    // or packed (only from packed).
    void rebuild(uint32_t room, bool wide);
    // Whether key and value can join this map packed.
    bool packs(const TextRef& key, const TextRef& value) const noexcept;
    // The room of a full table grown for one more entry.
    uint32_t grown_room() const noexcept;
    // Smallest table that holds `count` entries at the load insert() keeps.
    static uint32_t capacity_for(uint32_t count) noexcept;
    // The slot of `key`, or the free slot where it would go, and the tag
    // bits that a slot of that key holds.
    struct Probe {
        uint32_t* slot;
        uint32_t tag;
    };
    static Probe probe(Table* table, Hashed key) noexcept;
    static Probe probe(Table* table, std::string_view key) noexcept;
    // A small table's order word, computed on the first call.
    static uint64_t small_order(const Table* table) noexcept;
    static std::optional<uint32_t> find_small(const Table* table, std::string_view key) noexcept;

    Table* table_ = nullptr;
};

class AttrMap::View {
  public:
    template <class F>
    void for_each(F&& f) const {
        if (!table_ || table_->count == 0) return;
        if (table_->small) {
            const char* base = table_->sole_source->data();
            const Packed* entries = table_->packed();
            for (uint64_t order = small_order(table_); order != 1; order >>= 4) {
                const Packed& e = entries[order & 0xf];
                f(unpack(base, e.key), unpack(base, e.value));
            }
            return;
        }
        if (table_->wide) {
            const Entry* entries = table_->entries();
            walk(
                entries, [&](const Entry& e) { f(e.key.view(), e.value.view()); },
                [](const Entry& e) { plovane::prefetch(e.key.view().data()); });
            return;
        }
        const Packed* entries = table_->packed();
        const char* base = table_->sole_source->data();
        walk(
            entries, [&](const Packed& e) { f(unpack(base, e.key), unpack(base, e.value)); },
            [&](const Packed& e) { plovane::prefetch(base + (e.key >> kLengthBits)); });
    }
    // Asks for the start of the table ahead of a coming for_each or release.
    void prefetch() const noexcept { plovane::prefetch(table_); }

  private:
    friend class AttrMap;
    explicit View(const Table* table) noexcept : table_(table) {}

    // Calls visit(entry) in slot order. Slot order is not entry order, so in
    // a table past the caches every entry and its text would be a cache miss
    // in turn: there, entries are asked for a few slots ahead and their text
    // (prefetch_text(entry)) a few slots after that.
    template <class E, class Visit, class PrefetchText>
    void walk(const E* entries, Visit&& visit, PrefetchText&& prefetch_text) const {
        const uint32_t* slots = table_->slots();
        const uint32_t mask = table_->index_mask();
        const uint32_t capacity = table_->capacity;
        constexpr uint32_t kAhead = 16;
        uint32_t i = 0;
        if (capacity >= kPrefetchFrom) {
            for (; i + 2 * kAhead < capacity; ++i) {
                if (const uint32_t far = slots[i + 2 * kAhead] & mask)
                    plovane::prefetch(&entries[far - 1]);
                if (const uint32_t near = slots[i + kAhead] & mask)
                    prefetch_text(entries[near - 1]);
                if (const uint32_t slot = slots[i] & mask) visit(entries[slot - 1]);
            }
        }
        for (; i < capacity; ++i) {
            if (const uint32_t slot = slots[i] & mask) visit(entries[slot - 1]);
        }
    }
    // Tables of fewer slots are walked without prefetching.
    static constexpr uint32_t kPrefetchFrom = 1u << 14;

    const Table* table_;
};

inline AttrMap::View AttrMap::view() const noexcept {
    return View(table_);
}

template <class KeyOf, class Insert>
size_t AttrMap::insert_hashed_ahead(size_t count, KeyOf&& key_of, Insert&& insert) {
    constexpr size_t kAhead = 16;
    Hashed hashed[kAhead];
    for (size_t start = 0; start < count; start += kAhead) {
        const size_t batch = count - start < kAhead ? count - start : kAhead;
        for (size_t k = 0; k < batch; ++k) hashed[k] = hash_ahead(key_of(start + k));
        for (size_t k = 0; k < batch; ++k) {
            if (!insert(start + k, hashed[k])) return start + k;
        }
    }
    return count;
}

template <class F>
void AttrMap::for_each(F&& f) const {
    view().for_each(std::forward<F>(f));
}

}  // namespace plovane
