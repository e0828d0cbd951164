#include "entities/search_type.h"

#include "capi/guarded_call.h"
#include "capi/process_object.h"
#include "capi/py_ref.h"

namespace plovane {

namespace {

const char* const kMemberNames[] = {"Tag", "Attr", "Text"};
const char* const kMemberReprs[] = {"SearchType.Tag", "SearchType.Attr", "SearchType.Text"};

int value_of(PyObject* self) {
    return reinterpret_cast<SearchTypeObject*>(self)->value;
}

PyObject* search_type_repr(PyObject* self) {
    return PyUnicode_FromString(kMemberReprs[value_of(self)]);
}

PyObject* search_type_int(PyObject* self) {
    return PyLong_FromLong(value_of(self));
}

// == and != against another member or anything with an integer value;
// everything else, orderings included, is NotImplemented.
PyObject* search_type_richcompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    long long other_value;
    if (Py_IS_TYPE(other, search_type_type())) {
        other_value = value_of(other);
    } else if (PyIndex_Check(other)) {
        PyRef index(PyNumber_Index(other));
        int overflow = 0;
        other_value = index ? PyLong_AsLongLongAndOverflow(index.get(), &overflow) : -1;
        if (!index || overflow || (other_value == -1 && PyErr_Occurred())) {
            PyErr_Clear();
            Py_RETURN_NOTIMPLEMENTED;
        }
    } else {
        Py_RETURN_NOTIMPLEMENTED;
    }
    bool equal = other_value == value_of(self);
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

PyType_Slot search_type_slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(guarded<search_type_repr>)},
    {Py_tp_str, reinterpret_cast<void*>(guarded<search_type_repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(guarded<search_type_richcompare>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_nb_int, reinterpret_cast<void*>(guarded<search_type_int>)},
    {0, nullptr},
};

PyType_Spec search_type_spec{
    "builtins.SearchType",
    sizeof(SearchTypeObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    search_type_slots,
};

PyObject* create_search_type() {
    PyRef type(PyType_FromSpec(&search_type_spec));
    if (!type) return nullptr;
    auto* cls = reinterpret_cast<PyTypeObject*>(type.get());
    for (int value = 0; value < 3; ++value) {
        PyRef member(cls->tp_alloc(cls, 0));
        if (!member) return nullptr;
        reinterpret_cast<SearchTypeObject*>(member.get())->value = value;
        if (PyObject_SetAttrString(type.get(), kMemberNames[value], member.get()) < 0)
            return nullptr;
    }
    // Frozen only now: the members had to be stored first.
    cls->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
    PyType_Modified(cls);
    return type.release();
}

ProcessObject search_type_class{create_search_type};

}  // namespace

bool init_search_type() {
    return search_type_class.ensure();
}

PyTypeObject* search_type_type() {
    return reinterpret_cast<PyTypeObject*>(search_type_class.get());
}

}  // namespace plovane
