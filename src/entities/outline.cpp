// The text outline of a node and everything below it (str(), __to_string)
// and the one-line representation.
//
// Each node contributes a block of lines at its own indentation, children
// two spaces deeper than their parent; the indentation is an 8-bit count, so
// it wraps after 127 levels. The blocks follow in depth-first pre-order, so
// the whole outline is written front to back into one buffer by a walk with
// its own stack: linear in the size of the output, and no native recursion
// however deep the tree is. A first walk measures the text so the buffer is
// allocated once.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/signal_poll.h"
#include "entities/node.h"
#include "entities/node_methods.h"

namespace plovane {

namespace {

// Indentation is at most 255 spaces.
constexpr auto kSpaces = [] {
    std::array<char, 255> spaces{};
    spaces.fill(' ');
    return spaces;
}();

// Counts the bytes the writer would produce.
struct Measure {
    size_t size = 0;
    void put(std::string_view text) { size += text.size(); }
    void indent(uint8_t n) { size += n; }
};

struct Write {
    std::string& out;
    void put(std::string_view text) { out.append(text); }
    void indent(uint8_t n) { out.append(kSpaces.data(), n); }
};

// One node's own lines; `first` is false for every node but the one the
// outline starts with, whose block is not preceded by a line break.
template <class Sink>
void node_block(Sink& sink, const NodeObject* node, uint8_t indent, bool first) {
    if (!first) sink.put("\n");
    sink.indent(indent);
    sink.put("Name: ");
    sink.put(node->name.view());
    if (!node->attrs.empty()) {
        sink.put("\n");
        sink.indent(indent);
        sink.put("Attributes:");
        node->attrs.for_each([&](std::string_view key, std::string_view value) {
            sink.put("\n");
            sink.indent(indent);
            sink.put(key);
            sink.put(": ");
            sink.put(value);
        });
    }
    if (node->text.present()) {
        sink.put("\n");
        sink.indent(indent);
        sink.put("Text: ");
        sink.put(node->text.view());
    }
    if (node->child_count > 0) {
        sink.put("\n");
        sink.indent(indent);
        sink.put("Children:");
    }
}

// False with the exception set when a signal handler raised.
template <class Sink>
bool walk(Sink& sink, PyObject* root, uint8_t spacing) {
    struct Visit {
        const NodeObject* node;
        uint8_t indent;
    };
    std::vector<Visit> stack{{as_node(root), spacing}};
    bool first = true;
    SignalPoll signals;
    while (!stack.empty()) {
        if (!signals.step()) return false;
        Visit visit = stack.back();
        stack.pop_back();
        node_block(sink, visit.node, visit.indent, first);
        first = false;
        const uint8_t below = static_cast<uint8_t>(visit.indent + 2);
        for (Py_ssize_t i = visit.node->child_count; i-- > 0;)
            stack.push_back({as_node(visit.node->children()[i]), below});
    }
    return true;
}

PyObject* render(PyObject* root, uint8_t spacing) {
    Measure measure;
    if (!walk(measure, root, spacing)) return nullptr;
    std::string out;
    out.reserve(measure.size);
    Write write{out};
    if (!walk(write, root, spacing)) return nullptr;
    return text_to_python(out);
}

const char* const kToStringParams[] = {"spacing"};
const Signature kToString{"Node.__to_string", kToStringParams, 1, 0};

}  // namespace

PyObject* node_to_string(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[1];
    if (!bind_arguments(kToString, args, nargs, kwnames, argv)) return nullptr;
    uint8_t spacing = 0;
    if (is_given(argv[0]) && !convert_u8(argv[0], "spacing", spacing)) return nullptr;
    return render(self, spacing);
}

PyObject* node_str(PyObject* self) {
    drain_deferred_releases();
    return render(self, 0);
}

PyObject* node_repr(PyObject* self) {
    drain_deferred_releases();
    std::string_view name = as_node(self)->name.view();
    std::string text;
    text.reserve(name.size() + 6);
    text.append("Node(").append(name).append(")");
    return text_to_python(text);
}

}  // namespace plovane
