#include "entities/node.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "capi/arguments.h"
#include "capi/container_snapshot.h"
#include "capi/deferred_release.h"
#include "capi/errors.h"
#include "capi/method_def.h"
#include "capi/process_object.h"
#include "capi/py_ref.h"
#include "capi/text_strings.h"
#include "entities/node_methods.h"
#include "entities/node_slab.h"
#include "entities/sequence_check.h"
#include "platform/page_hints.h"
#include "platform/prefetch.h"

namespace plovane {

void destroy_node_fields(NodeObject* node, TextReleaser& releaser) noexcept {
    releaser.release(node->name);
    releaser.release(node->text);
    node->attrs.clear(releaser);
    node->name.~TextRef();
    node->attrs.~AttrMap();
    node->text.~TextRef();
}

void destroy_node_fields(NodeObject* node) noexcept {
    TextReleaser releaser;
    destroy_node_fields(node, releaser);
}

namespace {

// ---- release -------------------------------------------------------------

// The outermost release on this thread: the children whose last reference
// was dropped inside it, which it empties (so releasing a chain a million
// nodes deep never nests more than two calls deep), and one releaser for the
// strings of every node it frees (the nodes of one document hold theirs on
// one source, whose count then changes once for all of them).
struct Release {
    std::vector<PyObject*> pending;
    TextReleaser releaser;
};
thread_local Release* current_release = nullptr;
constexpr size_t kPrefetchNode = 4;
constexpr size_t kPrefetchMap = 2;

// Frees the object's block, child array included.
void free_node(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

void node_dealloc(PyObject* self) {
    NodeObject* node = as_node(self);
    PyObject** children = node->children();
    Py_ssize_t count = node->child_count;
    Release own;
    Release* release = current_release ? current_release : &own;
    destroy_node_fields(node, release->releaser);
    try {
        release->pending.insert(release->pending.end(), children, children + count);
    } catch (const std::bad_alloc&) {
        // No room to queue them: release them here, nesting one call deeper.
        for (Py_ssize_t i = 0; i < count; ++i) Py_DECREF(children[i]);
    }
    free_node(self);
    if (release != &own) return;

    current_release = &own;
    std::vector<PyObject*>& pending = own.pending;
    while (!pending.empty()) {
        // Nodes and their maps are scattered over the heap: ask for the
        // nodes a few releases ahead, and for the maps of nearer ones.
        const size_t n = pending.size();
        if (n > kPrefetchNode) prefetch(pending[n - 1 - kPrefetchNode]);
        if (n > kPrefetchMap) as_node(pending[n - 1 - kPrefetchMap])->attrs.view().prefetch();
        PyObject* child = pending.back();
        pending.pop_back();
        Py_DECREF(child);
    }
    current_release = nullptr;
}

// ---- construction --------------------------------------------------------

const char* const kNodeParams[] = {"name", "attrs", "children", "text"};
const Signature kNodeSignature{"Node", kNodeParams, 4, 1};

bool convert_owned(PyObject* object, const char* param, TextRef& out) {
    std::string_view text;
    if (!convert_utf8(object, param, text)) return false;
    out = TextRef::owned(text);
    return true;
}

bool convert_attrs(PyObject* object, AttrMap& out) {
    if (!PyDict_Check(object)) {
        set_type_mismatch(object, "dict");
        return fail_param("attrs");
    }
    // Converted from a snapshot: the caller's dict may be changed meanwhile.
    std::vector<DictItem> items;
    if (!snapshot_dict(object, items)) return fail_param("attrs");
    // Views of the strs, which the snapshot keeps alive until the map has
    // copied them.
    std::vector<std::pair<std::string_view, std::string_view>> texts;
    reserve_fresh(texts, items.size());
    texts.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!convert_utf8(items[i].key.get(), "attrs", texts[i].first) ||
            !convert_utf8(items[i].value.get(), "attrs", texts[i].second))
            return false;
    }
    out.insert_copies(take_hash_keys(), texts);
    return true;
}

bool take_child(PyRef item, std::vector<PyObject*>& out) {
    if (!is_node(item.get())) {
        set_type_mismatch(item.get(), "Node");
        return fail_param("children");
    }
    out.push_back(item.get());  // taken over only once stored
    item.release();
    return true;
}

bool convert_children(PyObject* object, std::vector<PyObject*>& out) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return fail_param("children");
    }
    int sequence = is_sequence(object);
    if (sequence <= 0) {
        if (sequence == 0) set_type_mismatch(object, "Sequence");
        return fail_param("children");
    }
    // A list is read from a snapshot, as its content at one moment: another
    // thread may change it meanwhile. Any other sequence is iterated.
    if (PyList_CheckExact(object)) {
        std::vector<PyRef> items;
        if (!snapshot_list(object, items)) return fail_param("children");
        for (PyRef& item : items)
            if (!take_child(std::move(item), out)) return false;
        return true;
    }
    PyRef iterator(PyObject_GetIter(object));
    if (!iterator) return fail_param("children");
    while (PyRef item{PyIter_Next(iterator.get())})
        if (!take_child(std::move(item), out)) return false;
    return PyErr_Occurred() ? fail_param("children") : true;
}

