#include "module/functions.h"

namespace plovane {

PyMethodDef* module_functions() {
    static PyMethodDef functions[] = {
        {nullptr, nullptr, 0, nullptr},
    };
    return functions;
}

}  // namespace plovane
