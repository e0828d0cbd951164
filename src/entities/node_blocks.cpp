#include "entities/node_blocks.h"

#include <new>
#include <utility>

#include "capi/errors.h"
#include "platform/page_hints.h"

namespace plovane {

NodeBlocks::~NodeBlocks() {
    for (NodeObject* block : blocks_) {
        destroy_node_fields(block);
        free_node_block(block);
    }
}

bool NodeBlocks::build(FlatTree&& elements) noexcept {
#ifdef Py_GIL_DISABLED
    elements_ = std::move(elements);
    return true;
#else
    return make_blocks(elements);
#endif
}

bool NodeBlocks::make_blocks(FlatTree& elements) noexcept {
    try {
        reserve_fresh(blocks_, elements.size());
        // Blocks of finished subtrees whose parent is still to come, in order.
        std::vector<PyObject*> finished;
        reserve_fresh(finished, elements.size());
        for (FlatElement& element : elements) {
            const size_t count = static_cast<size_t>(element.child_count);
            NodeObject* block = allocate_node(count);
            if (!block) return false;
            const size_t first = finished.size() - count;
            init_node_fields(block, std::move(element.name), std::move(element.attrs),
                             finished.data() + first, count, std::move(element.text));
            blocks_.push_back(block);
            finished.resize(first);
            finished.push_back(reinterpret_cast<PyObject*>(block));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

PyObject* NodeBlocks::activate() {
#ifdef Py_GIL_DISABLED
    const bool made = make_blocks(elements_);
    elements_ = FlatTree();
    if (!made) return PyErr_NoMemory();
#endif
    PyTypeObject* type = node_type();
    if (!type) {
        raise_internal_error("a Node was made before the module made its class");
        return nullptr;
    }
    // Each block's children are blocks before it: every object is whole
    // before anything can see it.
    for (NodeObject* block : blocks_) PyObject_Init(reinterpret_cast<PyObject*>(block), type);
    PyObject* root = reinterpret_cast<PyObject*>(blocks_.back());
    blocks_.clear();
    return root;
}

}  // namespace plovane
