// read_string and read_file: the document is parsed with the interpreter
// released, then turned into Node objects with it held.
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/errors.h"
#include "capi/py_ref.h"
#include "entities/node_blocks.h"
#include "module/functions.h"
#include "read/document_reader.h"
#include "storage/file_text.h"
#include "storage/utf8_encode.h"

namespace plovane {

namespace {

// What a read leaves for the interpreter: the error, or the node blocks.
struct ReadOutcome {
    std::optional<ReadError> error;
    NodeBlocks nodes;
};

// Parses the document and builds its nodes; runs without the interpreter.
void read_into(ReadOutcome& outcome, const SourceRef& source, std::string_view root_tag) {
    outcome.error = read_document(source, root_tag, outcome.nodes.sink());
}

PyObject* finish_read(ReadOutcome& outcome) {
    if (outcome.error) {
        raise_value_error(outcome.error->message());
        return nullptr;
    }
    return outcome.nodes.activate();
}

void free_buffer(void* buffer) noexcept {
    std::free(buffer);
}

// Converts root_tag; should it fail, an xml_string that cannot be converted
// either is reported instead, as the first argument in signature order. Only
// the type of xml_string is checked otherwise: its text is converted later.
bool convert_document_then_tag(PyObject* document, PyObject* tag, std::string_view& root_tag) {
    if (!PyUnicode_Check(document)) {
        set_type_mismatch(document, "str");
        return fail_param("xml_string");
    }
    if (convert_utf8(tag, "root_tag", root_tag)) return true;
    if (PyUnicode_IS_ASCII(document)) return false;
    PyRef tag_error(PyErr_GetRaisedException());
    std::string_view unused;
    if (convert_utf8(document, "xml_string", unused)) PyErr_SetRaisedException(tag_error.release());
    return false;
}

const char* const kReadStringParams[] = {"xml_string", "root_tag"};
const Signature kReadString{"read_string", kReadStringParams, 2, 2};

}  // namespace

PyObject* read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[2];
    std::string_view root_tag;
    if (!bind_arguments(kReadString, args, nargs, kwnames, argv) ||
        !convert_document_then_tag(argv[0], argv[1], root_tag))
        return nullptr;
    PyObject* document = argv[0];
    std::string tag(root_tag);
    ReadOutcome outcome;
    if (PyUnicode_IS_ASCII(document)) {
        // An ASCII str is its own UTF-8: parsed in place, the source keeps
        // the str alive for as long as any node points into it.
        const char* data = static_cast<const char*>(PyUnicode_DATA(document));
        PyRef owner = PyRef::borrow(document);  // the source's from here on
        SourceRef source =
            SharedSource::borrowed(data, static_cast<uint64_t>(PyUnicode_GET_LENGTH(document)),
                                   owner.get(), release_python_owner);
        owner.release();
        {
            WithoutInterpreter released;  // no Python objects in this scope
            read_into(outcome, source, tag);
        }
        return finish_read(outcome);
    }
    // Any other str is encoded into a buffer of the tree's own, with the
    // interpreter released: the caller holds the str for the whole call and
    // its characters never change, so only their bytes are read here. Its
    // cached UTF-8 form is never made, and the str is not kept alive.
    const void* units = PyUnicode_DATA(document);
    const size_t count = static_cast<size_t>(PyUnicode_GET_LENGTH(document));
    const unsigned unit_size = PyUnicode_KIND(document);
    bool encoded = false;
    {
        WithoutInterpreter released;  // reads the str's characters only, as above
        EncodedText text = encode_utf8(units, count, unit_size);
        if (text.data) {
            encoded = true;
            std::unique_ptr<char, void (*)(void*) noexcept> buffer(text.data, free_buffer);
            SourceRef source = SharedSource::borrowed(text.data, text.size, text.data, free_buffer);
            buffer.release();  // the source's from here on
            read_into(outcome, source, tag);
        }
    }
    if (!encoded) {
        // A lone surrogate: the interpreter's own conversion raises the error.
        std::string_view unused;
        if (!convert_utf8(document, "xml_string", unused)) return nullptr;
        raise_internal_error("a str the interpreter encodes was refused");
        return nullptr;
    }
    return finish_read(outcome);
}

namespace {

const char* const kReadFileParams[] = {"file_path", "root_tag"};
const Signature kReadFile{"read_file", kReadFileParams, 2, 2};

}  // namespace

PyObject* read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[2];
    std::string_view path, root_tag;
    if (!bind_arguments(kReadFile, args, nargs, kwnames, argv) ||
        !convert_utf8(argv[0], "file_path", path) || !convert_utf8(argv[1], "root_tag", root_tag))
        return nullptr;
    std::string path_copy(path), tag(root_tag);
    std::optional<Expected<SourceRef, IoError>> text;
    ReadOutcome outcome;
    {
        WithoutInterpreter released;  // no Python objects in this scope
        text.emplace(read_text_file(path_copy, released.interrupt_check()));
        if (*text) read_into(outcome, text->value(), tag);
    }
    if (!*text) {
        if (PyErr_Occurred()) return nullptr;  // a signal handler's exception
        raise_io_error(text->error());
        return nullptr;
    }
    return finish_read(outcome);
}

}  // namespace plovane
