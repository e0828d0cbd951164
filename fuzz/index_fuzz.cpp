// Fuzz target for the structural index: every classifier and byte-marking
// kernel against the scalar one, the invariants of every index built, the
// sequential strategy against its plain byte-search form, and the two
// strategies against each other where they must agree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "index/structural_index.h"
#include "index_records.h"
#include "kernel_inputs.h"
#include "sequential_reference.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"

namespace {

using namespace plovane;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "index_fuzz: %s\n", what);
    std::abort();
}

void check_kernels(const char* input, uint64_t len) {
    static const auto kernels = supported_kernels();
    const StructuralBitmaps reference = classify_with(classify_scalar, input, len);
    for (const KernelInfo& kernel : kernels) {
        const StructuralBitmaps b = classify_with(kernel.run, input, len);
        if (b.lt_bits != reference.lt_bits || b.gt_bits != reference.gt_bits ||
            b.ends_in_quote != reference.ends_in_quote) {
            std::fprintf(stderr, "kernel %s\n", kernel.name);
            fail("a kernel differs from the scalar kernel");
        }
        if (!testing::marks_agree(kernel.mark, std::string(input, len))) {
            std::fprintf(stderr, "kernel %s\n", kernel.name);
            fail("a kernel's byte marks differ from the scalar marks");
        }
    }
}

// What every finished index promises its reader; the accessors' views are
// read in full so that the sanitizer sees any byte outside the input.
void check_invariants(const IndexBuild& build, const char* input, uint64_t len) {
    if (status_of(build) != IndexStatus::Complete) return;
    const StructuralIndex& index = build.value();
    const uint64_t n = index.record_count();
    if (index.input != input || index.len != len) fail("index does not describe its input");
    if (index.tag_ends.size() != n || index.tag_kinds.size() != n || index.tag_names.size() != n) {
        fail("per-record vectors differ in length");
    }
    unsigned sum = 0;
    for (uint64_t i = 0; i < n; ++i) {
        if (i > 0 && index.tag_starts[i] <= index.tag_starts[i - 1]) fail("starts not increasing");
        if (index.tag_ends[i] >= len || index.tag_ends[i] < index.tag_starts[i]) fail("bad end");
        if (input[index.tag_starts[i]] != '<') fail("record does not start at '<'");
        if (index.tag_kinds[i] > 5) fail("bad kind");
        const NameSpan& name = index.tag_names[i];
        if (name.start + name.len > len) fail("name outside the input");
        for (char c : index.tag_name(i)) sum += static_cast<unsigned char>(c);
    }
    for (uint64_t i = 0; i < index.text_ranges.size(); ++i) {
        const TextRange& r = index.text_ranges[i];
        if (r.start >= r.end || r.end > len) fail("bad text range");
        if (i > 0 && r.start <= index.text_ranges[i - 1].start) fail("ranges not ascending");
        for (char c : index.range_text(i)) sum += static_cast<unsigned char>(c);
    }
    if (sum == 0xFFFFFFFFu) std::puts("");  // keeps the reads from being optimised away
}

bool same(const IndexBuild& a, const IndexBuild& b) {
    if (status_of(a) != status_of(b)) return false;
    if (status_of(a) == IndexStatus::Unclosed) return a.error().position == b.error().position;
    if (status_of(a) == IndexStatus::AbnormalEnd) return true;
    const StructuralIndex& x = a.value();
    const StructuralIndex& y = b.value();
    if (x.tag_starts != y.tag_starts || x.tag_ends != y.tag_ends || x.tag_kinds != y.tag_kinds ||
        x.text_ranges.size() != y.text_ranges.size()) {
        return false;
    }
    for (uint64_t i = 0; i < x.record_count(); ++i) {
        if (x.tag_names[i].start != y.tag_names[i].start ||
            x.tag_names[i].len != y.tag_names[i].len) {
            return false;
        }
    }
    for (uint64_t i = 0; i < x.text_ranges.size(); ++i) {
        if (x.text_ranges[i].start != y.text_ranges[i].start ||
            x.text_ranges[i].end != y.text_ranges[i].end) {
            return false;
        }
    }
    return true;
}

// Where the strategies must agree: no quote byte anywhere (so quoting plays
// no part), and none of their listed differences on malformed input: the
// byte searches completed (no '<' as last byte, no unclosed tag, no
// unterminated comment), every '<' has a '>' after it, and every CDATA
// section is terminated (the two strategies end an unterminated one at
// different places).
bool strategies_must_agree(const IndexBuild& sequential, const char* input, uint64_t len) {
    const std::string_view s(input, len);
    if (status_of(sequential) != IndexStatus::Complete) return false;
    if (s.find_first_of("\"'") != std::string_view::npos) return false;
    const size_t last_lt = s.rfind('<');
    if (last_lt != std::string_view::npos) {
        const size_t last_gt = s.rfind('>');
        if (last_gt == std::string_view::npos || last_gt < last_lt) return false;
    }
    const StructuralIndex& index = sequential.value();
    for (uint64_t i = 0; i < index.record_count(); ++i) {
        if (index.kind(i) != TagKind::CData) continue;
        const uint64_t end = index.tag_ends[i];
        if (end < index.tag_starts[i] + 11 || s.substr(end - 2, 3) != "]]>") return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* input = reinterpret_cast<const char*>(data);
    const uint64_t len = size;
    check_kernels(input, len);

    const IndexBuild sequential = build_sequential(input, len);
    const IndexBuild bitmaps = build_from_bitmaps(input, len);
    check_invariants(sequential, input, len);
    check_invariants(bitmaps, input, len);
    if (!same(sequential, reference::build_sequential_reference(input, len))) {
        fail("the sequential strategy differs from its plain byte-search form");
    }
    if (!same(sequential, build_in_batches(input, len, 1 + len % 3))) {
        fail("the sequential strategy differs when taken a batch at a time");
    }
    if (status_of(bitmaps) == IndexStatus::AbnormalEnd)
        fail("the bitmap strategy ended abnormally");
    if (strategies_must_agree(sequential, input, len) && !same(sequential, bitmaps)) {
        fail("strategies differ on a quote-free input they must agree on");
    }

    // build_index hands back one strategy's result unchanged.
    IndexPath path;
    const IndexBuild chosen = build_index(input, len, path);
    if (!same(chosen, path == IndexPath::Bitmaps ? bitmaps : sequential)) {
        fail("build_index differs from the strategy it reports");
    }
    return 0;
}
