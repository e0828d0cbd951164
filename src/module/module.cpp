// The module object: multi-phase initialisation, and an execution step that
// registers the classes and functions in order, each into __all__, then the
// private helpers, which stay out of it.
#include <Python.h>

#include "capi/arguments.h"
#include "capi/errors.h"
#include "capi/guarded_call.h"
#include "capi/py_ref.h"
#include "capi/text_strings.h"
#include "entities/node.h"
#include "entities/search_type.h"
#include "entities/sequence_check.h"
#include "module/functions.h"

namespace plovane {

namespace {

bool append_to_all(PyObject* module, const char* name) {
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    // Something else a caller put there cannot be appended to.
    if (!PyList_Check(all.get())) {
        set_type_mismatch(all.get(), "list");
        return false;
    }
    PyRef text(PyUnicode_FromString(name));
    return text && PyList_Append(all.get(), text.get()) == 0;
}

bool register_object(PyObject* module, const char* name, PyObject* object) {
    PyRef owned(object);
    return owned && append_to_all(module, name) &&
           PyObject_SetAttrString(module, name, owned.get()) == 0;
}

bool register_function(PyObject* module, PyMethodDef* def) {
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    return register_object(module, def->ml_name, PyCFunction_NewEx(def, module, module_name.get()));
}

// A function the module holds without exporting it.
bool register_private_function(PyObject* module, PyMethodDef* def) {
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    PyRef function(PyCFunction_NewEx(def, module, module_name.get()));
    return function && PyObject_SetAttrString(module, def->ml_name, function.get()) == 0;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'module'",
                     Py_TYPE(module)->tp_name);
        return -1;
    }
    // The classes are made once for the whole process, by whichever
    // execution comes first; a later one, in this interpreter or another,
    // registers the same ones.
    if (!init_internal_error() || !init_search_type() || !init_node_type() ||
        !init_sequence_check())
        return -1;
    if (!register_object(module, "SearchType",
                         Py_XNewRef(reinterpret_cast<PyObject*>(search_type_type()))) ||
        !register_object(module, "Node", Py_XNewRef(reinterpret_cast<PyObject*>(node_type()))))
        return -1;
    for (PyMethodDef* def = module_functions(); def->ml_name; ++def)
        if (!register_function(module, def)) return -1;
    for (PyMethodDef* def = private_module_functions(); def->ml_name; ++def)
        if (!register_private_function(module, def)) return -1;
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(guarded<exec_module>)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

// The name strs are kept for whichever module object uses them; the first
// to go takes them along, and the others make them again.
void free_module(void*) {
    clear_name_strings();
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "plovane", "", 0, nullptr, module_slots, nullptr, nullptr, free_module,
};

}  // namespace

}  // namespace plovane

PyMODINIT_FUNC PyInit_plovane() {
    return PyModuleDef_Init(&plovane::module_def);
}
