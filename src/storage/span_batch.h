// Spans of one source for a reader that makes a great many of them.
//
// Every Span holds a reference on its source, and taking one is an atomic
// update. A batch takes the source's references a few thousand at a time and
// hands them out one per span without touching the count; what is left of the
// last batch goes back when the SpanBatch is destroyed. Every span handed out
// holds a real reference, so it may be dropped at any time, also before the
// batch it came from.
#pragma once

#include <cstdint>
#include <string_view>

#include "storage/shared_source.h"
#include "storage/text_ref.h"

namespace plovane {

class SpanBatch {
  public:
    explicit SpanBatch(const SourceRef& source) noexcept : source_(source.get()) {}
    SpanBatch(const SpanBatch&) = delete;
    SpanBatch& operator=(const SpanBatch&) = delete;
    ~SpanBatch() {
        if (left_) source_->release(left_);
    }

    SharedSource* source() const noexcept { return source_; }
    std::string_view text() const noexcept { return source_->text(); }

    // A Span of `inside`, which lies in the source's text.
    TextRef span(std::string_view inside) noexcept {
        hand_out(1);
        return TextRef::adopt_span(source_, inside);
    }
    // Hands `n` references (n <= kBatch) to holders that record views of
    // the source itself.
    void hand_out(uint64_t n) noexcept {
        if (left_ < n) {
            source_->retain(kBatch);
            left_ += kBatch;
        }
        left_ -= n;
    }

  private:
    static constexpr uint64_t kBatch = 4096;

    SharedSource* source_;
    uint64_t left_ = 0;  // references taken and not yet handed out
};

}  // namespace plovane
