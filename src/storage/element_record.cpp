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

}  // namespace plovane
