// read_string and read_file: the document is parsed with the interpreter
// released, then turned into Node objects with it held.
#include <optional>
#include <string>

#include "entities/record_conversion.h"
#include "module/arguments.h"
#include "module/deferred_release.h"
#include "module/errors.h"
#include "module/functions.h"
#include "read/document_reader.h"
#include "storage/file_text.h"

namespace plovane {

namespace {

PyObject* finish_read(Expected<FlatTree, ReadError>& result) {
    if (!result) {
        std::string message = result.error().message();
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return nullptr;
    }
    return node_from_flat(std::move(result).value());
}

const char* const kReadStringParams[] = {"xml_string", "root_tag"};
const Signature kReadString{"read_string", kReadStringParams, 2, 2};

}  // namespace

PyObject* read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[2];
    std::string_view document, root_tag;
    if (!bind_arguments(kReadString, args, nargs, kwnames, argv) ||
        !convert_utf8(argv[0], "xml_string", document) || !convert_utf8(argv[1], "root_tag", root_tag))
        return nullptr;
    // The str's cached UTF-8 form is parsed in place; the source keeps the
    // str alive for as long as any node points into it.
    SourceRef source = SharedSource::borrowed(document.data(), document.size(),
                                              Py_NewRef(argv[0]), release_python_owner);
    std::string tag(root_tag);
    std::optional<Expected<FlatTree, ReadError>> result;
    {
        WithoutInterpreter released;  // no Python objects in this scope
        result.emplace(read_flat_document(source, tag));
    }
    return finish_read(*result);
}

namespace {

const char* const kReadFileParams[] = {"file_path", "root_tag"};
const Signature kReadFile{"read_file", kReadFileParams, 2, 2};

}  // namespace

PyObject* read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[2];
    std::string_view path, root_tag;
    if (!bind_arguments(kReadFile, args, nargs, kwnames, argv) || !convert_utf8(argv[0], "file_path", path) ||
        !convert_utf8(argv[1], "root_tag", root_tag))
        return nullptr;
    std::string path_copy(path), tag(root_tag);
    std::optional<Expected<SourceRef, IoError>> text;
    std::optional<Expected<FlatTree, ReadError>> result;
    {
        WithoutInterpreter released;  // no Python objects in this scope
        text.emplace(read_text_file(path_copy));
        if (*text) result.emplace(read_flat_document(text->value(), tag));
    }
    if (!*text) {
        raise_io_error(text->error());
        return nullptr;
    }
    return finish_read(*result);
}

}  // namespace plovane
