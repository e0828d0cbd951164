// Where a read puts the elements of its tree: in post order (every element
// after all of its descendants, the root last), each with the number of
// children it has, which are the last that many finished subtrees before it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/page_hints.h"
#include "storage/attr_map.h"
#include "storage/flat_tree.h"
#include "storage/text_ref.h"

namespace plovane {

class ElementSink {
  public:
    // About `elements` will be added: exactly that many when the read
    // succeeds and the reader saw the whole tree in its index, at most that
    // many when it fails; more when it saw only the tree's start.
    virtual void reserve(size_t elements) = 0;
    // Takes one finished element. May throw std::bad_alloc.
    virtual void add(TextRef&& name, AttrMap&& attrs, TextRef&& text, uint64_t child_count) = 0;

  protected:
    ~ElementSink() = default;
};

// The sink that keeps the tree as it comes, in one array.
class FlatTreeSink final : public ElementSink {
  public:
    void reserve(size_t elements) override { reserve_fresh(tree, elements); }
    void add(TextRef&& name, AttrMap&& attrs, TextRef&& text, uint64_t child_count) override {
        tree.push_back({std::move(name), std::move(attrs), std::move(text), child_count});
    }

    FlatTree tree;
};

}  // namespace plovane
