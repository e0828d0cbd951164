// Long walks that hold the interpreter ask it now and then whether a signal
// arrived, so that Ctrl-C (or any handler that raises) stops them. Asking
// costs little, but not nothing: once every few tens of thousands of steps
// keeps both the cost and the delay small.
#pragma once

#include <Python.h>

#include <cstdint>

namespace plovane {

class SignalPoll {
  public:
    static constexpr uint32_t kInterval = uint32_t{1} << 15;

    // Counts one step; every kInterval steps runs the pending signal
    // handlers. False with the handler's exception set when one raised.
    bool step() {
        if (++steps_ % kInterval != 0) return true;
        return PyErr_CheckSignals() == 0;
    }

  private:
    uint32_t steps_ = 0;
};

}  // namespace plovane
