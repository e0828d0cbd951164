#include "module/functions.h"

namespace plovane {

PyMethodDef* module_functions() {
#define FUNCTION(name, doc)                                                          \
    {                                                                                \
#name, reinterpret_cast < PyCFunction>(reinterpret_cast <void (*)()>(name)), \
            METH_FASTCALL | METH_KEYWORDS, doc                                       \
    }
    static PyMethodDef functions[] = {
        FUNCTION(read_file, "read_file(file_path, root_tag)\n--\n\n"),
        FUNCTION(read_string, "read_string(xml_string, root_tag)\n--\n\n"),
        FUNCTION(write_file,
                 "write_file(node, file_path, indent=None, default_xml_def=None)\n--\n\n"),
        FUNCTION(write_string, "write_string(node, indent=None, default_xml_def=None)\n--\n\n"),
        {nullptr, nullptr, 0, nullptr},
    };
#undef FUNCTION
    return functions;
}

}  // namespace plovane
