// Memory for the attribute tables of one read document, taken from a few
// large blocks and given back all at once with the document's source (to
// the block pool, which keeps the large ones for the next read).
//
// A document gives nearly every element a small table; taking each from
// malloc and giving it back one by one cost a tenth of a read. Every table in
// the arena holds a reference on the source that owns the arena, so the
// blocks outlive the tables. Not thread-safe: only the reader that made the
// source allocates, before any node is published.
#pragma once

#include <cstddef>
#include <vector>

namespace plovane {

class TableArena {
  public:
    TableArena() = default;
    TableArena(const TableArena&) = delete;
    TableArena& operator=(const TableArena&) = delete;
    ~TableArena();

    // `bytes` aligned to 8; throws std::bad_alloc when memory runs out.
    void* allocate(size_t bytes);

  private:
    // Blocks grow with the document (up to kLargest), so a small document
    // leaves little unused at the end of its last block.
    static constexpr size_t kSmallest = size_t{1} << 10;
    static constexpr size_t kLargest = size_t{1} << 18;

    struct Block {
        void* memory;
        size_t bytes;
    };
    std::vector<Block> blocks_;
    char* next_ = nullptr;
    size_t left_ = 0;
    size_t block_size_ = kSmallest;
};

}  // namespace plovane
