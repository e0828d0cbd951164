#include "storage/flat_tree.h"

#include <iterator>

namespace plovane {

ElementRecord record_tree(FlatTree&& flat) {
    std::vector<ElementRecord> finished;  // complete subtrees whose parent is still to come
    for (FlatElement& element : flat) {
        ElementRecord record;
        record.name = std::move(element.name);
        record.attrs = std::move(element.attrs);
        record.text = std::move(element.text);
        if (const size_t count = element.child_count) {
            const auto first = finished.end() - static_cast<std::ptrdiff_t>(count);
            record.children.reserve(count);
            std::move(first, finished.end(), std::back_inserter(record.children));
            finished.erase(first, finished.end());
        }
        finished.push_back(std::move(record));
    }
    return std::move(finished.back());
}

}  // namespace plovane
