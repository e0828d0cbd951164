// Python references dropped by threads that do not hold the interpreter
// (a SharedSource released while parsing, say) wait here until a thread
// that does hold it drains the queue.
#pragma once

#include <Python.h>

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

  private:
    PyThreadState* saved_;
};

}  // namespace plovane
