// Byte scans inside one construct, shared by both strategies.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "simd/byte_scan.h"
#include "simd/find_byte.h"

namespace plovane::index_detail {

using ByteSet = std::array<bool, 256>;

constexpr ByteSet byte_set(const char* members) {
    ByteSet set{};
    for (const char* m = members; *m != '\0'; ++m) set[static_cast<unsigned char>(*m)] = true;
    return set;
}

// A few bytes, listed once: as a table for scan_to, and as a vector search
// of the first of them in [from, to), or `to`. The bitmap walk finds names
// with the vector: it knows where every tag is, so a name's cost was its
// branch per byte, mispredicted at each name's end; a vector's hit mask has
// none (svg and iso-codes read 3-4% faster). The byte searches keep scan_to:
// there each tag waits for the one before, and the vector made them 2-5%
// slower.
template <char... Bytes>
struct ByteList {
    static constexpr ByteSet kSet = [] {
        ByteSet set{};
        ((set[static_cast<unsigned char>(Bytes)] = true), ...);
        return set;
    }();
    static uint64_t find(const char* input, uint64_t from, uint64_t to) noexcept {
        return from + find_first_of<Bytes...>(input + from, to - from);
    }
};

// Where a name ends, by construct.
using StartNameEnd = ByteList<'\t', '\n', '\f', '\r', ' ', '/', '>'>;
inline constexpr ByteSet kEndNameEnd = byte_set("\t\n\f\r >");
inline constexpr ByteSet kTargetEnd = byte_set("\t\n\f\r >?");
// Where an end tag's name ends when its '>' is known.
using NameSpaceEnd = ByteList<'\t', '\n', '\f', '\r', ' '>;

// First position in [from, to) holding a byte of `set`, or `to`.
inline uint64_t scan_to(const char* input, uint64_t from, uint64_t to, const ByteSet& set) {
    while (from < to && !set[static_cast<unsigned char>(input[from])]) ++from;
    return from;
}

inline bool has_at(const char* input, uint64_t len, uint64_t at, const char* literal) {
    const size_t n = std::strlen(literal);
    return at + n <= len && std::memcmp(input + at, literal, n) == 0;
}

// First i in [from, len - 3] with input[i..i+3) equal to the terminator
// `a a b` ("-->" or "]]>"), or kNotFound.
inline uint64_t find_terminator(const char* input, uint64_t from, uint64_t len, char a, char b) {
    if (len < 3) return kNotFound;
    while (from + 2 < len) {
        const uint64_t k = find_byte(input, from, len - 2, static_cast<unsigned char>(a));
        if (k == kNotFound) return kNotFound;
        if (input[k + 1] == a && input[k + 2] == b) return k;
        from = k + 1;
    }
    return kNotFound;
}

// End of a processing instruction whose target ends at `e`: the '>' of the
// first "?>" from `e` on, else the last byte; `e` itself when nothing follows.
inline uint64_t processing_instruction_end(const char* input, uint64_t len, uint64_t e) {
    if (e + 1 >= len) return e;
    for (uint64_t j = e;;) {
        const uint64_t k = find_byte(input, j, len - 1, '?');
        if (k == kNotFound) return len - 1;
        if (input[k + 1] == '>') return k + 1;
        j = k + 1;
    }
}

// First i in [from, len - 1) with input[i] == a and input[i + 1] == b, or
// kNotFound.
inline uint64_t find_pair(const char* input, uint64_t from, uint64_t len, char a, char b) {
    while (from + 1 < len) {
        const uint64_t k = find_byte(input, from, len - 1, static_cast<unsigned char>(a));
        if (k == kNotFound) return kNotFound;
        if (input[k + 1] == b) return k;
        from = k + 1;
    }
    return kNotFound;
}

// A forward search that remembers where it came up empty: no later search
// from that offset on can succeed, so none is made. A run of unterminated
// constructs, each searching to the end of the input, then costs one pass
// instead of one pass each.
template <class Search>
class RememberedSearch {
  public:
    explicit RememberedSearch(Search search) : search_(search) {}

    uint64_t operator()(const char* input, uint64_t from, uint64_t len) {
        if (from >= absent_from_) return kNotFound;
        const uint64_t k = search_(input, from, len);
        if (k == kNotFound) absent_from_ = from;
        return k;
    }

  private:
    Search search_;
    uint64_t absent_from_ = kNotFound;
};

struct FindByte {
    unsigned char byte;
    uint64_t operator()(const char* input, uint64_t from, uint64_t len) const {
        return find_byte(input, from, len, byte);
    }
};

struct FindTerminator {
    char a;
    char b;
    uint64_t operator()(const char* input, uint64_t from, uint64_t len) const {
        return find_terminator(input, from, len, a, b);
    }
};

inline bool is_doctype(const char* input, uint64_t len, uint64_t p) {
    return has_at(input, len, p, "<!DOCTYPE");
}

// Past the literal whose opening quote is at `i`, or kNotFound when it is
// never closed.
inline uint64_t after_literal(const char* input, uint64_t len, uint64_t i) {
    const uint64_t k = find_byte(input, i + 1, len, static_cast<unsigned char>(input[i]));
    return k == kNotFound ? kNotFound : k + 1;
}

// Past the ']' that closes the internal subset opened just before `i`, or
// kNotFound when the input ends inside it. Literals, comments and
// processing instructions inside are skipped whole: a ']' or '>' in them
// ends nothing.
inline uint64_t after_internal_subset(const char* input, uint64_t len, uint64_t i) {
    static constexpr ByteSet kStop = byte_set("\"'<]");
    while (i != kNotFound) {
        i = scan_to(input, i, len, kStop);
        if (i >= len) return kNotFound;
        const char c = input[i];
        if (c == ']') return i + 1;
        if (c == '"' || c == '\'') {
            i = after_literal(input, len, i);
        } else if (has_at(input, len, i, "<!--")) {
            const uint64_t k = find_terminator(input, i + 4, len, '-', '>');
            i = k == kNotFound ? kNotFound : k + 3;
        } else if (has_at(input, len, i, "<?")) {
            const uint64_t k = find_pair(input, i + 2, len, '?', '>');
            i = k == kNotFound ? kNotFound : k + 2;
        } else {
            ++i;
        }
    }
    return kNotFound;
}

// The '>' ending the document type declaration at `p`, whose first '>' as
// the strategy sees it is `q`. Without a '[' before `q` that is `q`.
// Otherwise the declaration may have an internal subset, found past the
// literals of the external identifier: it ends at the first '>' after the
// ']' closing that subset. A '>' outside the literals before any '[' there
// means there is no subset (the '[' was in a literal), and the declaration
// ends at `q` as any other does. kNotFound when the input ends first.
inline uint64_t doctype_end(const char* input, uint64_t len, uint64_t p, uint64_t q) {
    if (find_byte(input, p + 9, q, '[') == kNotFound) return q;
    static constexpr ByteSet kStop = byte_set("\"'[>");
    for (uint64_t i = p + 9; i != kNotFound;) {
        i = scan_to(input, i, len, kStop);
        if (i >= len) return kNotFound;
        if (input[i] == '>') return q;
        if (input[i] == '[') {
            const uint64_t close = after_internal_subset(input, len, i + 1);
            return close == kNotFound ? kNotFound : find_byte(input, close, len, '>');
        }
        i = after_literal(input, len, i);
    }
    return kNotFound;
}

}  // namespace plovane::index_detail
