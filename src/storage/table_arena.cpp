#include "storage/table_arena.h"

#include <new>

#include "storage/block_pool.h"

namespace plovane {

TableArena::~TableArena() {
    for (const Block& block : blocks_) give_block(block.memory, block.bytes);
}

void* TableArena::allocate(size_t bytes) {
    bytes = (bytes + 7) & ~size_t{7};
    if (bytes > left_) {
        // A table larger than a block gets a block of its own; the current
        // block stays open for the small ones.
        const bool own = bytes > block_size_ / 2;
        const size_t size = own ? bytes : block_size_;
        blocks_.reserve(blocks_.size() + 1);
        void* block = take_block(size);
        if (!block) throw std::bad_alloc();
        blocks_.push_back({block, size});
        if (own) return block;
        next_ = static_cast<char*>(block);
        left_ = size;
        if (block_size_ < kLargest) block_size_ *= 2;
    }
    void* out = next_;
    next_ += bytes;
    left_ -= bytes;
    return out;
}

}  // namespace plovane
