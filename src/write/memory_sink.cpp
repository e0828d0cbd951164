#include "write/memory_sink.h"

#include <algorithm>
#include <new>

namespace plovane {

bool MemorySink::append_spaces(uint64_t count) {
    if (count > room()) grow(count);
    if (count > 0) std::memset(cursor_, ' ', static_cast<size_t>(count));
    cursor_ += count;
    return true;
}

void MemorySink::grow(uint64_t bytes) {
    constexpr uint64_t kMinimum = 256;
    const uint64_t capacity = static_cast<uint64_t>(limit_ - begin_);
    // Past half the address space there is nothing left to double into.
    if (bytes > UINT64_MAX / 2 - size()) throw std::bad_alloc();
    grow_to(std::max({size() + bytes, 2 * capacity, kMinimum}));
}

void MemorySink::grow_to(uint64_t capacity) {
    const uint64_t used = size();
    if (capacity > PTRDIFF_MAX) throw std::bad_alloc();
    auto* block = static_cast<char*>(std::realloc(begin_, static_cast<size_t>(capacity)));
    if (!block) throw std::bad_alloc();
    begin_ = block;
    cursor_ = block + used;
    limit_ = block + capacity;
}

}  // namespace plovane
