#include "storage/element_record.h"

namespace plovane {

ElementRecord::~ElementRecord() {
    if (children.empty()) return;
    std::vector<std::vector<ElementRecord>> pending;
    pending.push_back(std::move(children));
    while (!pending.empty()) {
        std::vector<ElementRecord> level = std::move(pending.back());
        pending.pop_back();
        for (ElementRecord& child : level) {
            if (!child.children.empty()) pending.push_back(std::move(child.children));
        }
        // `level` is destroyed here; its records have no children left.
    }
}

ElementRecord ElementRecord::clone() const {
    ElementRecord copy;
    struct Pending {
        const ElementRecord* from;
        ElementRecord* to;
    };
    std::vector<Pending> stack{{this, &copy}};
    while (!stack.empty()) {
        Pending item = stack.back();
        stack.pop_back();
        item.to->name = item.from->name;
        item.to->attrs = item.from->attrs;
        item.to->text = item.from->text;
        item.to->children.resize(item.from->children.size());
        for (size_t i = item.from->children.size(); i-- > 0;)
            stack.push_back({&item.from->children[i], &item.to->children[i]});
    }
    return copy;
}

}  // namespace plovane
