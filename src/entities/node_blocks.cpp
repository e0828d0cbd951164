#include "entities/node_blocks.h"

#include <new>
#include <utility>

#include "capi/errors.h"
#include "platform/page_hints.h"
#include "platform/prefetch.h"

namespace plovane {

NodeBlocks::~NodeBlocks() {
    for (NodeObject* block : blocks_) {
        destroy_node_fields(block);
        free_node_block(block);
    }
}

ElementSink& NodeBlocks::sink() noexcept {
#ifdef Py_GIL_DISABLED
    return elements_;
#else
    return blocks_sink_;
#endif
}

void NodeBlocks::BlockSink::reserve(size_t elements) {
    slab_.reserve(elements);
    reserve_fresh(blocks_, elements);
    reserve_fresh(finished_, elements);
}

void NodeBlocks::BlockSink::add(TextRef&& name, AttrMap&& attrs, TextRef&& text,
                                uint64_t child_count) {
    const size_t count = static_cast<size_t>(child_count);
    // Room first, so that a block is never left without an owner.
    grow_fresh(blocks_, 1);
    NodeObject* block = slab_.allocate(count);
    if (!block) throw std::bad_alloc();
    const size_t first = finished_.size() - count;
    init_node_fields(block, std::move(name), std::move(attrs), finished_.data() + first, count,
                     std::move(text));
    blocks_.push_back(block);
    finished_.resize(first);
    finished_.push_back(reinterpret_cast<PyObject*>(block));
}

PyObject* NodeBlocks::activate() {
#ifdef Py_GIL_DISABLED
    try {
        FlatTree elements = std::move(elements_.tree);
        blocks_sink_.reserve(elements.size());
        for (FlatElement& e : elements) {
            blocks_sink_.add(std::move(e.name), std::move(e.attrs), std::move(e.text),
                             e.child_count);
        }
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
#endif
    PyTypeObject* type = node_type();
    if (!type) {
        raise_internal_error("a Node was made before the module made its class");
        return nullptr;
    }
    // Each block's children are blocks before it: every object is whole
    // before anything can see it.
    // The blocks were last touched while the document was read: asking for
    // a few ahead overlaps their cache misses.
    constexpr size_t kAhead = 8;
    const size_t count = blocks_.size();
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) prefetch(blocks_[i + kAhead]);
        PyObject_Init(reinterpret_cast<PyObject*>(blocks_[i]), type);
    }
    PyObject* root = reinterpret_cast<PyObject*>(blocks_.back());
    blocks_.clear();
    return root;
}

}  // namespace plovane
