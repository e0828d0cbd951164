#include "capi/deferred_release.h"

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace plovane {

namespace {

std::mutex queue_mutex;
std::vector<PyObject*> queue;  // guarded by queue_mutex
std::atomic<bool> queue_nonempty{false};

// False when the queue could not grow.
bool queue_object(PyObject* object) noexcept {
    std::lock_guard lock(queue_mutex);
    try {
        queue.push_back(object);
    } catch (const std::bad_alloc&) {
        return false;
    }
    queue_nonempty.store(true, std::memory_order_release);
    return true;
}

}  // namespace

void release_python_reference(PyObject* object) noexcept {
    // Attached means allowed to touch objects. PyGILState_Check is no test
    // of that: it answers 1 on every thread once a subinterpreter exists.
    if (PyThreadState_GetUnchecked() != nullptr) {
        Py_DECREF(object);
        return;
    }
    if (queue_object(object)) return;
    // No memory to queue it: take the interpreter for this one release
    // rather than let the allocation failure end the process.
    PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF(object);
    PyGILState_Release(state);
}

void release_python_owner(void* owner) noexcept {
    release_python_reference(static_cast<PyObject*>(owner));
}

void drain_deferred_releases() noexcept {
    if (!queue_nonempty.load(std::memory_order_acquire)) return;
    std::vector<PyObject*> taken;
    {
        std::lock_guard lock(queue_mutex);
        taken.swap(queue);
        queue_nonempty.store(false, std::memory_order_release);
    }
    // Outside the mutex: a release may run arbitrary finalisers.
    for (PyObject* object : taken) Py_DECREF(object);
}

}  // namespace plovane
