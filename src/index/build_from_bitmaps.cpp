// The bitmap strategy: the classifier marks every unquoted '<' and '>' once,
// then the walk visits '<' positions by bit scans and finds each construct's
// '>' by advancing a cursor, reading bytes again only for names and for the
// terminators of comments, CDATA sections and processing instructions.
#include "index/construct_scan.h"
#include "index/index_writer.h"
#include "index/structural_index.h"
#include "simd/bit_ops.h"
#include "simd/classify.h"

namespace plovane {
namespace {

using namespace index_detail;

// The unquoted '>' offsets in ascending order, produced lazily from the
// bitmap; the cursor only moves forward.
class CloseCursor {
  public:
    explicit CloseCursor(const std::vector<uint64_t>& gt_bits)
        : words_(gt_bits.data()), count_(gt_bits.size()), bits_(count_ ? words_[0] : 0) {}

    // The first offset after `p` (p < len), or kNotFound.
    uint64_t first_after(uint64_t p) {
        const uint64_t word = p / 64;
        if (word > index_) {
            index_ = word;
            bits_ = words_[index_];
        }
        if (word == index_) bits_ &= ~bits_through(p % 64);
        while (bits_ == 0) {
            if (index_ + 1 >= count_) return kNotFound;
            bits_ = words_[++index_];
        }
        return index_ * 64 + lowest_bit(bits_);
    }

  private:
    const uint64_t* words_;
    uint64_t count_;
    uint64_t index_ = 0;
    uint64_t bits_;
};

class BitmapBuilder {
  public:
    BitmapBuilder(const char* input, uint64_t len, const StructuralBitmaps& bitmaps)
        : in_(input), len_(len), lt_(bitmaps.lt_bits), closes_(bitmaps.gt_bits), out_(input, len) {}

    IndexBuild run() {
        const uint64_t words = lt_.size();
        uint64_t k = 0;
        uint64_t bits = words ? lt_[0] : 0;
        for (;;) {
            while (bits == 0) {
                if (++k >= words) return out_.complete();
                bits = lt_[k];
            }
            const uint64_t p = k * 64 + lowest_bit(bits);
            bits &= bits - 1;
            // A '<' inside the construct just handled (a comment, say).
            if (out_.previous_end() != 0 && p <= out_.previous_end()) continue;
            out_.text_before(p);
            if (p + 1 >= len_) return out_.complete();
            const uint64_t q = closes_.first_after(p);
            if (q == kNotFound) return unexpected(unclosed_tag(p));
            out_.set_previous_end(q);
            if (!construct(p, q)) return unexpected(unclosed_tag(p));
            // Skip whole words of '<' that lie inside a long construct.
            const uint64_t end = out_.previous_end();
            if (end / 64 > k) {
                k = end / 64;
                bits = lt_[k] & ~bits_through(end % 64);
            }
        }
    }

  private:
    // False when the input ends inside the construct's internal subset.
    bool construct(uint64_t p, uint64_t q) {
        const char c = in_[p + 1];
        if (c == '!' && has_at(in_, len_, p + 2, "--")) {
            comment(p);
        } else if (c == '!' && has_at(in_, len_, p + 2, "[CDATA[")) {
            cdata(p);
        } else if (c == '!') {
            // A declaration: no record; it ends at q, or a document type
            // with an internal subset after it.
            if (is_doctype(in_, len_, p)) {
                const uint64_t end = doctype_end(in_, len_, p, q);
                if (end == kNotFound) return false;
                out_.set_previous_end(end);
            }
        } else if (c == '/') {
            const uint64_t e = NameSpaceEnd::find(in_, p + 2, q);
            out_.record(p, q, TagKind::Close, p + 2, e - p - 2);
        } else if (c == '?') {
            const uint64_t e = scan_to(in_, p + 2, len_, kTargetEnd);
            out_.record(p, processing_instruction_end(in_, len_, e), TagKind::ProcessingInstruction,
                        p + 2, e - p - 2);
        } else {
            const uint64_t e = StartNameEnd::find(in_, p + 1, q);
            const TagKind kind = in_[q - 1] == '/' ? TagKind::SelfClosing : TagKind::Open;
            out_.record(p, q, kind, p + 1, e - p - 1);
        }
        return true;
    }

    // Unterminated: ends two bytes before the input does.
    void comment(uint64_t p) {
        uint64_t end = p + 4;
        if (p + 6 < len_) {
            const uint64_t i = find_terminator(in_, p + 4, len_, '-', '>');
            end = i == kNotFound ? len_ - 2 : i + 2;
        }
        out_.record(p, end, TagKind::Comment);
    }

    void cdata(uint64_t p) {
        const uint64_t content = p + 9;
        uint64_t end = content;
        if (p + 11 < len_) {
            const uint64_t i = find_terminator(in_, content, len_, ']', '>');
            end = i == kNotFound ? len_ - 2 : i + 2;
            if (i != kNotFound && i > content) out_.text(content, i);
        }
        out_.record(p, end, TagKind::CData);
    }

    const char* in_;
    uint64_t len_;
    const std::vector<uint64_t>& lt_;
    CloseCursor closes_;
    IndexWriter out_;
};

}  // namespace

IndexBuild build_from_bitmaps(const char* input, uint64_t len, const StructuralBitmaps& bitmaps) {
    return BitmapBuilder(input, len, bitmaps).run();
}

IndexBuild build_from_bitmaps(const char* input, uint64_t len) {
    return build_from_bitmaps(input, len, classify_structural(input, len));
}

}  // namespace plovane
