// A Node tree laid out for the writer. The walk keeps its own stack:
// trees may nest a million levels deep.
#pragma once

#include <Python.h>

#include "write/write_list.h"

namespace plovane {

// Lays a Node tree out for writing; a node that occurs at several places is
// laid out at each. The list views the nodes' strings and maps: the caller
// keeps `root` alive while using it, and since nodes never change, the list
// stays exact and may be read without the interpreter. Long walks heed
// signals: false, with the handler's exception set, when one raised.
bool write_list_of_node(PyObject* root, WriteList& out);

}  // namespace plovane
