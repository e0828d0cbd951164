// Moving between the by-value ElementRecord trees of the core and Node
// objects. Both walks keep their own stack: documents may nest a million
// levels deep.
#pragma once

#include <Python.h>

#include "storage/element_record.h"
#include "storage/flat_tree.h"

namespace plovane {

// Builds Node objects bottom-up, every node after its descendants and the
// root last, moving the strings and maps out of the elements (no text is
// copied). Post order is creation order: each element takes the nodes of its
// last `child_count` finished subtrees. Returns the root, or nullptr with an
// exception.
PyObject* node_from_flat(FlatTree&& elements);
// Copies a Node tree into records: Spans share their source, Owned strings
// and the maps are copied with their iteration order; a node that occurs at
// several places is copied at each.
ElementRecord record_from_node(PyObject* root);

}  // namespace plovane
