// A read tree turned into node blocks without the interpreter: the memory
// and fields of every node, children linked, but no Python objects yet.
// With the interpreter held again, `activate` makes each block an object,
// which is all that is left to do under the lock.
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
    // Releases blocks that never became objects.
    ~NodeBlocks();

    // Builds the blocks of a post-order tree, moving its strings and maps;
    // calls nothing of the interpreter. False when memory ran out (the
    // blocks made so far are released with this object).
    bool build(FlatTree&& elements) noexcept;
    // With the interpreter: makes every block a Node and returns the root
    // (a new reference), or nullptr with an exception.
    PyObject* activate();

  private:
    std::vector<NodeObject*> blocks_;  // post order, root last
};

}  // namespace plovane
