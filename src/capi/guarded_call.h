// The one place where C++ exceptions stop: every function the interpreter
// calls (module functions, methods, slots, getters) goes through `guarded`,
// so no exception ever unwinds into the interpreter's C frames. Running out
// of memory becomes MemoryError; anything else is a fault of this module and
// becomes its internal error. The handles on the way out release what was
// made, so a failed call leaves nothing behind.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <type_traits>

#include "capi/errors.h"

namespace plovane {

// Sets the Python exception standing for the C++ exception being handled.
inline void raise_current_exception() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise_internal_error(error.what());
    } catch (...) {
        raise_internal_error("an unknown C++ exception");
    }
}

template <auto Function>
struct Guarded;

template <class Result, class... Args, Result (*Function)(Args...)>
struct Guarded<Function> {
    static Result call(Args... args) noexcept {
        try {
            return Function(args...);
        } catch (...) {
            raise_current_exception();
        }
        // Every slot that returns a number reports failure as -1.
        if constexpr (std::is_pointer_v<Result>)
            return nullptr;
        else
            return static_cast<Result>(-1);
    }
};

// `Function` behind the trampoline, with the same signature.
template <auto Function>
inline constexpr auto guarded = &Guarded<Function>::call;

}  // namespace plovane
