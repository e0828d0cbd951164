// write_string and write_file: the tree is laid out with the interpreter
// held, then serialised without it. The node argument, which the caller
// holds for the whole call, keeps every string and map of the tree alive.
#include <string>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/errors.h"
#include "capi/py_ref.h"
#include "entities/node.h"
#include "entities/node_write_list.h"
#include "module/functions.h"
#include "write/xml_writer.h"

namespace plovane {

namespace {

// More indentation than this is refused before anything is written: it is
// never intended, and would otherwise exhaust memory or fill a disk.
constexpr uint64_t kMaxIndentationBytes = uint64_t{1} << 32;

struct WriteOptions {
    uint64_t indent = 4;
    bool declaration = true;
};

bool convert_node(PyObject* object, const char* param) {
    if (is_node(object)) return true;
    set_type_mismatch(object, "Node");
    return fail_param(param);
}

bool convert_options(PyObject* indent, PyObject* declaration, WriteOptions& out) {
    return (!is_given(indent) || convert_u64(indent, "indent", out.indent)) &&
           (!is_given(declaration) ||
            convert_bool(declaration, "default_xml_def", out.declaration));
}

// Lays the tree out and refuses an indent whose output could not be held.
bool lay_out(PyObject* node, const WriteOptions& options, WriteList& list) {
    list = write_list_of_node(node);
    if (indentation_bound(list, options.indent) <= kMaxIndentationBytes) return true;
    const uint64_t spaces = indentation_bytes(list, options.indent);
    if (spaces <= kMaxIndentationBytes) return true;
    PyErr_Format(
        PyExc_OverflowError,
        "indent too large: the output would hold %llu bytes of indentation, more than %llu",
        static_cast<unsigned long long>(spaces),
        static_cast<unsigned long long>(kMaxIndentationBytes));
    return fail_param("indent");
}

const char* const kWriteStringParams[] = {"node", "indent", "default_xml_def"};
const Signature kWriteString{"write_string", kWriteStringParams, 3, 1};
const char* const kWriteFileParams[] = {"node", "file_path", "indent", "default_xml_def"};
const Signature kWriteFile{"write_file", kWriteFileParams, 4, 2};

}  // namespace

PyObject* write_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[3];
    WriteOptions options;
    WriteList list;
    if (!bind_arguments(kWriteString, args, nargs, kwnames, argv) ||
        !convert_node(argv[0], "node") || !convert_options(argv[1], argv[2], options) ||
        !lay_out(argv[0], options, list))
        return nullptr;
    MemorySink output;
    {
        WithoutInterpreter released;  // only the nodes' strings and maps, which never change
        output = write_to_memory(list, options.indent, options.declaration);
    }
    return PyUnicode_DecodeUTF8(output.data(), static_cast<Py_ssize_t>(output.size()), nullptr);
}

PyObject* write_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[4];
    WriteOptions options;
    std::string_view path;
    WriteList list;
    if (!bind_arguments(kWriteFile, args, nargs, kwnames, argv) || !convert_node(argv[0], "node") ||
        !convert_utf8(argv[1], "file_path", path) || !convert_options(argv[2], argv[3], options) ||
        !lay_out(argv[0], options, list))
        return nullptr;
    std::string path_copy(path);
    std::optional<IoError> failure;
    {
        WithoutInterpreter released;  // only the nodes' strings and maps, which never change
        failure = write_to_file(list, path_copy, options.indent, options.declaration);
    }
    if (failure) {
        raise_io_error(*failure);
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace plovane
