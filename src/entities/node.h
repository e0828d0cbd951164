// The Python Node object: an immutable element with its name, attributes,
// child nodes (shared references) and optional text.
#pragma once

#include <Python.h>

#include <vector>

#include "capi/text_strings.h"
#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

struct NodeChunk;

struct NodeObject {
    PyObject_HEAD
    TextRef name;
    AttrMap attrs;
    NodeChunk* chunk;  // the NodeSlab chunk that holds the block; null for a block of its own
    Py_ssize_t child_count;
    TextRef text;  // absent when the node has no text

    // Strong references to Node objects, stored right after the fields.
    PyObject** children() noexcept { return reinterpret_cast<PyObject**>(this + 1); }
    PyObject* const* children() const noexcept {
        return reinterpret_cast<PyObject* const*>(this + 1);
    }
};

// Creates the class unless it exists; called by every module execution.
// False with an exception when that failed.
bool init_node_type();
// The class, shared by every module object of every interpreter; null
// before the first module execution made it.
PyTypeObject* node_type();
inline bool is_node(PyObject* object) {
    return Py_IS_TYPE(object, node_type());
}
inline NodeObject* as_node(PyObject* object) {
    return reinterpret_cast<NodeObject*>(object);
}

// Builds a node from its parts; takes over the `count` references in
// `children` (they are released if creation fails). Returns nullptr with an
// exception.
PyObject* make_node(TextRef name, AttrMap attrs, PyObject* const* children, size_t count,
                    TextRef text);
// The same, emptying `children`.
inline PyObject* make_node(TextRef name, AttrMap attrs, std::vector<PyObject*>& children,
                           TextRef text) {
    PyObject* node = make_node(std::move(name), std::move(attrs), children.data(), children.size(),
                               std::move(text));
    children.clear();
    return node;
}
// The parts of make_node, for building nodes without the interpreter (see
// NodeBlocks): a block of its own from the allocator that tp_free matches
// (null when memory runs out), its fields, and their release for a block
// that never became an object. On a free-threaded interpreter blocks come
// from its object allocator, which only an attached thread may call; with
// the global lock they come from the C allocator, which any thread may call.
NodeObject* allocate_node(size_t child_count) noexcept;
// The size of the block of a node with `child_count` children.
inline size_t node_block_size(size_t child_count) noexcept {
    return sizeof(NodeObject) + child_count * sizeof(PyObject*);
}
// The class's tp_free: gives back a block of allocate_node.
void free_node_block(void* block) noexcept;
void init_node_fields(NodeObject* node, TextRef name, AttrMap attrs, PyObject* const* children,
                      size_t count, TextRef text) noexcept;
void destroy_node_fields(NodeObject* node) noexcept;
// The same, giving the strings' references on sources to `releaser`.
void destroy_node_fields(NodeObject* node, TextReleaser& releaser) noexcept;

// A new Python str holding the text.
inline PyObject* text_to_python(const TextRef& text) {
    return text_to_python(text.view());
}
// A new dict of the attributes.
PyObject* attrs_to_python(const AttrMap& attrs);

}  // namespace plovane
