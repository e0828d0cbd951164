// A tree laid out for writing: its elements in document order, each one
// followed by all its descendants, with views of their strings.
//
// The list holds no references: the views point into whatever holds the
// tree, which must stay alive and unchanged while the list is in use. Laying
// a tree out this way costs one small entry per element, with no allocation,
// copy or reference count per string, and the serializer then reads the
// entries in order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

struct WriteElement {
    std::string_view name;
    AttrMap::View attrs;
    std::string_view text;
    bool has_text;
    uint64_t child_count;
};

struct WriteList {
    std::vector<WriteElement> elements;
    uint64_t max_depth = 0;  // the deepest level below the root

    void add(const TextRef& name, const AttrMap& attrs, const TextRef& text, uint64_t child_count,
             uint64_t depth) {
        elements.push_back({name.view(), attrs.view(), text.view(), text.present(), child_count});
        if (depth > max_depth) max_depth = depth;
    }
};

// Lays out a tree whose elements have `name`, `attrs` and `text` fields;
// `child_count(e)` is the number of children of `e`, `child(e, i)` the i-th.
// The walk keeps its own stack: trees may nest a million levels deep.
template <class Element, class ChildCount, class Child>
WriteList lay_out_tree(const Element& root, ChildCount child_count, Child child) {
    WriteList list;
    struct Frame {
        const Element* element;
        uint64_t next_child;
    };
    list.add(root.name, root.attrs, root.text, child_count(root), 0);
    std::vector<Frame> open{{&root, 0}};
    while (!open.empty()) {
        Frame& top = open.back();
        if (top.next_child == child_count(*top.element)) {
            open.pop_back();
            continue;
        }
        const Element& next = child(*top.element, top.next_child++);
        list.add(next.name, next.attrs, next.text, child_count(next), open.size());
        open.push_back({&next, 0});
    }
    return list;
}

// The number of indentation spaces the output of the list would hold,
// saturating at UINT64_MAX.
uint64_t indentation_bytes(const WriteList& list, uint64_t indent);
// An upper bound of that number from the element count and depth alone,
// saturating: callers count exactly only when the bound is too large.
uint64_t indentation_bound(const WriteList& list, uint64_t indent);

}  // namespace plovane
