#include "capi/arguments.h"

#include <climits>
#include <cstring>
#include <span>
#include <string>

#include "capi/keyword_suggestion.h"
#include "capi/py_ref.h"

namespace plovane {

namespace {

std::string quoted_list(const std::string* names, int count) {
    // The interpreter's wording: 'a', 'a' and 'b', 'a', 'b', and 'c'.
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += (count == 2) ? " and " : (i == count - 1 ? ", and " : ", ");
        text += "'" + names[i] + "'";
    }
    return text;
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
    std::string takes = sig.required == sig.total ? std::to_string(sig.total)
                                                  : "from " + std::to_string(sig.required) +
                                                        " to " + std::to_string(sig.total);
    // As the interpreter words it, a range ("from 0 to 1") is always plural.
    PyErr_Format(PyExc_TypeError, "%s() takes %s positional argument%s but %zd %s given",
                 sig.display, takes.c_str(), sig.total == 1 && sig.required == 1 ? "" : "s", given,
                 given == 1 ? "was" : "were");
    return false;
}

bool unexpected_keyword(const Signature& sig, PyObject* key, const char* name) {
    // A name with no UTF-8 form (a lone surrogate) has no suggestion.
    const char* suggestion =
        name ? closest_keyword(name, std::span(sig.params, static_cast<size_t>(sig.total)))
             : nullptr;
    if (suggestion) {
        PyErr_Format(PyExc_TypeError,
                     "%s() got an unexpected keyword argument '%U'. Did you mean '%s'?",
                     sig.display, key, suggestion);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.display,
                     key);
    }
    return false;
}

bool bind_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out) {
    if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", sig.display);
        return false;
    }
    const char* name = PyUnicode_AsUTF8(key);
    if (!name) {
        PyErr_Clear();
        return unexpected_keyword(sig, key, nullptr);
    }
    for (int i = 0; i < sig.total; ++i) {
        if (std::strcmp(sig.params[i], name) != 0) continue;
        if (out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.display,
                         name);
            return false;
        }
        out[i] = value;
        return true;
    }
    return unexpected_keyword(sig, key, name);
}

bool check_required(const Signature& sig, PyObject** out) {
    std::string missing[8];
    int count = 0;
    for (int i = 0; i < sig.required; ++i)
        if (!out[i] && count < 8) missing[count++] = sig.params[i];
    if (count == 0) return true;
    PyErr_Format(PyExc_TypeError, "%s() missing %d required positional argument%s: %s", sig.display,
                 count, count == 1 ? "" : "s", quoted_list(missing, count).c_str());
    return false;
}

bool bind_positional(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                     PyObject** out) {
    if (nargs > sig.total) return too_many_positional(sig, nargs);
    for (int i = 0; i < sig.total; ++i) out[i] = i < nargs ? args[i] : nullptr;
    return true;
}

}  // namespace

bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out) {
    nargs = PyVectorcall_NARGS(static_cast<size_t>(nargs));
    if (!bind_positional(sig, args, nargs, out)) return false;
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k)
        if (!bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
    return check_required(sig, out);
}

bool bind_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out,
                    std::vector<DictItem>& held) {
    if (!bind_positional(sig, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), out))
        return false;
    if (kwargs && !snapshot_dict(kwargs, held)) return false;
    for (const DictItem& item : held)
        if (!bind_keyword(sig, item.key.get(), item.value.get(), out)) return false;
    return check_required(sig, out);
}

bool fail_param(const char* param) {
    PyObject* raised = PyErr_GetRaisedException();
    PyRef note(PyUnicode_FromFormat("while processing '%s'", param));
    PyRef result(note ? PyObject_CallMethod(raised, "add_note", "O", note.get()) : nullptr);
    // A failure to add the note must not replace the conversion's error.
    if (!result) PyErr_Clear();
    PyErr_SetRaisedException(raised);
    return false;
}

void set_type_mismatch(PyObject* object, const char* expected) {
    if (object == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    PyRef name(PyType_GetName(Py_TYPE(object)));
    if (!name) return;
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
}

bool convert_utf8(PyObject* object, const char* param, std::string_view& out) {
    if (!PyUnicode_Check(object)) {
        set_type_mismatch(object, "str");
        return fail_param(param);
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (!data) return fail_param(param);
    out = std::string_view(data, static_cast<size_t>(size));
    return true;
}

namespace {

// Converts through the interpreter's index protocol into [low, high].
bool convert_ranged(PyObject* object, const char* param, long low, long high, long& out) {
    PyRef index(PyNumber_Index(object));
    if (!index) return fail_param(param);
    int overflow = 0;
    long value = PyLong_AsLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) return fail_param(param);
    if (overflow != 0 || value < low || value > high) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return fail_param(param);
    }
    out = value;
    return true;
}

}  // namespace

bool convert_u8(PyObject* object, const char* param, uint8_t& out) {
    long value = 0;
    if (!convert_ranged(object, param, 0, 255, value)) return false;
    out = static_cast<uint8_t>(value);
    return true;
}

bool convert_i32(PyObject* object, const char* param, int32_t& out) {
    long value = 0;
    if (!convert_ranged(object, param, INT32_MIN, INT32_MAX, value)) return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool convert_u64(PyObject* object, const char* param, uint64_t& out) {
    PyRef index(PyNumber_Index(object));
    if (!index) return fail_param(param);
    unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return fail_param(param);
    out = value;
    return true;
}

namespace {

bool is_numpy_bool(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    PyRef module(PyType_GetModuleName(type));
    PyRef name(PyType_GetName(type));
    if (!module || !name) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_EqualToUTF8(module.get(), "numpy") &&
           (PyUnicode_EqualToUTF8(name.get(), "bool") ||
            PyUnicode_EqualToUTF8(name.get(), "bool_"));
}

}  // namespace

bool convert_bool(PyObject* object, const char* param, bool& out) {
    if (PyBool_Check(object)) {
        out = object == Py_True;
        return true;
    }
    if (!is_numpy_bool(object)) {
        set_type_mismatch(object, "bool");
        return fail_param(param);
    }
    int truth = PyObject_IsTrue(object);
    if (truth < 0) return fail_param(param);
    out = truth != 0;
    return true;
}

}  // namespace plovane
