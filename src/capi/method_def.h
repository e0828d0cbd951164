// Method table entries for functions that take their arguments the fast way
// (an argument vector and a tuple of keyword names).
#pragma once

#include <Python.h>

#include "capi/guarded_call.h"

namespace plovane {

using FastCallFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// A METH_FASTCALL | METH_KEYWORDS entry calling `Function` through the
// trampoline; `extra_flags` adds METH_CLASS, say.
template <FastCallFunction Function>
PyMethodDef fastcall_method(const char* name, const char* doc, int extra_flags = 0) {
    // The table stores every kind of C function under one pointer type; the
    // flags tell the interpreter which kind to call it as.
    FastCallFunction entry = guarded<Function>;
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)),
            METH_FASTCALL | METH_KEYWORDS | extra_flags, doc};
}

}  // namespace plovane