void release_all(std::vector<PyObject*>& objects) {
    for (PyObject* object : objects) Py_DECREF(object);
    objects.clear();
}

// Children converted so far, released should a later step fail or throw.
struct ChildrenGuard {
    std::vector<PyObject*>& children;
    ~ChildrenGuard() { release_all(children); }
};

PyObject* node_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    drain_deferred_releases();
    PyObject* argv[4];
    std::vector<DictItem> keywords;  // argv borrows from it
    if (!bind_arguments(kNodeSignature, args, kwargs, argv, keywords)) return nullptr;
    TextRef name, text;
    AttrMap attrs;
    std::vector<PyObject*> children;
    ChildrenGuard guard{children};
    if (!convert_owned(argv[0], "name", name)) return nullptr;
    if (is_given(argv[1]) && !convert_attrs(argv[1], attrs)) return nullptr;
    if (is_given(argv[2]) && !convert_children(argv[2], children)) {
        release_all(children);
        return nullptr;
    }
    if (is_given(argv[3]) && !convert_owned(argv[3], "text", text)) {
        release_all(children);
        return nullptr;
    }
    return make_node(std::move(name), std::move(attrs), children, std::move(text));
}

// ---- properties ----------------------------------------------------------

PyObject* get_name(PyObject* self, void*) {
    return name_to_python(as_node(self)->name.view());
}

PyObject* get_text(PyObject* self, void*) {
    const TextRef& text = as_node(self)->text;
    return text.present() ? text_to_python(text) : Py_NewRef(Py_None);
}

PyObject* get_attrs(PyObject* self, void*) {
    return attrs_to_python(as_node(self)->attrs);
}

PyObject* get_children(PyObject* self, void*) {
    NodeObject* node = as_node(self);
    PyObject* list = PyList_New(node->child_count);
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < node->child_count; ++i)
        PyList_SET_ITEM(list, i, Py_NewRef(node->children()[i]));
    return list;
}

