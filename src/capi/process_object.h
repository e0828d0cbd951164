// A Python object the whole process shares (the module's classes): made
// once, by the first module execution that asks for it, and never released.
//
// Threads read it without any lock: on a free-threaded interpreter a module
// may run in several threads at once, and even with the global lock the
// making may release it (a collection can run finalisers), so two
// executions must never both make it, nor may a reader see it half made.
#pragma once

#include <Python.h>

#include <atomic>

namespace plovane {

class ProcessObject {
  public:
    // Returns a new reference, or nullptr with an exception.
    using Make = PyObject* (*)();

    constexpr explicit ProcessObject(Make make) noexcept : make_(make) {}
    ProcessObject(const ProcessObject&) = delete;
    ProcessObject& operator=(const ProcessObject&) = delete;

    // The object, or nullptr while it has not been made.
    PyObject* get() const noexcept { return object_.load(std::memory_order_acquire); }

    // Makes the object unless it exists; the caller is attached to the
    // interpreter. False with the maker's exception when making failed (a
    // later call tries again).
    bool ensure() noexcept {
        if (get()) return true;
        // Waiting for the mutex detaches this thread from the interpreter,
        // so a maker that lets other threads run cannot deadlock with them.
        PyMutex_Lock(&mutex_);
        PyObject* object = object_.load(std::memory_order_relaxed);
        if (!object) {
            object = make_();
            object_.store(object, std::memory_order_release);
        }
        PyMutex_Unlock(&mutex_);
        return object != nullptr;
    }

  private:
    Make make_;
    std::atomic<PyObject*> object_{nullptr};
    PyMutex mutex_{};
};

}  // namespace plovane
