// The by-value form of a node: what read_document returns and what the
// core-side writer entry points lay out. Children are held by value.
#pragma once

#include <vector>

#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

struct ElementRecord {
    TextRef name;
    AttrMap attrs;
    std::vector<ElementRecord> children;
    TextRef text;  // absent when the element has no text

    ElementRecord() = default;
    ElementRecord(ElementRecord&&) noexcept = default;
    ElementRecord& operator=(ElementRecord&&) noexcept = default;
    ElementRecord(const ElementRecord&) = delete;
    ElementRecord& operator=(const ElementRecord&) = delete;
    // Releases descendants with an explicit stack: documents may nest far
    // deeper than the native stack allows recursion.
    ~ElementRecord();
};

}  // namespace plovane
