// The module's functions, in registration order.
#pragma once

#include <Python.h>

namespace plovane {

// A table ended by an entry with a null name.
PyMethodDef* module_functions();
// The same for functions the module holds but does not export (not in
// __all__): helpers that other machinery finds by name.
PyMethodDef* private_module_functions();

PyObject* read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* write_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* write_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace plovane
