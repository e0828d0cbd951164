#include "entities/sequence_check.h"

namespace plovane {

int is_sequence(PyObject* object) {
    if (PySequence_Check(object)) return 1;
    static PyObject* abc_sequence = nullptr;  // process-wide, never released
    if (!abc_sequence) {
        abc_sequence = PyImport_ImportModuleAttrString("collections.abc", "Sequence");
        if (!abc_sequence) return -1;
    }
    return PyObject_IsInstance(object, abc_sequence);
}

}  // namespace plovane
