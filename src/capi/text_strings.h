// Python strs from the UTF-8 text of a tree. Texts and values are made anew
// each time. Element and attribute names may not be: a document repeats a few
// dozen names thousands of times; making each one's str anew (decoding,
// then hashing it as a dict key) was a large share of reading attributes
// and names, and of converting a tree to dicts. Recent ASCII names are kept
// in a small table instead, and the same str object is handed out again.
//
// The table is used only with the global lock (which guards it) and only in
// the main interpreter, whose objects it holds. A free-threaded interpreter
// makes every str anew: sharing one str between threads would have them
// contend for its reference count, and a slot that one thread refills could
// free a str that another is still taking.
#pragma once

#include <Python.h>

#include <string_view>

namespace plovane {

// A new str holding `text` (UTF-8): a new reference, or nullptr with an
// exception.
PyObject* text_to_python(std::string_view text);

// A str holding `name` (UTF-8), possibly one handed out before: a new
// reference, or nullptr with an exception.
PyObject* name_to_python(std::string_view name);

// Releases the strs the table holds (when the module goes away).
void clear_name_strings() noexcept;

}  // namespace plovane
