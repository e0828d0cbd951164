// The methods of Node, implemented by the files named after them.
#pragma once

#include <Python.h>

namespace plovane {

// search.cpp
PyObject* node_search_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);
PyObject* node_search_by_attr(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);
PyObject* node_search_by_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);
PyObject* node_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// outline.cpp
PyObject* node_to_string(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames);
PyObject* node_str(PyObject* self);
PyObject* node_repr(PyObject* self);

// dict_conversion.cpp
PyObject* node_to_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* node_from_dict(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// node_pickle.cpp: __reduce__, __copy__ and __deepcopy__, and the module's
// private _node_from_state, which __reduce__ names as the way back.
PyObject* node_reduce(PyObject* self, PyObject* unused);
PyObject* node_copy(PyObject* self, PyObject* unused);
PyObject* node_deepcopy(PyObject* self, PyObject* memo);
PyObject* node_from_state(PyObject* module, PyObject* state);

}  // namespace plovane
