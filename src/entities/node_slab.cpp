#include "entities/node_slab.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "storage/block_pool.h"

namespace plovane {

namespace {

// Blocks are packed: an object needs no more alignment than its fields, and
// every block size is a multiple of it (the child array holds pointers).
constexpr size_t kHeaderBytes = sizeof(NodeChunk);
static_assert(kHeaderBytes % alignof(NodeObject) == 0 &&
              sizeof(NodeObject) % alignof(NodeObject) == 0 &&
              sizeof(PyObject*) % alignof(NodeObject) == 0);
// A block larger than this is one of its own, so that a chunk holds many.
constexpr size_t kLargestShared = NodeSlab::kChunkBytes / 8;

}  // namespace

void release_chunk(NodeChunk* chunk) noexcept {
    if (--chunk->live == 0) give_block(chunk, chunk->bytes);
}

NodeSlab::~NodeSlab() {
    if (chunk_) release_chunk(chunk_);
}

void NodeSlab::reserve(size_t elements) noexcept {
    const size_t most = node_block_size(1);
    expected_ = elements > SIZE_MAX / most ? SIZE_MAX : elements * most;
}

NodeObject* NodeSlab::allocate(size_t child_count) noexcept {
#ifdef Py_GIL_DISABLED
    return allocate_node(child_count);
#else
    const size_t size = node_block_size(child_count);
    if (size > kLargestShared) return allocate_node(child_count);
    if (size > left_) {
        // Without a bound from reserve(), a full chunk.
        const size_t wanted = expected_ ? std::min(expected_, kChunkBytes) : kChunkBytes;
        const size_t bytes = kHeaderBytes + std::max(size, wanted);
        void* memory = take_block(bytes);
        if (!memory) return nullptr;
        if (chunk_) release_chunk(chunk_);
        chunk_ = new (memory) NodeChunk{1, bytes};
        next_ = static_cast<char*>(memory) + kHeaderBytes;
        left_ = bytes - kHeaderBytes;
    }
    auto* node = reinterpret_cast<NodeObject*>(next_);
    next_ += size;
    left_ -= size;
    expected_ -= std::min(expected_, size);
    ++chunk_->live;
    node->chunk = chunk_;
    return node;
#endif
}

}  // namespace plovane
