#include "entities/node_write_list.h"

#include "entities/node.h"
#include "platform/prefetch.h"

namespace plovane {

WriteList write_list_of_node(PyObject* root) {
    auto child_count = [](const NodeObject& node) {
        return static_cast<uint64_t>(node.child_count);
    };
    auto child = [](const NodeObject& node, uint64_t i) -> const NodeObject& {
        // Nodes are scattered over the heap: ask for the next sibling early.
        if (i + 1 < static_cast<uint64_t>(node.child_count)) prefetch(node.children[i + 1]);
        return *as_node(node.children[i]);
    };
    return lay_out_tree(*as_node(root), child_count, child);
}

}  // namespace plovane
