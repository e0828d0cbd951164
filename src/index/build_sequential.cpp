// The sequential strategy: finds each construct with byte searches. Start
// tags are settled from bitmaps of '<', '>' and quotes made ahead of the
// scan (MarkWindow), all their quoted values in a few word operations;
// everything else is found with memchr, and names are walked byte by byte.
// The index is made whole, or a batch of records at a time for a reader
// that is done with each batch before it asks for the next.
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "index/construct_scan.h"
#include "index/index_writer.h"
#include "index/mark_window.h"
#include "index/structural_index.h"
#include "simd/classify_kernels.h"
#include "simd/find_byte.h"

namespace plovane {
namespace {

using namespace index_detail;

class SequentialBuilder {
  public:
    SequentialBuilder(const char* input, uint64_t len, uint64_t batch = UINT64_MAX)
        : in_(input),
          len_(len),
          marks_(input, len, selected_kernel().mark),
          out_(input, len, batch) {}

    IndexBuild run() {
        if (auto error = scan(UINT64_MAX)) return unexpected(*error);
        return out_.complete();
    }

    // Scans constructs until the index holds `limit` records, or the input
    // ends (ended() is then true), or up to an error, which ends the build:
    // there is no scanning on after one. A declaration makes no record, so
    // a run of them with text between would fill one batch with the text
    // ranges of the whole input: after a declaration, `limit` text ranges
    // end the batch too.
    std::optional<IndexError> scan(uint64_t limit) {
        uint64_t pos = pos_;
        while (pos < len_ && out_.record_count() < limit) {
            const uint64_t p = marks_.next_lt(pos);
            if (p == kNotFound) break;
            out_.text_before(p);
            if (p + 1 >= len_) return unclosed_tag(p);
            uint64_t end = 0;
            const char c = in_[p + 1];
            if (c == '!' && has_at(in_, len_, p + 2, "--")) {
                end = comment(p);
            } else if (c == '!' && has_at(in_, len_, p + 2, "[CDATA[")) {
                end = cdata(p);
            } else if (c == '!') {
                const uint64_t after = declaration(p);
                if (after == kNotFound) return abnormal_end();
                pos = after;
                if (out_.text_count() >= limit) break;
                continue;
            } else if (c == '/') {
                if (!end_tag(p, end)) return unclosed_tag(p);
            } else if (c == '?') {
                end = processing_instruction(p);
            } else if (!start_tag(p, end)) {
                return unclosed_tag(p);
            }
            // A record reaching the end of the input is neither an index nor
            // an error: the document ends inside it.
            if (end >= len_) return abnormal_end();
            pos = end + 1;
        }
        pos_ = pos;
        if (out_.record_count() < limit && out_.text_count() < limit) pos_ = len_;
        return std::nullopt;
    }

    bool ended() const noexcept { return pos_ >= len_; }
    IndexWriter& out() noexcept { return out_; }

  private:
    IndexError abnormal_end() const { return IndexError{IndexError::Kind::AbnormalEnd, len_}; }

    uint64_t comment(uint64_t p) {
        const uint64_t k = find_terminator(in_, p + 4, len_, '-', '>');
        const uint64_t end = k == kNotFound ? len_ : k + 2;
        out_.record(p, end, TagKind::Comment);
        return end;
    }

    // An unterminated section ends where the search for "]]>" last started:
    // just past the last ']' of the content, or at the content's start.
    uint64_t cdata(uint64_t p) {
        const uint64_t content = p + 9;
        const uint64_t k = cdata_end_(in_, content, len_);
        uint64_t end = content;
        if (k != kNotFound) {
            end = k + 2;
            if (k > content) out_.text(content, k);
        } else if (content < len_) {
            const uint64_t last = last_bracket();
            if (last != kNotFound && last >= content) end = last + 1;
        }
        out_.record(p, end, TagKind::CData);
        return end;
    }

    // The input's last ']', found once.
    uint64_t last_bracket() {
        if (!last_bracket_known_) {
            const size_t last = std::string_view(in_, len_).rfind(']');
            last_bracket_ = last == std::string_view::npos ? kNotFound : last;
            last_bracket_known_ = true;
        }
        return last_bracket_;
    }

