// The argument conventions shared by every function and method: matching a
// call to its signature with the interpreter's own wording, converting each
// argument, and adding "while processing '<name>'" to a conversion failure.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "capi/container_snapshot.h"

namespace plovane {

struct Signature {
    const char* display;  // "read_string" or "Node.search_by_name"
    const char* const* params;
    int total;
    int required;  // the first `required` parameters have no default
};

// Matches a vectorcall-style call; out[i] is the argument of parameter i, or
// nullptr when it was not given. Returns false with TypeError set.
bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out);
// The same for a tuple-and-dict call (type construction). The keywords are
// read from a snapshot of `kwargs`, which another thread may change
// meanwhile: `held` keeps the snapshot's references, which `out` borrows, so
// it must outlive every use of `out`.
bool bind_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out,
                    std::vector<DictItem>& held);

// A parameter whose default is None treats None as not given.
inline bool is_given(PyObject* argument) {
    return argument && argument != Py_None;
}

// Adds the "while processing" note to the pending exception; returns false
// so converters can `return fail_param(name);`.
bool fail_param(const char* param);
// TypeError "'<type>' object is not an instance of '<expected>'", or for
// None "'None' is not an instance of '<expected>'".
void set_type_mismatch(PyObject* object, const char* expected);

// Converters: each returns false with an exception carrying the note.
bool convert_utf8(PyObject* object, const char* param, std::string_view& out);
bool convert_u8(PyObject* object, const char* param, uint8_t& out);
bool convert_i32(PyObject* object, const char* param, int32_t& out);
bool convert_u64(PyObject* object, const char* param, uint64_t& out);
// A bool, or numpy's boolean scalar (through its truth value); nothing else.
bool convert_bool(PyObject* object, const char* param, bool& out);

}  // namespace plovane
