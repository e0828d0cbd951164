// A read tree turned into node blocks: the memory and fields of every node,
// children linked, but no Python objects yet. `activate` then makes each
// block an object.
//
// With the global lock the blocks come from the C allocator and are built
// without the interpreter, so that making them objects is all that is left
// to do under the lock. A free-threaded interpreter requires its own object
// allocator, which needs an attached thread; attached threads there block
// no other, so the blocks are built by `activate` instead.
#pragma once

#include <Python.h>

#include <vector>

#include "entities/node.h"
#include "storage/flat_tree.h"

namespace plovane {

class NodeBlocks {
  public:
    NodeBlocks() = default;
    NodeBlocks(const NodeBlocks&) = delete;
    NodeBlocks& operator=(const NodeBlocks&) = delete;
    // Releases blocks that never became objects; on a free-threaded
    // interpreter the caller is attached.
    ~NodeBlocks();

    // Takes a post-order tree, moving its strings and maps; calls nothing
    // of the interpreter. False when memory ran out (the blocks made so far
    // are released with this object).
    bool build(FlatTree&& elements) noexcept;
    // With the interpreter: makes every block a Node and returns the root
    // (a new reference), or nullptr with an exception.
    PyObject* activate();

  private:
    // Allocates and fills the blocks of `elements`, emptying its strings
    // and maps; false when memory ran out.
    bool make_blocks(FlatTree& elements) noexcept;

    std::vector<NodeObject*> blocks_;  // post order, root last
#ifdef Py_GIL_DISABLED
    FlatTree elements_;  // the tree build took, until activate makes its blocks
#endif
};

}  // namespace plovane
