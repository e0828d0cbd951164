// The text of one open element, gathered piece by piece (character data and
// CDATA contents, in document order) and trimmed when the element closes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/span_batch.h"
#include "storage/text_ref.h"

namespace plovane {

class TextAccumulator {
  public:
    // A piece that stands unchanged in the document.
    void append_view(std::string_view piece);
    // A piece rewritten by reference decoding.
    void append_owned(std::string&& piece);

    // The trimmed text: absent when there was none or it was all white space;
    // a Span (from `spans`) when it is one unchanged piece of the document;
    // otherwise Owned.
    TextRef finish(SpanBatch& spans);
    // Back to no text, keeping the buffer for the next element.
    void clear() noexcept {
        state_ = State::Absent;
        view_ = {};
        owned_.clear();
    }

  private:
    enum class State : uint8_t {
        Absent,
        View,   // one unchanged piece, in view_
        Blank,  // two or more pieces, all white space so far
        Owned,  // anything else, in owned_
    };

    // Leaves View for the state that a second piece leads to.
    void leave_view();

    State state_ = State::Absent;
    std::string_view view_;
    std::string owned_;
};

}  // namespace plovane
