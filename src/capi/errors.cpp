#include "capi/errors.h"

#include <cerrno>
#include <string>

#include "capi/process_object.h"
#include "capi/py_ref.h"

namespace plovane {

namespace {

PyObject* make_internal_error() {
    return PyErr_NewExceptionWithDoc(
        "plovane.InternalError",
        "A broken invariant inside plovane: a fault of the module, never of its input.",
        PyExc_BaseException, nullptr);
}

ProcessObject internal_error_type{make_internal_error};

PyObject* exception_for_errno(int code) {
    switch (code) {
        case ENOENT:
            return PyExc_FileNotFoundError;
        case EPERM:
        case EACCES:
            return PyExc_PermissionError;
        case ECONNREFUSED:
            return PyExc_ConnectionRefusedError;
        case ECONNRESET:
            return PyExc_ConnectionResetError;
        case ECONNABORTED:
            return PyExc_ConnectionAbortedError;
        case EPIPE:
            return PyExc_BrokenPipeError;
        case EEXIST:
            return PyExc_FileExistsError;
        case EAGAIN:
            return PyExc_BlockingIOError;
        case ENOTDIR:
            return PyExc_NotADirectoryError;
        case EISDIR:
            return PyExc_IsADirectoryError;
        case ETIMEDOUT:
            return PyExc_TimeoutError;
        case EINTR:
            return PyExc_InterruptedError;
        case ENOMEM:
            return PyExc_MemoryError;
        default:
            return PyExc_OSError;
    }
}

PyObject* message_text(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

}  // namespace

void raise_io_error(const IoError& error) {
    PyRef message(message_text(error.message()));
    if (!message) return;
    PyObject* type = error.code ? exception_for_errno(error.code) : PyExc_OSError;
    // One argument only: errno, strerror and filename stay None.
    PyRef exception(PyObject_CallOneArg(type, message.get()));
    if (exception) PyErr_SetObject(type, exception.get());
}

void raise_value_error(std::string_view message) {
    PyRef text(message_text(message));
    if (text) PyErr_SetObject(PyExc_ValueError, text.get());
}

bool init_internal_error() {
    return internal_error_type.ensure();
}

void raise_internal_error(const char* message) {
    PyObject* type = internal_error_type.get();
    PyErr_SetString(type ? type : PyExc_SystemError, message);
}

}  // namespace plovane
