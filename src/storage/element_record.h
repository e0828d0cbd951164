// The by-value form of a node: what the reader produces and the writer
// consumes. Children are held by value.
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

    // A deep copy (records are move-only, and writing consumes them); spans
    // share their source, maps keep their iteration order.
    ElementRecord clone() const;
};

}  // namespace plovane
