#include <cstdint>
#include <vector>

#include "write/xml_writer.h"

namespace plovane {

namespace {

uint64_t saturating_add(uint64_t a, uint64_t b) {
    uint64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

}  // namespace

// Every line break is followed by indent x level spaces, so the total is
// indent times the sum of the levels of all line breaks. Where the breaks go
// depends only on which elements have text and children, which is all this
// walk reads: names, attributes and texts stay untouched in memory.
uint64_t indentation_bytes(const ElementRecord& root, uint64_t indent) {
    if (indent == 0) return 0;
    uint64_t level_sum = 0;
    bool need_newline = false;
    // Opens an element at `level`; true when it stays open for content.
    auto open = [&](const ElementRecord& record, uint64_t level) {
        if (need_newline) level_sum = saturating_add(level_sum, level);
        need_newline = true;
        if (record.children.empty() && !record.text.present()) return false;
        if (record.text.present()) need_newline = false;
        return true;
    };
    struct Frame {
        const ElementRecord* record;
        size_t next_child;
    };
    std::vector<Frame> open_elements;
    if (open(root, 0)) open_elements.push_back({&root, 0});
    while (!open_elements.empty()) {
        Frame& top = open_elements.back();
        // The open elements are at levels 0 .. size-1; their children one deeper.
        const uint64_t depth = open_elements.size();
        if (top.next_child < top.record->children.size()) {
            const ElementRecord& child = top.record->children[top.next_child++];
            // The walk waits mostly on each record's child list; ask for the
            // next sibling's list early.
            if (top.next_child < top.record->children.size()) {
                __builtin_prefetch(top.record->children[top.next_child].children.data());
            }
            if (open(child, depth)) open_elements.push_back({&child, 0});
            continue;
        }
        if (need_newline) level_sum = saturating_add(level_sum, depth - 1);
        need_newline = true;
        open_elements.pop_back();
    }
    uint64_t spaces;
    return __builtin_mul_overflow(indent, level_sum, &spaces) ? UINT64_MAX : spaces;
}

}  // namespace plovane
