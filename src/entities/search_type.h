// SearchType: the kind of a general search, Tag (0), Attr (1) or Text (2).
#pragma once

#include <Python.h>

namespace plovane {

struct SearchTypeObject {
    PyObject_HEAD
    int value;
};

// Creates the class with its three shared members unless it exists; called
// by every module execution. False with an exception when that failed.
bool init_search_type();
// The class, shared by every module object of every interpreter; null
// before the first module execution made it.
PyTypeObject* search_type_type();

}  // namespace plovane
