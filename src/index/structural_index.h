// The one-pass index of a document's markup: every construct's start, end,
// kind and name, and the character-data ranges between constructs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/expected.h"

namespace plovane {

enum class TagKind : uint8_t {
    Open = 0,
    Close = 1,
    SelfClosing = 2,
    Comment = 3,
    CData = 4,
    ProcessingInstruction = 5,
};

// Eight bytes: one word per record keeps the index's working set small.
// Offsets need far fewer than 48 bits.
struct NameSpan {
    uint64_t start : 48 = 0;
    uint64_t len : 16 = 0;  // low 16 bits of the name's length

    static NameSpan of(uint64_t start, uint64_t len) noexcept {
        NameSpan span;
        span.start = start & kStartMask;
        span.len = len & 0xFFFF;
        return span;
    }
    static constexpr uint64_t kStartMask = (uint64_t{1} << 48) - 1;
};
static_assert(sizeof(NameSpan) == 8);

struct TextRange {
    uint64_t start = 0;
    uint64_t end = 0;  // exclusive
};

struct StructuralIndex {
    const char* input = nullptr;  // borrowed; the index must not outlive it
    uint64_t len = 0;
    std::vector<uint64_t> tag_starts;
    std::vector<uint64_t> tag_ends;
    std::vector<uint8_t> tag_kinds;
    std::vector<NameSpan> tag_names;
    std::vector<TextRange> text_ranges;

    uint64_t record_count() const noexcept { return tag_starts.size(); }
    TagKind kind(uint64_t i) const { return static_cast<TagKind>(tag_kinds.at(i)); }
    std::string_view tag_name(uint64_t i) const {
        const NameSpan& n = tag_names.at(i);
        return {input + n.start, n.len};
    }
    std::string_view range_text(uint64_t i) const {
        const TextRange& r = text_ranges.at(i);
        return {input + r.start, static_cast<size_t>(r.end - r.start)};
    }
};

// Why no index was built. `UnclosedTag`: the construct opened by the '<' at
// `position` cannot be finished. `AbnormalEnd` (sequential strategy only): a
// record reached the end of the input, which the reader reports as the
// document ending unexpectedly.
struct IndexError {
    enum class Kind : uint8_t { UnclosedTag, AbnormalEnd };
    Kind kind = Kind::UnclosedTag;
    uint64_t position = 0;
    std::string message() const;  // "Unclosed tag at byte N"
};

using IndexBuild = Expected<StructuralIndex, IndexError>;

struct StructuralBitmaps;

// Byte-search strategy.
IndexBuild build_sequential(const char* input, uint64_t len);
// The byte-search strategy a batch of records at a time, for a reader that
// is done with each batch before it asks for the next: the index then takes
// the memory of one batch, which stays in the cache, instead of growing with
// the document.
class SequentialBatches {
  public:
    SequentialBatches(const char* input, uint64_t len, uint64_t batch);
    ~SequentialBatches();
    // The next at most `batch` records, numbered from 0, with the text ranges
    // before them; no record once the input is done (the last batch may
    // still hold ranges after the last record, which belong to no record).
    // An error ends the index: next() is not called again after one.
    Expected<const StructuralIndex*, IndexError> next();

  private:
    struct Builder;
    std::unique_ptr<Builder> builder_;
    uint64_t batch_;
};

// Bitmap strategy, over the classifier's bitmaps.
IndexBuild build_from_bitmaps(const char* input, uint64_t len);
// The same over bitmaps already computed for this input.
IndexBuild build_from_bitmaps(const char* input, uint64_t len, const StructuralBitmaps& bitmaps);
// Picks a strategy from the first 4096 bytes and builds the index.
IndexBuild build_index(const char* input, uint64_t len);

// Which way build_index went. `BitmapsRejected`: the sample chose bitmaps,
// but quotes outside tags may have hidden markup from them, so the index
// was built by byte searches instead.
enum class IndexPath : uint8_t { Sequential, Bitmaps, BitmapsRejected };
IndexBuild build_index(const char* input, uint64_t len, IndexPath& path);
// build_index's choice: whether the first 4096 bytes send the input to the
// bitmap strategy.
bool prefers_bitmaps(const char* input, uint64_t len);
// build_index's way for such an input: the bitmap strategy's index, unless
// quotes outside tags may have hidden markup from it; then the byte searches,
// which skip quotes only inside start tags, build the index instead.
IndexBuild build_from_bitmaps_checked(const char* input, uint64_t len, IndexPath& path);

}  // namespace plovane
