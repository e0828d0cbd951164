// The Python Node object: an immutable element with its name, attributes,
// child nodes (shared references) and optional text.
#pragma once

#include <Python.h>

#include <vector>

#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

struct NodeObject {
    PyObject_HEAD
    TextRef name;
    AttrMap attrs;
    PyObject** children;  // strong references to Node objects
    Py_ssize_t child_count;
    TextRef text;  // absent when the node has no text
};

// The class, created on first use and shared by every module object.
PyTypeObject* node_type();
inline bool is_node(PyObject* object) { return Py_IS_TYPE(object, node_type()); }
inline NodeObject* as_node(PyObject* object) { return reinterpret_cast<NodeObject*>(object); }

// Builds a node from its parts; takes over the references in `children`
// (they are released if creation fails). Returns nullptr with an exception.
PyObject* make_node(TextRef name, AttrMap attrs, std::vector<PyObject*>& children, TextRef text);
// A new Python str holding the text.
PyObject* text_to_python(const TextRef& text);

}  // namespace plovane
