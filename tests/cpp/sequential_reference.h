// The sequential strategy written plainly, one byte search at a time, as
// the index is defined: the result that the production builder, which
// settles start tags from bitmaps, must reproduce exactly.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "index/structural_index.h"

namespace plovane::reference {

inline bool space(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

class SequentialReference {
  public:
    SequentialReference(const char* in, uint64_t len) : in_(in), len_(len) {
        index_.input = in;
        index_.len = len;
    }

    IndexBuild run() {
        for (uint64_t pos = 0; pos < len_;) {
            const uint64_t p = find(pos, '<');
            if (p == len_) break;
            text_before(p);
            if (p + 1 >= len_) return unclosed(p);
            const char c = in_[p + 1];
            uint64_t end;
            if (c == '!' && at(p + 2, "--")) {
                end = comment(p);
            } else if (c == '!' && at(p + 2, "[CDATA[")) {
                end = cdata(p);
            } else if (c == '!') {
                const uint64_t q = find(p, '>');
                uint64_t stop = q == len_ ? p : q;
                if (q != len_ && at(p, "<!DOCTYPE") && (stop = doctype(p, q)) == len_)
                    return abnormal();
                previous_end_ = stop;
                pos = stop + 1;
                continue;
            } else if (c == '/') {
                uint64_t e = p + 2;
                while (e < len_ && !space(in_[e]) && in_[e] != '>') ++e;
                const uint64_t q = find(e, '>');
                if (q == len_) return unclosed(p);
                end = record(p, q, TagKind::Close, p + 2, e - p - 2);
            } else if (c == '?') {
                uint64_t e = p + 2;
                while (e < len_ && !space(in_[e]) && in_[e] != '>' && in_[e] != '?') ++e;
                uint64_t stop = e;
                if (e + 1 < len_) {
                    uint64_t j = e;
                    while (!(in_[j] == '?' && in_[j + 1] == '>') && j + 2 < len_) ++j;
                    stop = j + 1;
                }
                end = record(p, stop, TagKind::ProcessingInstruction, p + 2, e - p - 2);
            } else {
                uint64_t e = p + 1;
                while (e < len_ && !space(in_[e]) && in_[e] != '/' && in_[e] != '>') ++e;
                if (e == len_) return unclosed(p);
                uint64_t i = e;
                TagKind kind;
                for (;;) {
                    if (i >= len_) return unclosed(p);
                    const char b = in_[i];
                    if (b == '"' || b == '\'') {
                        const uint64_t k = find(i + 1, b);
                        i = k == len_ ? i + 2 : k + 1;
                    } else if (b == '/' && i + 1 < len_ && in_[i + 1] == '>') {
                        kind = TagKind::SelfClosing;
                        ++i;
                        break;
                    } else if (b == '>') {
                        kind = TagKind::Open;
                        break;
                    } else {
                        ++i;
                    }
                }
                end = record(p, i, kind, p + 1, e - p - 1);
            }
            if (end >= len_) return abnormal();
            pos = end + 1;
        }
        return std::move(index_);
    }

  private:
    uint64_t find(uint64_t from, char byte) const {
        while (from < len_ && in_[from] != byte) ++from;
        return from;
    }
    bool at(uint64_t i, const char* literal) const {
        const uint64_t n = std::strlen(literal);
        return i + n <= len_ && std::memcmp(in_ + i, literal, n) == 0;
    }
    static IndexBuild unclosed(uint64_t p) {
        return unexpected(IndexError{IndexError::Kind::UnclosedTag, p});
    }
    IndexBuild abnormal() const {
        return unexpected(IndexError{IndexError::Kind::AbnormalEnd, len_});
    }
    void text_before(uint64_t p) {
        const uint64_t start = previous_end_ == 0 ? 0 : previous_end_ + 1;
        if (start < p) index_.text_ranges.push_back({start, p});
    }
    uint64_t record(uint64_t start, uint64_t end, TagKind kind, uint64_t name = 0,
                    uint64_t name_len = 0) {
        index_.tag_starts.push_back(start);
        index_.tag_ends.push_back(end);
        index_.tag_kinds.push_back(static_cast<uint8_t>(kind));
        index_.tag_names.push_back(NameSpan::of(name, name_len));
        previous_end_ = end;
        return end;
    }
    uint64_t comment(uint64_t p) {
        for (uint64_t k = find(p + 4, '-'); k < len_; k = find(k + 1, '-')) {
            if (k + 2 < len_ && in_[k + 1] == '-' && in_[k + 2] == '>')
                return record(p, k + 2, TagKind::Comment);
        }
        return record(p, len_, TagKind::Comment);
    }
    // The '>' ending the document type declaration at `p`, whose first '>'
    // is `q`; len_ when the input ends first. With a '[' before `q`, the
    // literals of the external identifier are passed over, and a '[' outside
    // them opens the internal subset; a '>' outside them first means there
    // is none, and `q` ends the declaration.
    uint64_t doctype(uint64_t p, uint64_t q) const {
        uint64_t i = p + 9;
        while (i < q && in_[i] != '[') ++i;
        if (i == q) return q;
        for (i = p + 9; i < len_; ++i) {
            const char b = in_[i];
            if (b == '>') return q;
            if (b == '[') return subset(i + 1);
            if (b == '"' || b == '\'') i = find(i + 1, b);
        }
        return len_;
    }
    // The first '>' after the ']' closing the subset that starts at `i`;
    // literals, comments and processing instructions are passed over whole.
    uint64_t subset(uint64_t i) const {
        for (; i < len_; ++i) {
            const char b = in_[i];
            if (b == ']') return find(i + 1, '>');
            if (b == '"' || b == '\'') {
                i = find(i + 1, b);
            } else if (at(i, "<!--")) {
                i += 4;
                while (i < len_ && !at(i, "-->")) ++i;
                i += 2;
            } else if (at(i, "<?")) {
                i += 2;
                while (i < len_ && !at(i, "?>")) ++i;
                i += 1;
            }
        }
        return len_;
    }
    // Ends after "]]>", or where the last search for ']' started.
    uint64_t cdata(uint64_t p) {
        uint64_t i = p + 9;
        for (uint64_t k; i < len_ && (k = find(i, ']')) < len_; i = k + 1) {
            if (k + 2 < len_ && in_[k + 1] == ']' && in_[k + 2] == '>') {
                if (k > p + 9) index_.text_ranges.push_back({p + 9, k});
                return record(p, k + 2, TagKind::CData);
            }
        }
        return record(p, i, TagKind::CData);
    }

    const char* in_;
    uint64_t len_;
    StructuralIndex index_;
    uint64_t previous_end_ = 0;
};

inline IndexBuild build_sequential_reference(const char* input, uint64_t len) {
    return SequentialReference(input, len).run();
}

}  // namespace plovane::reference
