// Pickling and copying nodes. A tree pickles as one call of the module's
// _node_from_state on one bytes object (see storage/node_state.h): the
// whole tree is written and read by loops, never by nesting, so a chain a
// million nodes deep pickles like any other tree, and the pickle machinery
// sees one object instead of one per node. Nodes never change, so a copy,
// deep or not, is the node itself.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "capi/deferred_release.h"
#include "capi/py_ref.h"
#include "entities/node.h"
#include "entities/node_methods.h"
#include "storage/hash_keys.h"
#include "storage/node_state.h"

namespace plovane {

namespace {

// ---- tree to state -------------------------------------------------------

void write_fields(StateWriter& writer, const NodeObject* node) {
    const std::string_view text = node->text.view();
    writer.begin(node->name.view(), node->text.present() ? &text : nullptr, node->attrs.size());
    node->attrs.for_each(
        [&](std::string_view key, std::string_view value) { writer.attr(key, value); });
}

// Children first, each distinct node once. A node held by one reference
// only (its parent's) cannot be met twice, so only nodes held more often
// are looked up among those written.
void write_tree(StateWriter& writer, PyObject* root) {
    struct Pending {
        const NodeObject* node;
        Py_ssize_t next;
    };
    std::unordered_map<const NodeObject*, uint64_t> written;
    std::vector<uint64_t> finished;  // indices of children whose parent is still to come
    std::vector<Pending> stack{{as_node(root), 0}};
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next < top.node->child_count) {
            PyObject* child = top.node->children()[top.next++];
            if (Py_REFCNT(child) > 1) {
                auto found = written.find(as_node(child));
                if (found != written.end()) {
                    finished.push_back(found->second);
                    continue;
                }
            }
            stack.push_back({as_node(child), 0});
            continue;
        }
        const NodeObject* node = top.node;
        stack.pop_back();
        write_fields(writer, node);
        const size_t count = static_cast<size_t>(node->child_count);
        const size_t first = finished.size() - count;
        const uint64_t index = writer.children(finished.data() + first, count);
        finished.resize(first);
        finished.push_back(index);
        if (Py_REFCNT(reinterpret_cast<const PyObject*>(node)) > 1) written.emplace(node, index);
    }
}

PyObject* state_of(PyObject* root) {
    StateWriter writer;
    try {
        write_tree(writer, root);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    PyRef state(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(writer.size())));
    if (state) writer.copy_to(PyBytes_AS_STRING(state.get()));
    return state.release();
}

// ---- state to tree -------------------------------------------------------

// References on the state's source taken for a node's strings in one step
// and handed out one per string; those left over are given back.
class SourceShares {
  public:
    SourceShares(SharedSource* source, uint64_t count) noexcept : source_(source), left_(count) {
        source_->retain(count);
    }
    SourceShares(const SourceShares&) = delete;
    SourceShares& operator=(const SourceShares&) = delete;
    ~SourceShares() {
        if (left_) source_->release(left_);
    }
    TextRef take(StateString string) noexcept {
        --left_;
        return TextRef::adopt_span(
            source_, {source_->data() + string.offset, static_cast<size_t>(string.size)});
    }

  private:
    SharedSource* source_;
    uint64_t left_;
};

// The nodes of a state as blocks, built without the interpreter (with the
// global lock; attached on a free-threaded interpreter); `parents` counts
// the parents of each.
struct StateBlocks {
    std::vector<NodeObject*> blocks;  // in the state's order, root last
    std::vector<uint64_t> parents;
    std::optional<StateError> error;
    bool out_of_memory = false;

    StateBlocks() = default;
    StateBlocks(const StateBlocks&) = delete;
    StateBlocks& operator=(const StateBlocks&) = delete;
    ~StateBlocks() {
        for (NodeObject* block : blocks) {
            destroy_node_fields(block);
            free_node_block(block);
        }
    }
};

