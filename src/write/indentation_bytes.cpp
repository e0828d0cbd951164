#include <cstdint>
#include <vector>

#include "platform/saturating.h"
#include "write/write_list.h"

namespace plovane {

// Every line break is followed by indent x level spaces, so the total is
// indent times the sum of the levels of all line breaks. Where the breaks go
// depends only on which elements have text and children.
uint64_t indentation_bytes(const WriteList& list, uint64_t indent) {
    if (indent == 0) return 0;
    uint64_t level_sum = 0;
    bool need_newline = false;
    // Children still to come of each open element; they are at levels
    // 0 .. size-1, their children one deeper.
    std::vector<uint64_t> open;
    auto line_at = [&](uint64_t level) {
        if (need_newline) level_sum = saturating_add(level_sum, level);
        need_newline = true;
    };
    for (const WriteElement& element : list.elements) {
        line_at(open.size());
        if (element.has_text) need_newline = false;
        if (element.child_count > 0) {
            open.push_back(element.child_count);
            continue;
        }
        if (element.has_text) line_at(open.size());  // the end tag follows the text
        while (!open.empty() && --open.back() == 0) {
            open.pop_back();
            line_at(open.size());
        }
    }
    return saturating_mul(indent, level_sum);
}

uint64_t indentation_bound(const WriteList& list, uint64_t indent) {
    // At most two line breaks per element (start and end tag), none deeper
    // than the deepest level.
    const uint64_t breaks = saturating_mul(2, list.elements.size());
    return saturating_mul(saturating_mul(breaks, list.max_depth), indent);
}

}  // namespace plovane