PyGetSetDef node_getset[] = {
    {"name", guarded<get_name>, nullptr, nullptr, nullptr},
    {"attrs", guarded<get_attrs>, nullptr, nullptr, nullptr},
    {"children", guarded<get_children>, nullptr,
     "Children are shared references to the same nodes, not copies.", nullptr},
    {"text", guarded<get_text>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef node_methods[] = {
    fastcall_method<node_search_by_name>("search_by_name",
                                         "search_by_name($self, name, depth=None)\n--\n\n"),
    fastcall_method<node_search_by_attr>("search_by_attr",
                                         "search_by_attr($self, key, depth=None)\n--\n\n"),
    fastcall_method<node_search_by_text>("search_by_text",
                                         "search_by_text($self, text, depth=None)\n--\n\n"),
    fastcall_method<node_search>("search", "search($self, by, value, depth=None)\n--\n\n"),
    fastcall_method<node_to_string>("__to_string", "__to_string($self, spacing=None)\n--\n\n"),
    fastcall_method<node_to_dict>("to_dict", "to_dict($self)\n--\n\n"),
    fastcall_method<node_from_dict>("from_dict", "from_dict($cls, dict_)\n--\n\n", METH_CLASS),
    {"__reduce__", guarded<node_reduce>, METH_NOARGS, "__reduce__($self, /)\n--\n\n"},
    {"__copy__", guarded<node_copy>, METH_NOARGS, "__copy__($self, /)\n--\n\n"},
    {"__deepcopy__", guarded<node_deepcopy>, METH_O, "__deepcopy__($self, memo, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot node_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(guarded<node_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(node_dealloc)},
    {Py_tp_free, reinterpret_cast<void*>(free_node_block)},
    {Py_tp_str, reinterpret_cast<void*>(guarded<node_str>)},
    {Py_tp_repr, reinterpret_cast<void*>(guarded<node_repr>)},
    {Py_tp_getset, node_getset},
    {Py_tp_methods, node_methods},
    {Py_tp_doc, const_cast<char*>("Node(name, attrs=None, children=None, text=None)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec node_spec{
    "builtins.Node", sizeof(NodeObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    node_slots,
};

PyObject* create_node_type() {
    PyRef type(PyType_FromSpec(&node_spec));
    if (!type) return nullptr;
    auto* cls = reinterpret_cast<PyTypeObject*>(type.get());
    // The doc text is a signature only; a heap type would keep "" as __doc__.
    if (PyDict_SetItemString(cls->tp_dict, "__doc__", Py_None) < 0) return nullptr;
    PyType_Modified(cls);
    return type.release();
}

ProcessObject node_class{create_node_type};

}  // namespace

bool init_node_type() {
    return node_class.ensure();
}

PyTypeObject* node_type() {
    return reinterpret_cast<PyTypeObject*>(node_class.get());
}

// The object and its child array in one block: the children sit next to the
// fields that lead to them. Every field is set below, so the block is not
// cleared first (as the generic allocation would). The type has no
// subclasses and is not tracked by the collector. A read cuts its blocks from
// a NodeSlab's chunks; any other node has a block of its own from here.
//
// With the global lock any allocator will do as long as tp_free matches, and
// the C allocator is used: it hands the blocks of a released tree to the
// next one read, where the interpreter's small-object allocator gives its
// emptied arenas back to the system and takes fresh ones, each page of which
// faults (reads were 13-15% faster with malloc), and it needs no attached
// thread, so blocks can be made while the interpreter is released.
//
// A free-threaded interpreter requires every object to come from its object
// allocator: other threads read container items without locks, and may
// still touch an object just freed (to try a reference on it); that
// allocator's per-thread heaps delay the reuse of its memory until no such
// reader can remain. It needs an attached thread.
static_assert(sizeof(NodeObject) % alignof(PyObject*) == 0);

NodeObject* allocate_node(size_t child_count) noexcept {
    const size_t size = node_block_size(child_count);
#ifdef Py_GIL_DISABLED
    void* block = PyObject_Malloc(size);
#else
    void* block = std::malloc(size);
#endif
    if (!block) return nullptr;
    advise_huge_pages(block, size);  // millions of children: fewer faults
    auto* node = static_cast<NodeObject*>(block);
    node->chunk = nullptr;
    return node;
}

void free_node_block(void* block) noexcept {
    if (NodeChunk* chunk = static_cast<NodeObject*>(block)->chunk) {
        release_chunk(chunk);
        return;
    }
#ifdef Py_GIL_DISABLED
    PyObject_Free(block);
#else
    std::free(block);
#endif
}

void init_node_fields(NodeObject* node, TextRef name, AttrMap attrs, PyObject* const* children,
                      size_t count, TextRef text) noexcept {
    new (&node->name) TextRef(std::move(name));
    new (&node->attrs) AttrMap(std::move(attrs));
    new (&node->text) TextRef(std::move(text));
    node->child_count = static_cast<Py_ssize_t>(count);
    std::copy_n(children, count, node->children());
}

PyObject* make_node(TextRef name, AttrMap attrs, PyObject* const* children, size_t count,
                    TextRef text) {
    PyTypeObject* type = node_type();
    NodeObject* node = type ? allocate_node(count) : nullptr;
    if (!node) {
        if (type)
            PyErr_NoMemory();
        else
            raise_internal_error("a Node was made before the module made its class");
        for (size_t i = 0; i < count; ++i) Py_DECREF(children[i]);
        return nullptr;
    }
    PyObject* self = PyObject_Init(reinterpret_cast<PyObject*>(node), type);
    init_node_fields(node, std::move(name), std::move(attrs), children, count, std::move(text));
    return self;
}

PyObject* attrs_to_python(const AttrMap& attrs) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    bool ok = true;
    attrs.for_each([&](std::string_view key, std::string_view value) {
        if (!ok) return;
        PyRef k(name_to_python(key)), v(text_to_python(value));
        ok = k && v && PyDict_SetItem(dict.get(), k.get(), v.get()) == 0;
    });
    return ok ? dict.release() : nullptr;
}

}  // namespace plovane
