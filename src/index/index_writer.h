// Appends records and character-data ranges to an index under construction,
// so that both strategies lay them out the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "index/structural_index.h"
#include "platform/page_hints.h"

namespace plovane::index_detail {

// Doubles a full vector (to at least `minimum` elements) before appending,
// so growth stays geometric whatever the initial capacity was.
template <class T>
inline void append(std::vector<T>& v, const T& value, size_t minimum = 4) {
    grow_fresh(v, 1, minimum);
    v.push_back(value);
}

// The '<' count of the first 4096 bytes projected over the whole input, with
// a quarter to spare, and at most one per 32 bytes.
inline uint64_t projected_constructs(const char* input, uint64_t len) {
    const uint64_t sample = std::min<uint64_t>(len, 4096);
    if (sample == 0) return 0;
    const auto lt = static_cast<uint64_t>(std::count(input, input + sample, '<'));
    return std::min(len / sample * lt / 4 * 5, len / 32);
}

class IndexWriter {
  public:
    // Room for one record per 128 bytes and one text range per 256 bytes, or
    // for as many as the start of the document projects when that is more,
    // but no more than a batch of `batch` records needs: growing a vector
    // copies it into memory never touched before, which can cost more than
    // the whole build.
    IndexWriter(const char* input, uint64_t len, uint64_t batch = UINT64_MAX) {
        index_.input = input;
        index_.len = len;
        const uint64_t projected = projected_constructs(input, len);
        const uint64_t records = std::min(std::max(len / 128, projected), batch);
        reserve_fresh(index_.tag_starts, records);
        reserve_fresh(index_.tag_ends, records);
        reserve_fresh(index_.tag_kinds, records);
        reserve_fresh(index_.tag_names, records);
        reserve_fresh(index_.text_ranges, std::min(std::max(len / 256, projected), batch));
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
        append(index_.tag_names, NameSpan::of(name_start, name_len));
        previous_end_ = end;
    }

    IndexBuild complete() { return std::move(index_); }
    uint64_t record_count() const noexcept { return index_.record_count(); }
    uint64_t text_count() const noexcept { return index_.text_ranges.size(); }
    const StructuralIndex& index() const noexcept { return index_; }
    // Empties the index for the next batch, keeping its memory.
    void clear() noexcept {
        index_.tag_starts.clear();
        index_.tag_ends.clear();
        index_.tag_kinds.clear();
        index_.tag_names.clear();
        index_.text_ranges.clear();
    }

  private:
    StructuralIndex index_;
    uint64_t previous_end_ = 0;
};

// The construct opened by the '<' at `position` cannot be finished.
inline IndexError unclosed_tag(uint64_t position) {
    return IndexError{IndexError::Kind::UnclosedTag, position};
}

}  // namespace plovane::index_detail
