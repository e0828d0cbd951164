// Large blocks that a released tree gives back, kept for the next read.
//
// A tree's node chunks and attribute-table blocks went back to the C
// allocator when it was released, which handed the top of its heap back to
// the system; the next read got fresh pages, each of which faulted in on its
// first use. In a steady stream of reads of a small document that was a
// fifth of each read. The pool keeps a few megabytes of such blocks, of the
// sizes its callers use, for any thread.
#pragma once

#include <cstddef>

namespace plovane {

// A block of `bytes` bytes: one the pool kept, if it holds one of that
// size, else one from malloc; null when memory runs out.
void* take_block(size_t bytes) noexcept;

// Keeps the block (from take_block or malloc) for a later take_block of the
// same size while the pool has room; frees it otherwise.
void give_block(void* block, size_t bytes) noexcept;

}  // namespace plovane
