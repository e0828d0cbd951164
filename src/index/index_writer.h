// Appends records and character-data ranges to an index under construction,
// so that both strategies lay them out the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "index/structural_index.h"

namespace plovane::index_detail {

// Doubles a full vector (to at least `minimum` elements) before appending,
// so growth stays geometric whatever the initial capacity was.
template <class T>
inline void append(std::vector<T>& v, const T& value, size_t minimum = 4) {
    if (v.size() == v.capacity()) v.reserve(std::max(v.capacity() * 2, minimum));
    v.push_back(value);
}

class IndexWriter {
  public:
    // Sized for one record per 128 bytes and one text range per 256 bytes,
    // typical of documents, so most builds never grow a vector.
    IndexWriter(const char* input, uint64_t len) {
        index_.input = input;
        index_.len = len;
        const uint64_t records = len / 128;
        index_.tag_starts.reserve(records);
        index_.tag_ends.reserve(records);
        index_.tag_kinds.reserve(records);
        index_.tag_names.reserve(records);
        index_.text_ranges.reserve(len / 256);
    }

    // The end of the last construct; 0 before the first one.
    uint64_t previous_end() const { return previous_end_; }
    // A construct without a record (a declaration) still ends somewhere.
    void set_previous_end(uint64_t end) { previous_end_ = end; }

    // Character data between the previous construct and the '<' at `p`.
    void text_before(uint64_t p) {
        const uint64_t start = previous_end_ == 0 ? 0 : previous_end_ + 1;
        if (start < p) text(start, p);
    }
    void text(uint64_t start, uint64_t end) { append(index_.text_ranges, TextRange{start, end}); }

    void record(uint64_t start, uint64_t end, TagKind kind, uint64_t name_start = 0,
                uint64_t name_len = 0) {
        append(index_.tag_starts, start);
        append(index_.tag_ends, end);
        append(index_.tag_kinds, static_cast<uint8_t>(kind), 8);
        append(index_.tag_names, NameSpan{name_start, static_cast<uint16_t>(name_len)});
        previous_end_ = end;
    }

    IndexBuild complete() {
        IndexBuild build;
        build.index = std::move(index_);
        return build;
    }

  private:
    StructuralIndex index_;
    uint64_t previous_end_ = 0;
};

inline IndexBuild unclosed_tag(uint64_t position) {
    IndexBuild build;
    build.status = IndexStatus::Unclosed;
    build.error.position = position;
    return build;
}

}  // namespace plovane::index_detail
