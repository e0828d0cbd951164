#include "storage/attr_map.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "storage/siphash.h"

namespace plovane {

static_assert(sizeof(AttrMap::Entry) % alignof(AttrMap::Entry) == 0);

AttrMap::Table* AttrMap::allocate(HashKeys keys, uint32_t room) {
    const uint32_t capacity = capacity_for(room);
    const size_t slot_bytes = sizeof(uint32_t) * size_t{capacity};
    void* block = std::malloc(entries_offset(capacity) + sizeof(Entry) * size_t{room});
    if (!block) throw std::bad_alloc();
    auto* table = new (block) Table{keys, 0, capacity, room, nullptr};
    std::memset(table->slots(), 0, slot_bytes);
    return table;
}

void AttrMap::destroy(Table* table) noexcept {
    if (table->sole_source) {
        // Spans hold nothing but their reference on the source.
        table->sole_source->release(uint64_t{2} * table->count);
        std::free(table);
        return;
    }
    Entry* entries = table->entries();
    TextReleaser releaser;
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
    const uint32_t capacity = from->capacity;
    void* block = std::malloc(entries_offset(capacity) + sizeof(Entry) * size_t{from->count});
    if (!block) throw std::bad_alloc();
    table_ = new (block) Table{from->keys, 0, capacity, from->count, nullptr};
    std::memcpy(table_->slots(), from->slots(), sizeof(uint32_t) * size_t{capacity});
    const Entry* source = from->entries();
    Entry* target = table_->entries();
    for (uint32_t i = 0; i < from->count; ++i) {
        new (&target[i]) Entry(source[i]);
        table_->count = i + 1;  // released correctly should a copy throw
    }
    table_->sole_source = from->sole_source;
}

uint32_t AttrMap::size() const noexcept {
    return table_ ? table_->count : 0;
}

uint32_t* AttrMap::probe(Table* table, std::string_view key) noexcept {
    const uint32_t mask = table->capacity - 1;
    uint32_t* slots = table->slots();
    const Entry* entries = table->entries();
    for (uint32_t i = static_cast<uint32_t>(siphash13(table->keys, key)) & mask;;
         i = (i + 1) & mask) {
        const uint32_t slot = slots[i];
        if (slot == 0 || entries[slot - 1].key.view() == key) return &slots[i];
    }
}

const TextRef* AttrMap::find(std::string_view key) const noexcept {
    if (!table_) return nullptr;
    const uint32_t slot = *probe(table_, key);
    return slot ? &table_->entries()[slot - 1].value : nullptr;
}

void AttrMap::rebuild(uint32_t room) {
    Table* old = table_;
    table_ = allocate(old->keys, room);
    // With as many slots as before, every entry keeps its slot: no hashing.
    const bool same_slots = table_->capacity == old->capacity;
    if (same_slots) {
        std::memcpy(table_->slots(), old->slots(), sizeof(uint32_t) * size_t{old->capacity});
    }
    Entry* from = old->entries();
    Entry* to = table_->entries();
    for (uint32_t i = 0; i < old->count; ++i) {
        new (&to[i]) Entry(std::move(from[i]));
        if (!same_slots) *probe(table_, to[i].key.view()) = i + 1;
    }
    table_->count = old->count;
    table_->sole_source = old->sole_source;
    old->sole_source = nullptr;
    old->count = 0;  // the entries have moved out
    destroy(old);
}

void AttrMap::note_source(Table* table, const Entry& entry) noexcept {
    SharedSource* source = entry.key.source();
    if (source != entry.value.source()) source = nullptr;
    if (table->count == 0) {
        table->sole_source = source;
    } else if (table->sole_source != source) {
        table->sole_source = nullptr;
    }
}

uint32_t AttrMap::capacity_for(uint32_t count) noexcept {
    uint32_t capacity = 2;
    while (capacity < (1u << 31) && uint64_t{count} * 4 > uint64_t{capacity} * 3) capacity *= 2;
    return capacity;
}

void AttrMap::reserve(HashKeys keys, uint32_t count) {
    if (!table_) {
        table_ = allocate(keys, count);
    } else if (count > table_->room) {
        rebuild(count);
    }
}

bool AttrMap::insert(HashKeys keys, TextRef key, TextRef value) {
    if (!table_) table_ = allocate(keys, 1);
    uint32_t* slot = probe(table_, key.view());
    if (*slot) return false;
    if (table_->count == table_->room) {
        // Doubling keeps one-by-one insertion linear overall.
        rebuild(table_->room < 2 ? 2 : table_->room * 2);
        slot = probe(table_, key.view());
    }
    Entry* entry = &table_->entries()[table_->count];
    new (entry) Entry{std::move(key), std::move(value)};
    note_source(table_, *entry);
    *slot = ++table_->count;
    return true;
}

}  // namespace plovane
