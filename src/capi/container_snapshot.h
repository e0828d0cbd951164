// Consistent copies of the items of a caller's list or dict.
//
// A free-threaded interpreter lets other threads change a container while
// this one reads it, and the items it hands out are borrowed: an item
// removed meanwhile may be freed under the reader. Each snapshot is taken in
// one critical section on the container (with the global lock, the section
// costs nothing and the lock already excludes writers) and holds strong
// references, so the items can then be converted with any call at all,
// including ones that may suspend the section, and the content read is one
// the container really had.
#pragma once

#include <Python.h>

#include <vector>

#include "capi/py_ref.h"

namespace plovane {

struct DictItem {
    PyRef key;
    PyRef value;
};

// Appends the items of `dict` (a dict) in iteration order. False with
// MemoryError when memory ran out.
bool snapshot_dict(PyObject* dict, std::vector<DictItem>& out);
// Appends the items of `list` (a list) in order. False with MemoryError
// when memory ran out.
bool snapshot_list(PyObject* list, std::vector<PyRef>& out);

}  // namespace plovane
