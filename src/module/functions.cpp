#include "module/functions.h"

#include "capi/method_def.h"
#include "entities/node_methods.h"

namespace plovane {

PyMethodDef* module_functions() {
    static PyMethodDef functions[] = {
        fastcall_method<read_file>("read_file", "read_file(file_path, root_tag)\n--\n\n"),
        fastcall_method<read_string>("read_string", "read_string(xml_string, root_tag)\n--\n\n"),
        fastcall_method<write_file>(
            "write_file", "write_file(node, file_path, indent=None, default_xml_def=None)\n--\n\n"),
        fastcall_method<write_string>(
            "write_string", "write_string(node, indent=None, default_xml_def=None)\n--\n\n"),
        {nullptr, nullptr, 0, nullptr},
    };
    return functions;
}

PyMethodDef* private_module_functions() {
    static PyMethodDef functions[] = {
        // What a pickled Node is rebuilt with: Node.__module__ is builtins,
        // so the function has to live where pickle can find it by name.
        {"_node_from_state", guarded<node_from_state>, METH_O, "_node_from_state(state, /)\n--\n\n"},
        {nullptr, nullptr, 0, nullptr},
    };
    return functions;
}

}  // namespace plovane