// Makes the block of one node; false with `out.error` set when its
// attributes repeat a key.
bool add_block(StateBlocks& out, const SourceRef& source, const StateNode& node,
               std::vector<PyObject*>& children) {
    const uint64_t strings = 1 + (node.text ? 1 : 0) + 2 * uint64_t{node.attrs.size()};
    SourceShares shares(source.get(), strings);
    TextRef name = shares.take(node.name);
    TextRef text = node.text ? shares.take(*node.text) : TextRef();
    AttrMap attrs;
    if (!node.attrs.empty()) {
        const HashKeys keys = take_hash_keys();
        attrs.reserve(keys, static_cast<uint32_t>(node.attrs.size()));
        for (const auto& [key, value] : node.attrs) {
            if (!attrs.insert(keys, shares.take(key), shares.take(value))) {
                out.error = StateError{"invalid Node state: an attribute key repeats"};
                return false;
            }
        }
    }
    children.clear();
    for (uint64_t child : node.children) {
        children.push_back(reinterpret_cast<PyObject*>(out.blocks[child]));
        ++out.parents[child];
    }
    NodeObject* block = allocate_node(children.size());
    if (!block) throw std::bad_alloc();
    init_node_fields(block, std::move(name), std::move(attrs), children.data(), children.size(),
                     std::move(text));
    out.blocks.push_back(block);
    out.parents.push_back(0);
    return true;
}

// Runs without the interpreter: touches the state's bytes only.
void build_blocks(StateBlocks& out, std::string_view state) {
    try {
        Expected<StateReader, StateError> opened = StateReader::open(state);
        if (!opened) {
            out.error = std::move(opened).error();
            return;
        }
        StateReader& reader = opened.value();
        const SourceRef source = SharedSource::owned(std::string(reader.strings()));
        out.blocks.reserve(static_cast<size_t>(reader.node_count()));
        out.parents.reserve(static_cast<size_t>(reader.node_count()));
        StateNode node;
        std::vector<PyObject*> children;
        while (!reader.done()) {
            if ((out.error = reader.next(node))) return;
            if (node.attrs.size() > std::numeric_limits<uint32_t>::max()) {
                out.error = StateError{"invalid Node state: too many attributes"};
                return;
            }
            if (!add_block(out, source, node, children)) return;
        }
        out.error = reader.finish();
    } catch (const std::bad_alloc&) {
        out.out_of_memory = true;
    }
}

// Makes every block a Node holding one reference per parent (the root one
// for the caller), and returns the root. Nodes no parent refers to (only a
// hand-made state has them) are released again.
PyObject* activate(StateBlocks& made) {
    PyTypeObject* type = node_type();
    if (!type) return nullptr;
    const std::vector<NodeObject*> blocks = std::move(made.blocks);
    for (NodeObject* block : blocks) PyObject_Init(reinterpret_cast<PyObject*>(block), type);
    const size_t last = blocks.size() - 1;
    auto wanted = [&](size_t i) { return made.parents[i] + (i == last ? 1 : 0); };
    for (size_t i = 0; i < blocks.size(); ++i)
        for (uint64_t n = 1; n < wanted(i); ++n) Py_INCREF(reinterpret_cast<PyObject*>(blocks[i]));
    for (size_t i = 0; i < blocks.size(); ++i)
        if (wanted(i) == 0) Py_DECREF(reinterpret_cast<PyObject*>(blocks[i]));
    return reinterpret_cast<PyObject*>(blocks[last]);
}

}  // namespace

PyObject* node_reduce(PyObject* self, PyObject*) {
    drain_deferred_releases();
    PyRef state(state_of(self));
    if (!state) return nullptr;
    PyRef rebuild(PyImport_ImportModuleAttrString("plovane", "_node_from_state"));
    if (!rebuild) return nullptr;
    return Py_BuildValue("(O(O))", rebuild.get(), state.get());
}

PyObject* node_copy(PyObject* self, PyObject*) {
    return Py_NewRef(self);
}

PyObject* node_deepcopy(PyObject* self, PyObject*) {
    return Py_NewRef(self);
}

PyObject* node_from_state(PyObject*, PyObject* state) {
    drain_deferred_releases();
    if (!PyBytes_Check(state)) {
        PyErr_Format(PyExc_TypeError, "_node_from_state() argument must be bytes, not '%s'",
                     Py_TYPE(state)->tp_name);
        return nullptr;
    }
    const std::string_view bytes(PyBytes_AS_STRING(state),
                                 static_cast<size_t>(PyBytes_GET_SIZE(state)));
    StateBlocks made;
    {
#ifndef Py_GIL_DISABLED
        // A free-threaded interpreter's object allocator, which the blocks
        // come from there, needs this thread attached (see allocate_node);
        // being attached there blocks no other thread.
        WithoutInterpreter released;  // reads the caller's bytes, which cannot change
#endif
        build_blocks(made, bytes);
    }
    if (made.out_of_memory) return PyErr_NoMemory();
    if (made.error) {
        PyErr_SetString(PyExc_ValueError, made.error->message.c_str());
        return nullptr;
    }
    return activate(made);
}

}  // namespace plovane
