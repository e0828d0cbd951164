// write_string and write_file: the tree is laid out with the interpreter
// held, then serialised without it. The node argument, which the caller
// holds for the whole call, keeps every string and map of the tree alive.
//
// The indentation is what can make an output far larger than its tree (a
// chain a million deep, four spaces a level, holds some 4e12 bytes of it), so
// it is counted before anything is written. Output whose size no str or file
// could represent is refused with OverflowError; write_string, which holds
// its output in memory, also refuses with MemoryError an output larger than
// the machine's memory, rather than have the system kill the process while
// filling it. write_file streams and is limited by the file system alone.
// The error names `indent` only when the caller passed one.
#include <algorithm>
#include <string>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/errors.h"
#include "capi/py_ref.h"
#include "entities/node.h"
#include "entities/node_write_list.h"
#include "module/functions.h"
#include "platform/memory_size.h"
#include "write/xml_writer.h"

namespace plovane {

namespace {

// The largest size of a str, and of a file.
constexpr uint64_t kMaxOutputBytes = static_cast<uint64_t>(PY_SSIZE_T_MAX);

struct WriteOptions {
    uint64_t indent = 4;
    bool indent_given = false;
    bool declaration = true;
};

enum class Destination { Memory, File };

bool convert_node(PyObject* object, const char* param) {
    if (is_node(object)) return true;
    set_type_mismatch(object, "Node");
    return fail_param(param);
}

bool convert_options(PyObject* indent, PyObject* declaration, WriteOptions& out) {
    out.indent_given = is_given(indent);
    return (!out.indent_given || convert_u64(indent, "indent", out.indent)) &&
           (!is_given(declaration) ||
            convert_bool(declaration, "default_xml_def", out.declaration));
}

// Raises `type` for indentation of `spaces` bytes beyond `limit`.
bool refuse(PyObject* type, const char* wording, uint64_t spaces, uint64_t limit,
            const WriteOptions& options) {
    // The count saturates: at its top it means "this many or more".
    PyErr_Format(type, "%s: the output would hold %s%llu bytes of indentation, more than %llu",
                 wording, spaces == UINT64_MAX ? "at least " : "",
                 static_cast<unsigned long long>(spaces), static_cast<unsigned long long>(limit));
    return options.indent_given ? fail_param("indent") : false;
}

// Lays the tree out and refuses an output the destination could not hold.
bool lay_out(PyObject* node, const WriteOptions& options, Destination destination,
             WriteList& list) {
    if (!write_list_of_node(node, list)) return false;
    const uint64_t memory =
        destination == Destination::Memory ? physical_memory_bytes() : UINT64_MAX;
    const uint64_t limit = std::min(kMaxOutputBytes, memory);
    if (indentation_bound(list, options.indent) <= limit) return true;
    const uint64_t spaces = indentation_bytes(list, options.indent);
    if (spaces > kMaxOutputBytes)
        return refuse(PyExc_OverflowError,
                      options.indent_given ? "indent too large" : "output too large", spaces,
                      kMaxOutputBytes, options);
    if (spaces > limit)
        return refuse(PyExc_MemoryError, "output too large for this machine's memory", spaces,
                      limit, options);
    return true;
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
        !lay_out(argv[0], options, Destination::Memory, list))
        return nullptr;
    MemorySink output;
    {
        WithoutInterpreter released;  // only the nodes' strings and maps, which never change
        output = write_to_memory(list, options.indent, options.declaration);
    }
    return text_to_python({output.data(), output.size()});
}

PyObject* write_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[4];
    WriteOptions options;
    std::string_view path;
    WriteList list;
    if (!bind_arguments(kWriteFile, args, nargs, kwnames, argv) || !convert_node(argv[0], "node") ||
        !convert_utf8(argv[1], "file_path", path) || !convert_options(argv[2], argv[3], options) ||
        !lay_out(argv[0], options, Destination::File, list))
        return nullptr;
    std::string path_copy(path);
    std::optional<IoError> failure;
    {
        WithoutInterpreter released;  // only the nodes' strings and maps, which never change
        failure = write_to_file(list, path_copy, options.indent, options.declaration,
                                released.interrupt_check());
    }
    if (failure) {
        if (PyErr_Occurred()) return nullptr;  // a signal handler's exception

        raise_io_error(*failure);
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace plovane
