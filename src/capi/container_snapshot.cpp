#include "capi/container_snapshot.h"

#include <new>

#include "platform/page_hints.h"

namespace plovane {

// Inside a section nothing may leave it early (no return, no exception
// through its end) and nothing may call into code that could suspend it:
// only the container's own reads, references and the vector's memory.

bool snapshot_dict(PyObject* dict, std::vector<DictItem>& out) {
    bool ok = true;
    Py_BEGIN_CRITICAL_SECTION(dict);
    try {
        grow_fresh(out, static_cast<size_t>(PyDict_GET_SIZE(dict)));
        Py_ssize_t position = 0;
        PyObject *key, *value;
        while (PyDict_Next(dict, &position, &key, &value))
            out.push_back({PyRef::borrow(key), PyRef::borrow(value)});
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    Py_END_CRITICAL_SECTION();
    if (!ok) PyErr_NoMemory();
    return ok;
}

bool snapshot_list(PyObject* list, std::vector<PyRef>& out) {
    bool ok = true;
    Py_BEGIN_CRITICAL_SECTION(list);
    try {
        const Py_ssize_t size = PyList_GET_SIZE(list);
        grow_fresh(out, static_cast<size_t>(size));
        for (Py_ssize_t i = 0; i < size; ++i)
            out.push_back(PyRef::borrow(PyList_GET_ITEM(list, i)));
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    Py_END_CRITICAL_SECTION();
    if (!ok) PyErr_NoMemory();
    return ok;
}

}  // namespace plovane
