// Node.to_dict and Node.from_dict: a tree as nested dictionaries with the
// keys "name", "attrs", "children" and "text", and back.
//
// to_dict writes the dictionaries directly; from_dict first converts the
// whole input into NodeForms (so every type error is found before any value
// error) and then builds the nodes. Both walk with their own stacks, so
// trees of any depth convert without deepening the native stack.
#include <cstdint>
#include <vector>

#include "capi/arguments.h"
#include "capi/deferred_release.h"
#include "capi/py_ref.h"
#include "capi/signal_poll.h"
#include "capi/text_strings.h"
#include "entities/extraction_failure.h"
#include "entities/hashmap_types.h"
#include "entities/node.h"
#include "entities/node_methods.h"
#include "storage/hash_keys.h"

namespace plovane {

namespace {

// ---- to_dict -------------------------------------------------------------

enum DictKey { kName, kAttrs, kChildren, kText, kKeyCount };

// The four keys, made for each conversion: an interned str belongs to one
// interpreter, so none is kept for the whole process. Interned, they are the
// very objects a caller's literal "name" is, and lookups match by identity.
class DictKeys {
  public:
    // False with an exception when a key could not be made.
    bool make() {
        static const char* const names[kKeyCount] = {"name", "attrs", "children", "text"};
        for (int i = 0; i < kKeyCount; ++i) {
            keys_[i] = PyRef(PyUnicode_InternFromString(names[i]));
            if (!keys_[i]) return false;
        }
        return true;
    }
    PyObject* operator[](DictKey key) const { return keys_[key].get(); }

  private:
    PyRef keys_[kKeyCount];
};

// The order a dictionary is filled in is not part of the format; each one
// gets its own, drawn like an attribute map's seed, so that no caller comes
// to rely on one.
const DictKey* fill_order() {
    static const DictKey kOrders[24][kKeyCount] = {
        {kName, kAttrs, kChildren, kText}, {kName, kAttrs, kText, kChildren},
        {kName, kChildren, kAttrs, kText}, {kName, kChildren, kText, kAttrs},
        {kName, kText, kAttrs, kChildren}, {kName, kText, kChildren, kAttrs},
        {kAttrs, kName, kChildren, kText}, {kAttrs, kName, kText, kChildren},
        {kAttrs, kChildren, kName, kText}, {kAttrs, kChildren, kText, kName},
        {kAttrs, kText, kName, kChildren}, {kAttrs, kText, kChildren, kName},
        {kChildren, kName, kAttrs, kText}, {kChildren, kName, kText, kAttrs},
        {kChildren, kAttrs, kName, kText}, {kChildren, kAttrs, kText, kName},
        {kChildren, kText, kName, kAttrs}, {kChildren, kText, kAttrs, kName},
        {kText, kName, kAttrs, kChildren}, {kText, kName, kChildren, kAttrs},
        {kText, kAttrs, kName, kChildren}, {kText, kAttrs, kChildren, kName},
        {kText, kChildren, kName, kAttrs}, {kText, kChildren, kAttrs, kName},
    };
    HashKeys seed = take_hash_keys();
    // The seed's first key only counts up from map to map; mixing spreads
    // neighbouring seeds over all orders.
    uint64_t mixed = (seed.k0 ^ seed.k1) * 0x9E3779B97F4A7C15ull;
    return kOrders[(mixed >> 32) % 24];
}

// Objects made but not yet taken by their parent (dictionaries, nodes);
// released if a later step fails.
struct MadeObjects {
    std::vector<PyObject*> objects;
    ~MadeObjects() {
        for (PyObject* object : objects) Py_DECREF(object);
    }
};

// A list of the last `count` made objects, which it takes over.
PyObject* take_list(MadeObjects& made, Py_ssize_t count) {
    PyObject* list = PyList_New(count);
    if (!list) return nullptr;
    const size_t first = made.objects.size() - static_cast<size_t>(count);
    for (Py_ssize_t i = 0; i < count; ++i)
        PyList_SET_ITEM(list, i, made.objects[first + static_cast<size_t>(i)]);
    made.objects.resize(first);
    return list;
}

// The containers made so far, kept out of the collector's lists until the
// whole result exists. The walk runs the signal handlers now and then, and
// with them any collection that is due; each would go over every dictionary
// made so far, making a long conversion half as slow again. None of them can
// be part of a cycle before the result is returned (they hold only strings
// and each other), so the collector has nothing to find in them meanwhile.
class HiddenFromCollector {
  public:
    void hide(PyObject* object) {
        if (!PyObject_GC_IsTracked(object)) return;
        objects_.push_back(object);  // first: should it throw, nothing has changed
        PyObject_GC_UnTrack(object);
    }
    // Only for a complete result: on failure the objects are released instead.
    void track_all() noexcept {
        for (PyObject* object : objects_) PyObject_GC_Track(object);
        objects_.clear();
    }

