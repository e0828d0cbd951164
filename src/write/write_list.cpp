#include "write/write_list.h"

namespace plovane {

WriteList write_list_of(const ElementRecord& root) {
    return lay_out_tree(
        root, [](const ElementRecord& e) -> uint64_t { return e.children.size(); },
        [](const ElementRecord& e, uint64_t i) -> const ElementRecord& { return e.children[i]; });
}

}  // namespace plovane
