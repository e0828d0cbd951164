#include "write/write_list.h"

namespace plovane {

WriteList write_list_of(const ElementRecord& root) {
    WriteList list;
    struct Frame {
        const ElementRecord* record;
        size_t next_child;
    };
    list.add(root.name, root.attrs, root.text, root.children.size(), 0);
    std::vector<Frame> open{{&root, 0}};
    while (!open.empty()) {
        Frame& top = open.back();
        if (top.next_child == top.record->children.size()) {
            open.pop_back();
            continue;
        }
        const ElementRecord& child = top.record->children[top.next_child++];
        list.add(child.name, child.attrs, child.text, child.children.size(), open.size());
        open.push_back({&child, 0});
    }
    return list;
}

}  // namespace plovane