  private:
    std::vector<PyObject*> objects_;
};

// The dictionary of one node whose children's dictionaries are the last
// ones made.
PyObject* node_dict(const DictKeys& keys, const NodeObject* node, MadeObjects& made,
                    HiddenFromCollector& hidden) {
    PyRef values[kKeyCount];
    values[kChildren] = PyRef(take_list(made, node->child_count));
    values[kName] = PyRef(name_to_python(node->name.view()));
    values[kAttrs] = PyRef(attrs_to_python(node->attrs));
    values[kText] =
        node->text.present() ? PyRef(text_to_python(node->text)) : PyRef::borrow(Py_None);
    for (const PyRef& value : values)
        if (!value) return nullptr;
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    const DictKey* order = fill_order();
    for (int i = 0; i < kKeyCount; ++i)
        if (PyDict_SetItem(dict.get(), keys[order[i]], values[order[i]].get()) < 0) return nullptr;
    // Filled first: inserting the list would start tracking the dict again.
    hidden.hide(values[kChildren].get());
    hidden.hide(dict.get());
    return dict.release();
}

// Children are made before their parent, so every list is complete when it
// is made and no half-built object is ever reachable.
PyObject* tree_dict(PyObject* root) {
    DictKeys keys;
    if (!keys.make()) return nullptr;
    struct Pending {
        const NodeObject* node;
        Py_ssize_t next;
    };
    MadeObjects made;
    HiddenFromCollector hidden;
    SignalPoll signals;
    std::vector<Pending> stack{{as_node(root), 0}};
    for (;;) {
        if (!signals.step()) return nullptr;
        Pending& top = stack.back();
        if (top.next < top.node->child_count) {
            stack.push_back({as_node(top.node->children()[top.next++]), 0});
            continue;
        }
        PyRef dict(node_dict(keys, top.node, made, hidden));
        if (!dict) return nullptr;
        stack.pop_back();
        if (stack.empty()) {
            hidden.track_all();
            return dict.release();
        }
        made.objects.push_back(dict.get());  // taken over only once stored
        dict.release();
    }
}

// ---- from_dict -----------------------------------------------------------

bool check_form(const NodeForm& form) {
    const char* invalid = !form.name.is(HashmapTypes::String)    ? "Invalid name"
                          : !form.attrs.is(HashmapTypes::Map)    ? "Invalid attrs"
                          : !form.children.is(HashmapTypes::Vec) ? "Invalid children"
                                                                 : nullptr;
    if (invalid) PyErr_SetString(PyExc_ValueError, invalid);
    return !invalid;
}

PyObject* build_node(NodeForm& form, MadeObjects& built, std::vector<PyObject*>& children) {
    const size_t count = form.child_forms.size();
    children.assign(built.objects.end() - static_cast<std::ptrdiff_t>(count), built.objects.end());
    built.objects.resize(built.objects.size() - count);
    // make_node takes the children over, also when it fails.
    return make_node(std::move(form.name_text), std::move(form.attr_map), children,
                     std::move(form.text_text));
}

// Each form's fields are checked when the walk reaches it, before any of
// its children, so the first invalid field in pre-order is the one
// reported; nodes are made on the way back up, children first.
PyObject* build_tree(std::vector<NodeForm>& forms) {
    struct Pending {
        uint32_t form;
        size_t next;
    };
    if (!check_form(forms[0])) return nullptr;
    MadeObjects built;
    SignalPoll signals;
    std::vector<PyObject*> children;
    std::vector<Pending> stack{{0, 0}};
    for (;;) {
        if (!signals.step()) return nullptr;
        Pending& top = stack.back();
        NodeForm& form = forms[top.form];
        if (top.next < form.child_forms.size()) {
            uint32_t child = form.child_forms[top.next++];
            if (!check_form(forms[child])) return nullptr;
            stack.push_back({child, 0});
            continue;
        }
        PyRef node(build_node(form, built, children));
        if (!node) return nullptr;
        stack.pop_back();
        if (stack.empty()) return node.release();
        built.objects.push_back(node.get());  // taken over only once stored
        node.release();
    }
}

const Signature kToDict{"Node.to_dict", nullptr, 0, 0};
const char* const kFromDictParams[] = {"dict_"};
const Signature kFromDict{"Node.from_dict", kFromDictParams, 1, 1};

}  // namespace

PyObject* node_to_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* unused[1];
    if (!bind_arguments(kToDict, args, nargs, kwnames, unused)) return nullptr;
    return tree_dict(self);
}

PyObject* node_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    drain_deferred_releases();
    PyObject* argv[1];
    if (!bind_arguments(kFromDict, args, nargs, kwnames, argv)) return nullptr;
    if (!PyDict_Check(argv[0])) {
        raise_refusal(Refusal::mismatch(argv[0], "dict"), {});
        fail_param("dict_");
        return nullptr;
    }
    std::vector<NodeForm> forms;
    if (!extract_forms(argv[0], forms)) {
        fail_param("dict_");
        return nullptr;
    }
    return build_tree(forms);
}

}  // namespace plovane
