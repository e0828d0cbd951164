#include "entities/record_conversion.h"

#include <vector>

#include "entities/node.h"

namespace plovane {

PyObject* node_from_flat(FlatTree&& elements) {
    // Nodes of finished subtrees whose parent is still to come, in order.
    std::vector<PyObject*> finished;
    finished.reserve(elements.size());
    for (FlatElement& element : elements) {
        const size_t count = static_cast<size_t>(element.child_count);
        const size_t first = finished.size() - count;
        PyObject* node = make_node(std::move(element.name), std::move(element.attrs),
                                   finished.data() + first, count, std::move(element.text));
        finished.resize(first);
        if (!node) {
            for (PyObject* done : finished) Py_DECREF(done);
            return nullptr;
        }
        finished.push_back(node);
    }
    return finished.back();
}

namespace {

void copy_fields(const NodeObject* node, ElementRecord& record) {
    record.name = node->name;
    record.attrs = node->attrs;
    record.text = node->text;
    record.children.resize(static_cast<size_t>(node->child_count));
}

}  // namespace

ElementRecord record_from_node(PyObject* root) {
    ElementRecord copy;
    struct Pending {
        const NodeObject* node;
        ElementRecord* record;
    };
    std::vector<Pending> stack{{as_node(root), &copy}};
    while (!stack.empty()) {
        Pending item = stack.back();
        stack.pop_back();
        copy_fields(item.node, *item.record);
        // Children are pushed last-first so they are copied in document
        // order: the serializer then walks memory in the order it was filled.
        for (Py_ssize_t i = item.node->child_count; i-- > 0;)
            stack.push_back({as_node(item.node->children[i]), &item.record->children[static_cast<size_t>(i)]});
    }
    return copy;
}

}  // namespace plovane
