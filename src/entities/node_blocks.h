// A read tree turned into node blocks: the memory and fields of every node,
// children linked, but no Python objects yet. `activate` then makes each
// block an object.
//
// With the global lock the blocks come from a NodeSlab and are built
// without the interpreter, as the reader finishes each element, so that
// making them objects is all that is left to do under the lock. A
// free-threaded interpreter requires its own object allocator, which needs an
// attached thread; attached threads there block no other, so the reader's
// elements are kept in order and made blocks by `activate` instead.
#pragma once

#include <Python.h>

#include <vector>

#include "entities/node.h"
#include "entities/node_slab.h"
#include "read/element_sink.h"
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

    // Where the reader puts the elements; calls nothing of the interpreter.
    // On std::bad_alloc the blocks made so far are released with this object.
    ElementSink& sink() noexcept;
    // With the interpreter: makes every block a Node and returns the root
    // (a new reference), or nullptr with an exception.
    PyObject* activate();

  private:
    // Makes one block from an element, linking the children that `finished_`
    // holds last.
    class BlockSink final : public ElementSink {
      public:
        explicit BlockSink(std::vector<NodeObject*>& blocks) : blocks_(blocks) {}
        void reserve(size_t elements) override;
        void add(TextRef&& name, AttrMap&& attrs, TextRef&& text, uint64_t child_count) override;

      private:
        NodeSlab slab_;
        std::vector<NodeObject*>& blocks_;
        std::vector<PyObject*> finished_;  // blocks of subtrees whose parent is still to come
    };

    std::vector<NodeObject*> blocks_;  // post order, root last
    BlockSink blocks_sink_{blocks_};
#ifdef Py_GIL_DISABLED
    FlatTreeSink elements_;  // the reader's tree, until activate makes its blocks
#endif
};

}  // namespace plovane
