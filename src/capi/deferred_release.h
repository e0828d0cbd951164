// Python references dropped by threads that do not hold the interpreter
// (a SharedSource released while parsing, say) wait here until a thread
// that does hold it drains the queue.
#pragma once

#include <Python.h>

#include "platform/file.h"

namespace plovane {

// Releases `object` now if this thread is attached to the interpreter, else
// queues it.
void release_python_reference(PyObject* object) noexcept;
// The SharedSource owner callback for a borrowed Python str.
void release_python_owner(void* owner) noexcept;
// Releases every queued reference; the caller holds the interpreter. Cheap
// when the queue is empty, so every entry into the module calls it.
void drain_deferred_releases() noexcept;

// Releases the interpreter for the lifetime of the object; taking it back
// drains the queue. Code in such a scope must not touch any Python object.
class WithoutInterpreter {
  public:
    WithoutInterpreter() noexcept : saved_(PyEval_SaveThread()) {}
    ~WithoutInterpreter() {
        PyEval_RestoreThread(saved_);
        drain_deferred_releases();
    }
    WithoutInterpreter(const WithoutInterpreter&) = delete;
    WithoutInterpreter& operator=(const WithoutInterpreter&) = delete;

    // Takes the interpreter back for a moment to run the pending signal
    // handlers; false when one raised (its exception then waits in this
    // thread's state, to be seen once the scope has ended).
    bool run_signal_handlers() noexcept {
        PyEval_RestoreThread(saved_);
        const bool ok = PyErr_CheckSignals() == 0;
        saved_ = PyEval_SaveThread();
        return ok;
    }
    // For a system call interrupted by a signal: run the handlers, and try
    // again unless one of them raised.
    InterruptCheck interrupt_check() noexcept {
        return {[](void* self) {
                    return static_cast<WithoutInterpreter*>(self)->run_signal_handlers();
                },
                this};
    }

  private:
    PyThreadState* saved_;
};

}  // namespace plovane
