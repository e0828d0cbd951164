// Memory for the node blocks of one read, with the global lock: blocks are
// cut from large chunks in turn, and a chunk goes back to the block pool
// (storage/block_pool.h) when the last block in it is freed.
//
// Allocating every node on its own made the allocator's state part of the
// cost of a read: after other libraries had used and freed the heap, each of
// a document's nodes took a slower path through it (reads ran 8-12% slower
// than with one allocation for all). Each block records its chunk
// (NodeObject::chunk), so tp_free finds it. A node kept after the rest of
// its tree is gone keeps its chunk, at most kChunkBytes.
//
// A free-threaded interpreter requires its object allocator for every
// object (see allocate_node): there the slab hands out blocks of their own.
#pragma once

#include <cstddef>

#include "entities/node.h"

namespace plovane {

// A chunk's header; the blocks follow it.
struct NodeChunk {
    size_t live;   // blocks in use, and one more while a slab cuts from the chunk
    size_t bytes;  // of the whole chunk, this header included
};

// Frees a block's share of its chunk (and the chunk with its last block).
// With the global lock, or on the reading thread before the nodes are
// published.
void release_chunk(NodeChunk* chunk) noexcept;

class NodeSlab {
  public:
    // The largest chunk.
    static constexpr size_t kChunkBytes = size_t{64} << 10;

    NodeSlab() = default;
    NodeSlab(const NodeSlab&) = delete;
    NodeSlab& operator=(const NodeSlab&) = delete;
    // Lets go of the chunk being cut from.
    ~NodeSlab();

    // Sizes the chunks for `elements` more nodes, each of them a child of
    // one of the others but one, so that a small tree takes one chunk of
    // about its size and a large one leaves little unused in its last.
    void reserve(size_t elements) noexcept;
    // A block for a node with `child_count` children, whose `chunk` is set;
    // null when memory runs out. Blocks too large for a chunk are blocks of
    // their own.
    NodeObject* allocate(size_t child_count) noexcept;

  private:
    NodeChunk* chunk_ = nullptr;
    char* next_ = nullptr;
    size_t left_ = 0;
    size_t expected_ = 0;  // bytes of the blocks still to come, at most
};

}  // namespace plovane
