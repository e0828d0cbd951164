// The module's functions, in registration order.
#pragma once

#include <Python.h>

namespace plovane {

// A table ended by an entry with a null name.
PyMethodDef* module_functions();

}  // namespace plovane
