#include "entities/record_conversion.h"

#include <vector>

#include "entities/node.h"

namespace plovane {

namespace {

struct BuildFrame {
    ElementRecord* record;
    size_t next_child = 0;
    std::vector<PyObject*> built;  // the children's objects so far
};

void release_frames(std::vector<BuildFrame>& stack) {
    for (BuildFrame& frame : stack)
        for (PyObject* child : frame.built) Py_DECREF(child);
}

}  // namespace

PyObject* node_from_record(ElementRecord&& root) {
    std::vector<BuildFrame> stack;
    stack.push_back({&root, 0, {}});
    PyObject* finished = nullptr;
    while (!stack.empty()) {
        BuildFrame& frame = stack.back();
        if (finished) {
            frame.built.push_back(finished);
            finished = nullptr;
        }
        ElementRecord& record = *frame.record;
        if (frame.next_child < record.children.size()) {
            ElementRecord* child = &record.children[frame.next_child++];
            if (frame.built.empty()) frame.built.reserve(record.children.size());
            stack.push_back({child, 0, {}});
            continue;
        }
        finished = make_node(std::move(record.name), std::move(record.attrs), frame.built,
                             std::move(record.text));
        stack.pop_back();
        if (!finished) {
            release_frames(stack);
            return nullptr;
        }
    }
    return finished;
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
