// Moving between the trees of the core and Node objects. Both walks keep their own stack: documents
// may nest a million levels deep.
#pragma once

#include <Python.h>

#include "storage/flat_tree.h"
#include "write/write_list.h"

namespace plovane {

// Builds Node objects bottom-up, every node after its descendants and the
// root last, moving the strings and maps out of the elements (no text is
// copied). Post order is creation order: each element takes the nodes of its
// last `child_count` finished subtrees. Returns the root, or nullptr with an
// exception.
PyObject* node_from_flat(FlatTree&& elements);
// Lays a Node tree out for writing; a node that occurs at several places is
// laid out at each. The list views the nodes' strings and maps: the caller
// keeps `root` alive while using it, and since nodes never change, the list
// stays exact and may be read without the interpreter.
WriteList write_list_of_node(PyObject* root);

}  // namespace plovane