    // No record; the following character data starts after the first '>',
    // or for a document type with an internal subset after the '>' that
    // follows it. kNotFound when the input ends inside that subset.
    uint64_t declaration(uint64_t p) {
        const uint64_t q = next_gt_(in_, p, len_);
        uint64_t end = p;
        if (q != kNotFound) {
            end = is_doctype(in_, len_, p) ? doctype_end(in_, len_, p, q) : q;
            if (end == kNotFound) return kNotFound;
        }
        out_.set_previous_end(end);
        return end + 1;
    }

    bool end_tag(uint64_t p, uint64_t& end) {
        if (p + 2 >= len_) return false;
        const uint64_t e = scan_to(in_, p + 2, len_, kEndNameEnd);
        if (e == len_) return false;
        const uint64_t q = find_byte(in_, e, len_, '>');
        if (q == kNotFound) return false;
        out_.record(p, q, TagKind::Close, p + 2, e - p - 2);
        end = q;
        return true;
    }

    uint64_t processing_instruction(uint64_t p) {
        const uint64_t e = scan_to(in_, p + 2, len_, kTargetEnd);
        const uint64_t end = processing_instruction_end(in_, len_, e);
        out_.record(p, end, TagKind::ProcessingInstruction, p + 2, e - p - 2);
        return end;
    }

    // Quoted values are skipped whole; an unmatched quote skips two bytes.
    bool start_tag(uint64_t p, uint64_t& end) {
        const uint64_t e = scan_to(in_, p + 1, len_, StartNameEnd::kSet);
        if (e == len_) return false;
        // Usually every quoted value is closed: the tag ends at the first '>'
        // outside them, and a '/' just before it makes it empty-element (the
        // name cannot end in '/'). A tag without attributes ends right after
        // its name.
        const uint64_t q = in_[e] == '>' ? e : marks_.next_unquoted_gt(e);
        if (q != kNotFound) {
            const TagKind kind = in_[q - 1] == '/' ? TagKind::SelfClosing : TagKind::Open;
            out_.record(p, q, kind, p + 1, e - p - 1);
            end = q;
            return true;
        }
        // A value left open: each quote is matched one by one, and one
        // without a partner is stepped over.
        static constexpr ByteSet kAttributeStop = byte_set("\"'/>");
        uint64_t i = e;
        TagKind kind;
        for (;;) {
            i = scan_to(in_, i, len_, kAttributeStop);
            if (i >= len_) return false;
            const char b = in_[i];
            if (b == '"' || b == '\'') {
                const uint64_t k = find_byte(in_, i + 1, len_, static_cast<unsigned char>(b));
                i = k == kNotFound ? i + 2 : k + 1;
            } else if (b == '>') {
                kind = TagKind::Open;
                break;
            } else if (i + 1 < len_ && in_[i + 1] == '>') {
                kind = TagKind::SelfClosing;
                ++i;
                break;
            } else {
                ++i;
            }
        }
        out_.record(p, i, kind, p + 1, e - p - 1);
        end = i;
        return true;
    }

    const char* in_;
    uint64_t len_;
    MarkWindow marks_;
    IndexWriter out_;
    // Searches that unterminated constructs would otherwise repeat to the
    // end of the input, once per construct.
    RememberedSearch<FindTerminator> cdata_end_{FindTerminator{']', '>'}};
    RememberedSearch<FindByte> next_gt_{FindByte{'>'}};
    uint64_t pos_ = 0;  // where the next scan starts
    uint64_t last_bracket_ = kNotFound;
    bool last_bracket_known_ = false;
};

}  // namespace

IndexBuild build_sequential(const char* input, uint64_t len) {
    return SequentialBuilder(input, len).run();
}

struct SequentialBatches::Builder : SequentialBuilder {
    using SequentialBuilder::SequentialBuilder;
};

SequentialBatches::SequentialBatches(const char* input, uint64_t len, uint64_t batch)
    : builder_(std::make_unique<Builder>(input, len, batch)), batch_(batch) {}

SequentialBatches::~SequentialBatches() = default;

Expected<const StructuralIndex*, IndexError> SequentialBatches::next() {
    builder_->out().clear();
    if (!builder_->ended()) {
        if (auto error = builder_->scan(batch_)) return unexpected(*error);
    }
    return &builder_->out().index();
}

}  // namespace plovane
