#include "entities/sequence_check.h"

#include "capi/py_ref.h"
#include "entities/node.h"

namespace plovane {

namespace {

// collections.abc.Sequence belongs to one interpreter, so it is never kept
// for the process: each interpreter's own is kept in that interpreter's
// state dict, cleared when the interpreter ends. The key is the Node class,
// which the whole process shares anyway and nothing else uses as a key; it
// hashes by address, so a lookup costs no more than a hash probe, which
// matters because every non-sequence value that from_dict converts comes
// here.
PyObject* state_key() {
    return reinterpret_cast<PyObject*>(node_type());
}

PyRef abc_sequence() {
    PyObject* state = PyInterpreterState_GetDict(PyInterpreterState_Get());
    PyObject* key = state_key();
    if (!state || !key) {
        PyErr_SetString(PyExc_RuntimeError, "plovane has no state in this interpreter");
        return PyRef();
    }
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(state, key, &found) != 0) return PyRef(found);
    PyRef made(PyImport_ImportModuleAttrString("collections.abc", "Sequence"));
    if (!made) return PyRef();
    // Threads that raced here all use whichever was stored first.
    PyObject* kept = nullptr;
    if (PyDict_SetDefaultRef(state, key, made.get(), &kept) < 0) return PyRef();
    return PyRef(kept);
}

}  // namespace

bool init_sequence_check() {
    // The state dict is made on first request, without a lock: asked for
    // here, while the module is being executed, before any thread can call
    // is_sequence in this interpreter.
    if (PyInterpreterState_GetDict(PyInterpreterState_Get())) return true;
    PyErr_SetString(PyExc_RuntimeError, "the interpreter has no state dict for plovane");
    return false;
}

int is_sequence(PyObject* object) {
    if (PySequence_Check(object)) return 1;
    PyRef sequence = abc_sequence();
    if (!sequence) return -1;
    return PyObject_IsInstance(object, sequence.get());
}

}  // namespace plovane
