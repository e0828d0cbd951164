// Start tags and empty-element tags located by the structural index, turned
// into element records with their attribute maps.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "index/structural_index.h"
#include "read/read_error.h"
#include "storage/attr_map.h"
#include "storage/expected.h"
#include "storage/hash_keys.h"
#include "storage/shared_source.h"
#include "storage/span_batch.h"

namespace plovane {

struct StartTag {
    std::string_view name;
    // Everything between the name and the closing ">" (or "/>").
    std::string_view attribute_area;
    uint64_t area_start = 0;  // document offset of attribute_area[0]
};

// For record `i` (an Open or SelfClosing record of `index`, which was built
// over `text`). Fails only when the name is empty.
Expected<StartTag, ReadError> split_start_tag(std::string_view text, const StructuralIndex& index,
                                              uint64_t i);

// The record's name and attributes, filled into `name` and `attrs` (absent
// and empty on entry). Names and values that need no rewriting are Spans
// taken from `spans`, a batch over the index's source.
std::optional<ReadError> scan_start_tag(SpanBatch& spans, const StructuralIndex& index, uint64_t i,
                                        HashKeys keys, TextRef& name, AttrMap& attrs);

}  // namespace plovane
