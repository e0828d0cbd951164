// Index contents as plain values, so tests compare whole indexes at once and
// failures print every record.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/structural_index.h"

namespace plovane {

struct Record {
    uint64_t start;
    uint64_t end;
    TagKind kind;
    uint64_t name_start;
    uint16_t name_len;

    bool operator==(const Record&) const = default;
};

using Range = std::pair<uint64_t, uint64_t>;

// How a build ended.
enum class IndexStatus { Complete, Unclosed, AbnormalEnd };

inline IndexStatus status_of(const IndexBuild& build) {
    if (build) return IndexStatus::Complete;
    return build.error().kind == IndexError::Kind::UnclosedTag ? IndexStatus::Unclosed
                                                               : IndexStatus::AbnormalEnd;
}

// The parts of a build that two builds of one document must agree on.
struct BuildSummary {
    IndexStatus status;
    uint64_t error_position;
    std::vector<Record> records;
    std::vector<Range> ranges;

    bool operator==(const BuildSummary&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const BuildSummary& s) {
    os << "status " << int(s.status);
    if (s.status == IndexStatus::Unclosed) os << " at " << s.error_position;
    os << ", records";
    for (const Record& r : s.records)
        os << " {" << r.start << ", " << r.end << ", kind " << int(r.kind) << ", name ("
           << r.name_start << ", " << r.name_len << ")}";
    os << ", ranges";
    for (const Range& r : s.ranges) os << " [" << r.first << ", " << r.second << ")";
    return os;
}

inline BuildSummary summary_of(const IndexBuild& build) {
    BuildSummary s{status_of(build), 0, {}, {}};
    if (s.status == IndexStatus::Unclosed) s.error_position = build.error().position;
    if (!build) return s;
    const StructuralIndex& index = build.value();
    for (uint64_t i = 0; i < index.record_count(); ++i) {
        s.records.push_back({index.tag_starts[i], index.tag_ends[i], index.kind(i),
                             index.tag_names[i].start,
                             static_cast<uint16_t>(index.tag_names[i].len)});
    }
    for (const TextRange& r : index.text_ranges) s.ranges.emplace_back(r.start, r.end);
    return s;
}

inline BuildSummary summary_of(IndexBuild (*build)(const char*, uint64_t), std::string_view doc) {
    return summary_of(build(doc.data(), doc.size()));
}

// The byte-search index taken `batch` records (or text ranges) at a time and put back
// together: the same as build_sequential's, error included.
inline IndexBuild build_in_batches(const char* input, uint64_t len, uint64_t batch) {
    SequentialBatches batches(input, len, batch);
    StructuralIndex whole;
    whole.input = input;
    whole.len = len;
    for (;;) {
        auto next = batches.next();
        if (!next) return unexpected(next.error());
        const StructuralIndex& part = *next.value();
        const auto add = [](auto& to, const auto& from) {
            to.insert(to.end(), from.begin(), from.end());
        };
        add(whole.tag_starts, part.tag_starts);
        add(whole.tag_ends, part.tag_ends);
        add(whole.tag_kinds, part.tag_kinds);
        add(whole.tag_names, part.tag_names);
        // A batch may hold character data without a record after it.
        add(whole.text_ranges, part.text_ranges);
        if (part.record_count() == 0 && part.text_ranges.empty()) return whole;
    }
}

// Each strategy's summary of `doc`, and the summaries tests expect.
inline BuildSummary seq(std::string_view doc) {
    return summary_of(build_sequential, doc);
}
inline BuildSummary batched(std::string_view doc, uint64_t batch) {
    return summary_of(build_in_batches(doc.data(), doc.size(), batch));
}
inline BuildSummary bits(std::string_view doc) {
    return summary_of(build_from_bitmaps(doc.data(), doc.size()));
}
inline BuildSummary complete(std::vector<Record> records, std::vector<Range> ranges = {}) {
    return {IndexStatus::Complete, 0, std::move(records), std::move(ranges)};
}
inline BuildSummary unclosed(uint64_t at) {
    return {IndexStatus::Unclosed, at, {}, {}};
}

// Document type declarations with an internal subset, each ending exactly
// where "<x/>" follows: literals, comments and processing instructions in
// the subset hold the '>', ']', '<' and quotes that must end nothing.
inline const std::vector<std::string> kInternalSubsets = {
    R"(<!DOCTYPE x [<!ENTITY f "a>b<r>fake</r>">]>)",
    R"(<!DOCTYPE x [<!ENTITY f 'a]>b'>]>)",
    R"(<!DOCTYPE x [<!ENTITY f "it's">]>)",
    R"(<!DOCTYPE x [<!-- ]> <r/> -->]>)",
    R"(<!DOCTYPE x [<?p ]> <r/> ?>]>)",
    R"(<!DOCTYPE x [<!ATTLIST x a CDATA "<!--">]>)",
    R"(<!DOCTYPE x [<!ELEMENT x ANY><!ELEMENT y (#PCDATA)>] >)",
    R"(<!DOCTYPE x PUBLIC "-//[x" "y>z" [<!ELEMENT x ANY>]>)",
    R"(<!DOCTYPE x SYSTEM "a[b.dtd">)",
    R"(<!DOCTYPE x []>)",
};

// Internal subsets the input ends inside: after a '>' that the declaration
// would have ended at without its subset.
inline const std::vector<std::string> kUnterminatedSubsets = {
    R"(<!DOCTYPE x [<!ELEMENT x ANY><x/>)",
    R"(<!DOCTYPE x [<!ENTITY a "]><x/>)",
    R"(<!DOCTYPE x [<!-- ]> --><x/>)",
    R"(<!DOCTYPE x [<? ]> ?><x/>)",
    R"(<!DOCTYPE x [>]<x)",
    R"(<!DOCTYPE x "[><x/>)",
};

}  // namespace plovane
