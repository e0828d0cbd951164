// SearchType: the kind of a general search, Tag (0), Attr (1) or Text (2).
#pragma once

#include <Python.h>

namespace plovane {

struct SearchTypeObject {
    PyObject_HEAD
    int value;
};

// The class with its three shared members, created on first use.
PyTypeObject* search_type_type();

}  // namespace plovane
