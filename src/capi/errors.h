// Turning the core's error values into Python exceptions.
#pragma once

#include <Python.h>

#include <string_view>

#include "platform/io_error.h"

namespace plovane {

// Raises the OSError subclass matching the error number (or OSError for a
// fixed failure) with the error's text as its one argument.
void raise_io_error(const IoError& error);
// Raises ValueError with `message`, UTF-8 that may hold any character, NUL
// included (names from a document or a caller go in as they are).
void raise_value_error(std::string_view message);
// A broken invariant of this module, never of its input: raised as an
// exception derived directly from BaseException.
void raise_internal_error(const char* message);
// Creates the internal-error class (shared by the whole process) unless it
// exists; called by every module execution.
bool init_internal_error();

}  // namespace plovane
