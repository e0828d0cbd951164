// The four search methods: a depth-first pre-order walk, children in order,
// with an optional depth limit. The walk keeps its own stack, so trees of
// any depth are searched without deepening the native stack.
#include <string_view>
#include <vector>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/py_ref.h"
#include "capi/signal_poll.h"
#include "entities/node.h"
#include "entities/node_methods.h"
#include "entities/search_type.h"

namespace plovane {

namespace {

enum class Match { Name, Attr, Text };

bool matches(const NodeObject* node, Match kind, std::string_view query) {
    switch (kind) {
        case Match::Name:
            return node->name.view() == query;
        case Match::Attr:
            return !node->attrs.empty() && node->attrs.contains(query);
        case Match::Text:
            return node->text.present() && node->text.view() == query;
    }
    return false;
}

struct Visit {
    PyObject* node;
    int32_t remaining;  // levels still to descend when limited
};

// `depth` absent means no limit; a limit counts down in 32-bit arithmetic
// and stops descending at zero, so a negative one never stops.
PyObject* walk(PyObject* start, Match kind, std::string_view query, bool limited, int32_t depth) {
    std::vector<PyObject*> found;  // borrowed: the tree holds them for the whole walk
    std::vector<Visit> stack{{start, depth}};
    SignalPoll signals;
    while (!stack.empty()) {
        if (!signals.step()) return nullptr;
        Visit visit = stack.back();
        stack.pop_back();
        NodeObject* node = as_node(visit.node);
        if (matches(node, kind, query)) found.push_back(visit.node);
        if (limited && visit.remaining == 0) continue;
        int32_t below = static_cast<int32_t>(static_cast<uint32_t>(visit.remaining) - 1u);
        for (Py_ssize_t i = node->child_count; i-- > 0;)
            stack.push_back({node->children()[i], below});
    }
    const auto count = static_cast<Py_ssize_t>(found.size());
    PyObject* list = PyList_New(count);
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i)
        PyList_SET_ITEM(list, i, Py_NewRef(found[static_cast<size_t>(i)]));
    return list;
}

bool convert_depth(PyObject* argument, bool& limited, int32_t& depth) {
    limited = is_given(argument);
    return !limited || convert_i32(argument, "depth", depth);
}

PyObject* search_with(const Signature& sig, Match kind, PyObject* self, PyObject* const* args,
                      Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[2];
    if (!bind_arguments(sig, args, nargs, kwnames, argv)) return nullptr;
    std::string_view query;
    bool limited;
    int32_t depth = 0;
    if (!convert_utf8(argv[0], sig.params[0], query) || !convert_depth(argv[1], limited, depth))
        return nullptr;
    return walk(self, kind, query, limited, depth);
}

const char* const kNameParams[] = {"name", "depth"};
const char* const kAttrParams[] = {"key", "depth"};
const char* const kTextParams[] = {"text", "depth"};
const char* const kSearchParams[] = {"by", "value", "depth"};
const Signature kByName{"Node.search_by_name", kNameParams, 2, 1};
const Signature kByAttr{"Node.search_by_attr", kAttrParams, 2, 1};
const Signature kByText{"Node.search_by_text", kTextParams, 2, 1};
const Signature kSearch{"Node.search", kSearchParams, 3, 2};

}  // namespace

PyObject* node_search_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return search_with(kByName, Match::Name, self, args, nargs, kwnames);
}

PyObject* node_search_by_attr(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return search_with(kByAttr, Match::Attr, self, args, nargs, kwnames);
}

PyObject* node_search_by_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return search_with(kByText, Match::Text, self, args, nargs, kwnames);
}

PyObject* node_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[3];
    if (!bind_arguments(kSearch, args, nargs, kwnames, argv)) return nullptr;
    if (!Py_IS_TYPE(argv[0], search_type_type())) {
        set_type_mismatch(argv[0], "SearchType");
        fail_param("by");
        return nullptr;
    }
    std::string_view query;
    bool limited;
    int32_t depth = 0;
    if (!convert_utf8(argv[1], "value", query) || !convert_depth(argv[2], limited, depth))
        return nullptr;
    static const Match kinds[] = {Match::Name, Match::Attr, Match::Text};
    return walk(self, kinds[reinterpret_cast<SearchTypeObject*>(argv[0])->value], query, limited,
                depth);
}

}  // namespace plovane
