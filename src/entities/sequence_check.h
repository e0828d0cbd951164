// The sequence test shared by Node's `children` argument and the dictionary
// conversion: what the interpreter's sequence check accepts, or failing that
// whatever registers as collections.abc.Sequence.
#pragma once

#include <Python.h>

namespace plovane {

// Prepares the calling interpreter for is_sequence; called by every module
// execution. False with an exception when that failed.
bool init_sequence_check();

// 1 for a sequence, 0 otherwise, -1 with an exception set when the
// instance check itself failed.
int is_sequence(PyObject* object);

}  // namespace plovane
