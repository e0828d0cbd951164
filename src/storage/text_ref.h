// A string held by a node or record: Owned text, a Span of a SharedSource,
// or absent (an element without text). Compares by its text.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "storage/shared_source.h"

namespace plovane {

class TextRef {
  public:
    // The absent value: no text at all, distinct from the empty string.
    TextRef() noexcept = default;
    TextRef(const TextRef& other);
    TextRef(TextRef&& other) noexcept
        : source_(std::exchange(other.source_, nullptr)),
          data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)) {}
    TextRef& operator=(TextRef other) noexcept {
        swap(other);
        return *this;
    }
    // Absent and moved-from values, which every move leaves behind, are
    // dropped without a call.
    ~TextRef() {
        if (data_) drop();
    }

    // Copies `text` into a buffer of its own.
    static TextRef owned(std::string_view text);
    // Bytes [start, end) of `source`, sharing it (one more reference).
    static TextRef span(const SourceRef& source, uint64_t start, uint64_t end);
    // The same, for a view that lies inside `source`'s text.
    static TextRef span(const SourceRef& source, std::string_view inside) {
        return span(source, static_cast<uint64_t>(inside.data() - source->data()),
                    static_cast<uint64_t>(inside.data() - source->data()) + inside.size());
    }

    // A Span of `inside`, a view of `source`'s text, taking over one
    // reference on `source` that the caller already holds.
    static TextRef adopt_span(SharedSource* source, std::string_view inside) noexcept {
        TextRef ref;
        ref.source_ = source;
        ref.data_ = inside.data();
        ref.size_ = inside.size();
        return ref;
    }

    bool present() const noexcept { return data_ != nullptr; }
    bool is_span() const noexcept { return source_ != nullptr; }
    std::string_view view() const noexcept { return {data_, static_cast<size_t>(size_)}; }
    uint64_t size() const noexcept { return size_; }
    SharedSource* source() const noexcept { return source_; }
    // Offsets into the source; meaningful for spans only.
    uint64_t span_start() const noexcept { return static_cast<uint64_t>(data_ - source_->data()); }
    uint64_t span_end() const noexcept { return span_start() + size_; }

    void swap(TextRef& other) noexcept {
        std::swap(source_, other.source_);
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }
    void reset() noexcept {
        if (data_) drop();
        source_ = nullptr;
        data_ = nullptr;
        size_ = 0;
    }

    friend bool operator==(const TextRef& a, const TextRef& b) noexcept {
        return a.present() == b.present() && a.view() == b.view();
    }
    friend bool operator==(const TextRef& a, std::string_view b) noexcept {
        return a.present() && a.view() == b;
    }

  private:
    friend class TextReleaser;
    friend class AttrMap;

    // Forgets the text without giving up its reference on the source, which
    // the caller has taken over; leaves this absent.
    void abandon() noexcept {
        source_ = nullptr;
        data_ = nullptr;
        size_ = 0;
    }

    // Gives up the source reference or frees the buffer; `data_` is set.
    void drop() noexcept;

    // Span: source_ set, data_ points into its text. Owned: source_ null,
    // data_ is a heap buffer of our own (or a static "" when empty).
    // Absent: both null.
    SharedSource* source_ = nullptr;
    const char* data_ = nullptr;
    uint64_t size_ = 0;
};

// Lets go of many strings at once: the references that a run of Spans of one
// source holds are given up together, in one atomic step instead of one per
// string. Released strings are left absent.
class TextReleaser {
  public:
    TextReleaser() noexcept = default;
    TextReleaser(const TextReleaser&) = delete;
    TextReleaser& operator=(const TextReleaser&) = delete;
    ~TextReleaser() { flush(); }

    void release(TextRef& text) noexcept {
        if (!text.source_) {
            text.reset();
            return;
        }
        if (text.source_ != source_) {
            flush();
            source_ = text.source_;
        }
        ++count_;
        text.abandon();
    }

    // Gives up `n` references on `source` that a holder of views had.
    void release_references(SharedSource* source, uint64_t n) noexcept {
        if (source != source_) {
            flush();
            source_ = source;
        }
        count_ += n;
    }

  private:
    void flush() noexcept {
        if (count_) source_->release(count_);
        count_ = 0;
    }

    SharedSource* source_ = nullptr;
    uint64_t count_ = 0;
};

}  // namespace plovane
