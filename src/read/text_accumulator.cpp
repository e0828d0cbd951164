#include "read/text_accumulator.h"

#include "read/whitespace.h"

namespace plovane {

// Pretty-printed documents give every element with children several pieces of
// pure indentation. White space before the first other character is trimmed
// in the end whatever follows it, so such leading pieces are only counted
// (Blank), never joined: all that matters of them is that the text will be
// Owned, having come from more than one piece.

void TextAccumulator::leave_view() {
    if (is_all_space(view_)) {
        state_ = State::Blank;
    } else {
        owned_.assign(view_);
        state_ = State::Owned;
    }
}

void TextAccumulator::append_view(std::string_view piece) {
    if (piece.empty()) return;
    if (state_ == State::View) leave_view();
    switch (state_) {
        case State::Absent:
            view_ = piece;
            state_ = State::View;
            break;
        case State::Blank:
            if (is_all_space(piece)) break;
            owned_.assign(piece);
            state_ = State::Owned;
            break;
        default:
            owned_.append(piece);
            break;
    }
}

void TextAccumulator::append_owned(std::string&& piece) {
    if (piece.empty()) return;
    if (state_ == State::View) leave_view();
    if (state_ == State::Owned) {
        owned_.append(piece);
    } else if (state_ == State::Absent || !is_all_space(piece)) {
        owned_ = std::move(piece);
        state_ = State::Owned;
    }
}

TextRef TextAccumulator::finish(SpanBatch& spans) {
    if (state_ == State::View) {
        const std::string_view trimmed = trim_space(view_);
        return trimmed.empty() ? TextRef() : spans.span(trimmed);
    }
    if (state_ == State::Owned) {
        const std::string_view trimmed = trim_space(owned_);
        return trimmed.empty() ? TextRef() : TextRef::owned(trimmed);
    }
    return TextRef();
}

}  // namespace plovane
