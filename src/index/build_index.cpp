// Chooses the strategy for a document from a sample of its first bytes.
#include <algorithm>

#include "index/structural_index.h"
#include "simd/classify.h"
#include "simd/find_byte.h"

namespace plovane {
namespace {

constexpr uint64_t kSampleBytes = 4096;

bool has_lt(const char* input, uint64_t from, uint64_t to) {
    return find_byte(input, from, to, '<') != kNotFound;
}

// A quote in character data, a comment or a processing instruction masks
// every following '<' up to the next quote of its kind, so the bitmap walk
// never sees that markup. Every '<' the walk does see starts a construct, so
// a '<' left inside character data is markup it missed. Character-data
// ranges end at the '<' that follows them, CDATA content at its "]]>"; the
// data after the last construct is not recorded and is checked here too.
bool missed_markup(const StructuralIndex& index, const StructuralBitmaps& bitmaps) {
    for (const TextRange& r : index.text_ranges) {
        if (index.input[r.end] == '<' && has_lt(index.input, r.start, r.end)) return true;
    }
    const uint64_t n = index.record_count();
    const uint64_t tail = n == 0 ? 0 : index.tag_ends[n - 1] + 1;
    uint64_t end = index.len;
    // A final unquoted '<' is dropped by the walk without a record.
    if (end > 0 && (bitmaps.lt_bits.back() >> ((end - 1) % 64) & 1)) --end;
    return has_lt(index.input, tail, end);
}

}  // namespace

// More than five double quotes per '<' means attribute values dominate: the
// classifier then pays for itself by skipping them in vector steps.
bool prefers_bitmaps(const char* input, uint64_t len) {
    const char* end = input + std::min(len, kSampleBytes);
    const auto lt = std::count(input, end, '<');
    const auto dq = std::count(input, end, '"');
    return static_cast<double>(dq) / static_cast<double>(std::max<decltype(lt)>(lt, 1)) > 5.0;
}

IndexBuild build_from_bitmaps_checked(const char* input, uint64_t len, IndexPath& path) {
    const StructuralBitmaps bitmaps = classify_structural(input, len);
    // Ending inside a quote means everything after the opening quote was
    // masked; no need to walk the bitmaps to find that out.
    if (!bitmaps.ends_in_quote) {
        IndexBuild build = build_from_bitmaps(input, len, bitmaps);
        if (build && !missed_markup(build.value(), bitmaps)) {
            path = IndexPath::Bitmaps;
            return build;
        }
    }
    path = IndexPath::BitmapsRejected;
    return build_sequential(input, len);
}

IndexBuild build_index(const char* input, uint64_t len, IndexPath& path) {
    if (prefers_bitmaps(input, len)) return build_from_bitmaps_checked(input, len, path);
    path = IndexPath::Sequential;
    return build_sequential(input, len);
}

IndexBuild build_index(const char* input, uint64_t len) {
    IndexPath path;
    return build_index(input, len, path);
}

}  // namespace plovane
