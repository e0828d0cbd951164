// A read element tree laid out in post order: every element follows all of
// its descendants and the root comes last. An element's children are the
// last `child_count` complete subtrees before it, so the tree is rebuilt by
// one forward pass with a stack of finished subtrees, and the whole document
// lives in one array instead of a vector per element.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

struct FlatElement {
    TextRef name;
    AttrMap attrs;
    TextRef text;  // absent when the element has no text
    uint64_t child_count = 0;
};

using FlatTree = std::vector<FlatElement>;

}  // namespace plovane
