#include "entities/node_write_list.h"

#include "capi/signal_poll.h"
#include "entities/node.h"
#include "platform/prefetch.h"

namespace plovane {

namespace {

// Thrown out of the walk when a signal handler raised; the list under
// construction is released on the way out.
struct Interrupted {};

}  // namespace

bool write_list_of_node(PyObject* root, WriteList& out) {
    SignalPoll signals;
    auto child_count = [](const NodeObject& node) {
        return static_cast<uint64_t>(node.child_count);
    };
    auto child = [&signals](const NodeObject& node, uint64_t i) -> const NodeObject& {
        if (!signals.step()) throw Interrupted{};
        // Nodes are scattered over the heap: ask for the next sibling early.
        if (i + 1 < static_cast<uint64_t>(node.child_count)) prefetch(node.children()[i + 1]);
        return *as_node(node.children()[i]);
    };
    try {
        out = lay_out_tree(*as_node(root), child_count, child);
    } catch (const Interrupted&) {
        return false;
    }
    return true;
}

}  // namespace plovane
