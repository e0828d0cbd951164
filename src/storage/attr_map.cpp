#include "storage/attr_map.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/page_hints.h"
#include "platform/prefetch.h"
#include "storage/siphash.h"
#include "storage/table_arena.h"

namespace plovane {

AttrMap::Table* AttrMap::allocate(HashKeys keys, uint32_t room, bool wide,
                                  SharedSource* arena_source) {
    static_assert(sizeof(Entry) % alignof(Entry) == 0 && alignof(Packed) <= alignof(Entry));
    const uint32_t capacity = capacity_for(room);
    // Past the largest table the load bound fails; an index must also fit
    // below the tag bits.
    if (uint64_t{room} * 4 > uint64_t{capacity} * 3) throw std::bad_alloc();
    const size_t slot_bytes = sizeof(uint32_t) * size_t{capacity};
    const size_t bytes = entries_offset(capacity) + entry_size(wide) * size_t{room};
    void* block = arena_source ? arena_source->tables().allocate(bytes) : std::malloc(bytes);
    if (!block) throw std::bad_alloc();
    // A large table is reached in hash order, all over: with small pages
    // nearly every probe and every walk step would also miss the TLB.
    advise_huge_pages(block, bytes);
    auto* table = new (block)
        Table{keys, 0, capacity, room, wide, arena_source != nullptr, false, arena_source};
    std::memset(table->slots(), 0, slot_bytes);
    return table;
}

void AttrMap::destroy(Table* table, TextReleaser& releaser) noexcept {
    if (!table->wide) {
        // Packed strings hold nothing but their references on the source; a
        // table in the source's arena holds one more, and goes with the
        // source (which these references keep until the releaser lets go).
        const uint64_t references = uint64_t{2} * table->count + (table->in_arena ? 1 : 0);
        if (references) releaser.release_references(table->sole_source, references);
        if (!table->in_arena) std::free(table);
        return;
    }
    Entry* entries = table->entries();
    for (uint32_t i = 0; i < table->count; ++i) {
        releaser.release(entries[i].key);
        releaser.release(entries[i].value);
        entries[i].~Entry();
    }
    std::free(table);
}

AttrMap::AttrMap(const AttrMap& other) {
    if (!other.table_) return;
    const Table* from = other.table_;
    // Same capacity and the same slots: the copy iterates in the same order.
    const size_t offset = entries_offset(from->small ? 0 : from->capacity);
    const size_t bytes = offset + entry_size(from->wide) * from->count;
    void* block = std::malloc(bytes);
    if (!block) throw std::bad_alloc();
    if (from->small) {
        // Another thread may be filling in the order word: read it as it does.
        std::memcpy(block, from, sizeof(Table));
        new (static_cast<Table*>(block) + 1)
            std::atomic<uint64_t>(from->order_word().load(std::memory_order_relaxed));
        std::memcpy(static_cast<char*>(block) + offset, from->entry_bytes(), bytes - offset);
    } else if (!from->wide) {
        std::memcpy(block, from, bytes);
    }
    if (!from->wide) {
        table_ = static_cast<Table*>(block);
        table_->room = from->count;
        table_->in_arena = false;
        if (from->count) from->sole_source->retain(uint64_t{2} * from->count);
        return;
    }
    table_ =
        new (block) Table{from->keys, 0, from->capacity, from->count, true, false, false, nullptr};
    std::memcpy(table_->slots(), from->slots(), sizeof(uint32_t) * size_t{from->capacity});
    const Entry* source = from->entries();
    Entry* target = table_->entries();
    for (uint32_t i = 0; i < from->count; ++i) {
        new (&target[i]) Entry(source[i]);
        table_->count = i + 1;  // released correctly should a copy throw
    }
}

uint32_t AttrMap::size() const noexcept {
    return table_ ? table_->count : 0;
}

AttrMap::Probe AttrMap::probe(Table* table, Hashed key) noexcept {
    const uint32_t mask = table->index_mask();
    uint32_t* slots = table->slots();
    // The home slot takes the hash's low bits, the tag its high ones.
    const uint32_t tag = static_cast<uint32_t>(key.hash >> 32) & ~mask;
    for (uint32_t i = static_cast<uint32_t>(key.hash) & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots[i];
        if (slot == 0 || ((slot & ~mask) == tag && table->key_at((slot & mask) - 1) == key.key)) {
            return {&slots[i], tag};
        }
    }
}

AttrMap::Probe AttrMap::probe(Table* table, std::string_view key) noexcept {
    return probe(table, Hashed{key, siphash13(table->keys, key)});
}

AttrMap::Hashed AttrMap::hash_ahead(std::string_view key) const noexcept {
    const uint64_t hash = siphash13(table_->keys, key);
    plovane::prefetch(table_->slots() + (static_cast<uint32_t>(hash) & table_->index_mask()));
    return {key, hash};
}

uint64_t AttrMap::small_order(const Table* table) noexcept {
    // One entry has one order: no hashing, and nothing to store.
    if (table->count == 1) return uint64_t{1} << 4;
    std::atomic<uint64_t>& word = table->order_word();
    uint64_t order = word.load(std::memory_order_relaxed);
    if (order) return order;
    // The entries go into slots as insert() would put them into a table of
    // this capacity, in entry order; the order is then that of the slots.
    constexpr uint32_t kMostSlots = 32;
    static_assert(uint64_t{kMaxSmall} * 4 <= uint64_t{kMostSlots} * 3);
    uint8_t slots[kMostSlots] = {};
    const uint32_t mask = table->capacity - 1;
    for (uint32_t i = 0; i < table->count; ++i) {
        uint32_t at = static_cast<uint32_t>(siphash13(table->keys, table->key_at(i))) & mask;
        while (slots[at]) at = (at + 1) & mask;
        slots[at] = static_cast<uint8_t>(i + 1);
    }
    order = 1;
    for (uint32_t at = table->capacity; at-- > 0;) {
        if (slots[at]) order = order << 4 | (slots[at] - 1u);
    }
    word.store(order, std::memory_order_relaxed);
    return order;
}

std::optional<uint32_t> AttrMap::find_small(const Table* table, std::string_view key) noexcept {
    for (uint32_t i = 0; i < table->count; ++i) {
        if (table->key_at(i) == key) return i;
    }
    return std::nullopt;
}

std::optional<std::string_view> AttrMap::find(std::string_view key) const noexcept {
    if (!table_) return std::nullopt;
    if (table_->small) {
        const std::optional<uint32_t> index = find_small(table_, key);
        if (!index) return std::nullopt;
        return table_->value_at(*index);
    }
    const uint32_t slot = *probe(table_, key).slot;
    if (!slot) return std::nullopt;
    return table_->value_at((slot & table_->index_mask()) - 1);
}

void AttrMap::rebuild(uint32_t room, bool wide) {
    Table* old = table_;
    table_ = allocate(old->keys, room, wide);
    table_->sole_source = wide ? nullptr : old->sole_source;
    // With as many slots as before, every entry keeps its slot: no hashing.
    const bool same_slots = !old->small && table_->capacity == old->capacity;
    if (same_slots) {
        std::memcpy(table_->slots(), old->slots(), sizeof(uint32_t) * size_t{old->capacity});
    }
    if (!old->wide && !wide) {
        std::memcpy(table_->packed(), old->packed(), sizeof(Packed) * size_t{old->count});
    }
    for (uint32_t i = 0; i < old->count; ++i) {
        if (wide && old->wide) {
            new (&table_->entries()[i]) Entry(std::move(old->entries()[i]));
        } else if (wide) {
            // The packed strings' references pass to the new Spans.
            const char* base = old->sole_source->data();
            const Packed& packed = old->packed()[i];
            new (&table_->entries()[i])
                Entry{TextRef::adopt_span(old->sole_source, unpack(base, packed.key)),
                      TextRef::adopt_span(old->sole_source, unpack(base, packed.value))};
        }
        if (!same_slots) {
            const Probe found = probe(table_, table_->key_at(i));
            *found.slot = found.tag | (i + 1);
        }
    }
    table_->count = old->count;
    old->count = 0;  // the entries have moved out
    TextReleaser releaser;
    destroy(old, releaser);
}

bool AttrMap::packs(const TextRef& key, const TextRef& value) const noexcept {
    SharedSource* source = key.source();
    return source && value.source() == source && packs_views(source, key.view(), value.view());
}

bool AttrMap::packs_views(const SharedSource* source, std::string_view key,
                          std::string_view value) const noexcept {
    if (table_ && (table_->wide || (table_->count && table_->sole_source != source))) return false;
    const char* base = source->data();
    return key.size() <= kMaxPackedLength && value.size() <= kMaxPackedLength &&
           static_cast<uint64_t>(key.data() - base) <= kMaxOffset &&
           static_cast<uint64_t>(value.data() - base) <= kMaxOffset;
}

bool AttrMap::insert_views(HashKeys keys, SharedSource* source, std::string_view key,
                           std::string_view value) {
    if (!table_) table_ = allocate(keys, 1, false);
    return insert_views(source, hash_ahead(key), value);
}

bool AttrMap::insert_views(SharedSource* source, Hashed key, std::string_view value) {
    if (table_->small) rebuild(table_->room, false);
    Probe found = probe(table_, key);
    if (*found.slot) return false;
    if (table_->count == table_->room) {
        rebuild(grown_room(), false);
        found = probe(table_, key);
    }
    const uint32_t index = table_->count;
    if (index == 0) table_->sole_source = source;
    const char* base = source->data();
    table_->packed()[index] = {pack(base, key.key), pack(base, value)};
    *found.slot = found.tag | ++table_->count;
    return true;
}

uint32_t AttrMap::grown_room() const noexcept {
    // Doubling keeps one-by-one insertion linear overall.
    return table_->room < 2 ? 2 : table_->room * 2;
}

uint32_t AttrMap::capacity_for(uint32_t count) noexcept {
    uint32_t capacity = 2;
    while (capacity < (1u << 31) && uint64_t{count} * 4 > uint64_t{capacity} * 3) capacity *= 2;
    return capacity;
}

void AttrMap::reserve_in(HashKeys keys, uint32_t count, SharedSource* source) {
    table_ = allocate(keys, count, false, source);
}

size_t AttrMap::insert_small_views(
    HashKeys keys, SharedSource* source,
    std::span<const std::pair<std::string_view, std::string_view>> entries) {
    const auto count = static_cast<uint32_t>(entries.size());
    const size_t bytes = entries_offset(0) + sizeof(Packed) * size_t{count};
    void* block = source->tables().allocate(bytes);
    auto* table = new (block) Table{keys, 0, capacity_for(count), count, false, true, true, source};
    new (table + 1) std::atomic<uint64_t>(0);
    table_ = table;
    const char* base = source->data();
    Packed* packed = table->packed();
    for (uint32_t i = 0; i < count; ++i) {
        const auto& [key, value] = entries[i];
        for (uint32_t j = 0; j < i; ++j) {
            if (entries[j].first == key) return i;
        }
        packed[i] = {pack(base, key), pack(base, value)};
        table->count = i + 1;
    }
    return count;
}

void AttrMap::reserve(HashKeys keys, uint32_t count) {
    if (!table_) {
        table_ = allocate(keys, count, false);
    } else if (count > table_->room) {
        rebuild(count, table_->wide);
    }
}

bool AttrMap::insert(HashKeys keys, TextRef key, TextRef value) {
    if (!table_) table_ = allocate(keys, 1, !packs(key, value));
    const Hashed hashed = hash_ahead(key.view());
    return insert(hashed, std::move(key), std::move(value));
}

void AttrMap::insert_copies(HashKeys keys,
                            std::span<const std::pair<std::string_view, std::string_view>> texts) {
    if (texts.empty()) return;
    if (texts.size() > UINT32_MAX) throw std::bad_alloc();  // more than a map holds
    std::string buffer;
    size_t total = 0;
    for (const auto& [key, value] : texts) total += key.size() + value.size();
    buffer.reserve(total);
    advise_huge_pages(buffer.data(), total);  // read in hash order, as the table is
    for (const auto& [key, value] : texts) buffer.append(key).append(value);
    const SourceRef copies = SharedSource::owned(std::move(buffer));
    reserve(keys, static_cast<uint32_t>(texts.size()));
    // Each value follows its key in the buffer. The pairs go in last to
    // first, so that of two keys with the same text the later one's value
    // stays, as in a map that overwrites.
    const size_t last = texts.size() - 1;
    const char* next = copies->data() + total;
    const auto key_of = [&](size_t i) {
        const auto& [key, value] = texts[last - i];
        next -= key.size() + value.size();
        return std::string_view{next, key.size()};
    };
    insert_hashed_ahead(texts.size(), key_of, [&](size_t i, const Hashed& key) {
        const std::string_view value{key.key.data() + key.key.size(),
                                     texts[last - i].second.size()};
        if (packs_views(copies.get(), key.key, value)) {
            copies->retain(2);
            if (!insert_views(copies.get(), key, value)) copies->release(2);
        } else {
            insert(key, TextRef::span(copies, key.key), TextRef::span(copies, value));
        }
        return true;
    });
}

bool AttrMap::insert(Hashed hashed, TextRef key, TextRef value) {
    if (packs(key, value)) {
        if (!insert_views(key.source(), hashed, value.view())) return false;
        // The table keeps both references.
        key.abandon();
        value.abandon();
        return true;
    }
    if (table_->small) rebuild(table_->room, false);
    Probe found = probe(table_, hashed);
    if (*found.slot) return false;
    if (!table_->wide || table_->count == table_->room) {
        rebuild(table_->count < table_->room ? table_->room : grown_room(), true);
        found = probe(table_, hashed);
    }
    new (&table_->entries()[table_->count]) Entry{std::move(key), std::move(value)};
    *found.slot = found.tag | ++table_->count;
    return true;
}

}  // namespace plovane
