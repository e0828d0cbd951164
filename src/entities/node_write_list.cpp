#include "entities/node_write_list.h"

#include <vector>

#include "entities/node.h"

namespace plovane {

WriteList write_list_of_node(PyObject* root) {
    WriteList list;
    struct Frame {
        const NodeObject* node;
        Py_ssize_t next_child;
    };
    const NodeObject* top_node = as_node(root);
    list.add(top_node->name, top_node->attrs, top_node->text,
             static_cast<uint64_t>(top_node->child_count), 0);
    std::vector<Frame> open{{top_node, 0}};
    while (!open.empty()) {
        Frame& top = open.back();
        if (top.next_child == top.node->child_count) {
            open.pop_back();
            continue;
        }
        const NodeObject* child = as_node(top.node->children[top.next_child++]);
        // Nodes are scattered over the heap: ask for the next sibling early.
        if (top.next_child < top.node->child_count)
            __builtin_prefetch(top.node->children[top.next_child]);
        list.add(child->name, child->attrs, child->text, static_cast<uint64_t>(child->child_count),
                 open.size());
        open.push_back({child, 0});
    }
    return list;
}

}  // namespace plovane
