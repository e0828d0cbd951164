#include "storage/attr_map.h"

#include <cstdlib>
#include <new>

#include "storage/siphash.h"

namespace plovane {

static_assert(sizeof(AttrMap::Entry) % alignof(AttrMap::Entry) == 0);

AttrMap::Table* AttrMap::allocate(HashKeys keys, uint32_t capacity) {
    void* block = std::malloc(sizeof(Table) + sizeof(Entry) * capacity);
    if (!block) throw std::bad_alloc();
    auto* table = new (block) Table{keys, 0, capacity};
    Entry* slots = table->slots();
    for (uint32_t i = 0; i < capacity; ++i) new (&slots[i]) Entry();
    return table;
}

void AttrMap::destroy(Table* table) noexcept {
    if (!table) return;
    Entry* slots = table->slots();
    for (uint32_t i = 0; i < table->capacity; ++i) slots[i].~Entry();
    std::free(table);
}

AttrMap::AttrMap(const AttrMap& other) {
    if (!other.table_) return;
    table_ = allocate(other.table_->keys, other.table_->capacity);
    table_->count = other.table_->count;
    Entry* from = other.table_->slots();
    Entry* to = table_->slots();
    for (uint32_t i = 0; i < table_->capacity; ++i) {
        if (from[i].key.present()) to[i] = from[i];
    }
}

AttrMap::~AttrMap() { destroy(table_); }

uint32_t AttrMap::size() const noexcept { return table_ ? table_->count : 0; }

AttrMap::Entry* AttrMap::probe(Table* table, std::string_view key) noexcept {
    const uint32_t mask = table->capacity - 1;
    Entry* slots = table->slots();
    for (uint32_t i = static_cast<uint32_t>(siphash13(table->keys, key)) & mask;; i = (i + 1) & mask) {
        if (!slots[i].key.present() || slots[i].key.view() == key) return &slots[i];
    }
}

const TextRef* AttrMap::find(std::string_view key) const noexcept {
    if (!table_) return nullptr;
    Entry* slot = probe(table_, key);
    return slot->key.present() ? &slot->value : nullptr;
}

void AttrMap::rehash(uint32_t capacity) {
    Table* old = table_;
    table_ = allocate(old->keys, capacity);
    Entry* slots = old->slots();
    for (uint32_t i = 0; i < old->capacity; ++i) {
        if (!slots[i].key.present()) continue;
        *probe(table_, slots[i].key.view()) = std::move(slots[i]);
        ++table_->count;
    }
    destroy(old);
}

uint32_t AttrMap::capacity_for(uint32_t count) noexcept {
    uint32_t capacity = 2;
    while (capacity < (1u << 31) && uint64_t{count} * 4 > uint64_t{capacity} * 3) capacity *= 2;
    return capacity;
}

void AttrMap::reserve(HashKeys keys, uint32_t count) {
    const uint32_t capacity = capacity_for(count);
    if (!table_) {
        table_ = allocate(keys, capacity);
    } else if (capacity > table_->capacity) {
        rehash(capacity);
    }
}

bool AttrMap::insert(HashKeys keys, TextRef key, TextRef value) {
    if (!table_) table_ = allocate(keys, 2);
    Entry* slot = probe(table_, key.view());
    if (slot->key.present()) return false;
    // Keep the load at or below three quarters so probes stay short.
    if ((table_->count + 1) * 4 > table_->capacity * 3) {
        grow();
        slot = probe(table_, key.view());
    }
    slot->key = std::move(key);
    slot->value = std::move(value);
    ++table_->count;
    return true;
}

}  // namespace plovane
