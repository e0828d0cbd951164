#include "read/whitespace.h"

#include "simd/byte_scan.h"

namespace plovane {

namespace {

// The White_Space characters beyond ASCII, in UTF-8: U+0085 and U+00A0 take
// two bytes; U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F and
// U+3000 take three.
bool is_space_pair(unsigned char b0, unsigned char b1) noexcept {
    return b0 == 0xC2 && (b1 == 0x85 || b1 == 0xA0);
}

bool is_space_triple(unsigned char b0, unsigned char b1, unsigned char b2) noexcept {
    switch (b0) {
        case 0xE1:
            return b1 == 0x9A && b2 == 0x80;
        case 0xE2:
            if (b1 == 0x80) return b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
            return b1 == 0x81 && b2 == 0x9F;
        case 0xE3:
            return b1 == 0x80 && b2 == 0x80;
        default:
            return false;
    }
}

unsigned char byte_at(std::string_view text, size_t i) noexcept {
    return static_cast<unsigned char>(text[i]);
}

}  // namespace

size_t leading_space_length(std::string_view t) noexcept {
    const size_t n = t.size();
    if (n == 0) return 0;
    const unsigned char b0 = byte_at(t, 0);
    if (b0 < 0x80) return is_ascii_space(static_cast<char>(b0)) ? 1 : 0;
    if (n >= 2 && is_space_pair(b0, byte_at(t, 1))) return 2;
    if (n >= 3 && is_space_triple(b0, byte_at(t, 1), byte_at(t, 2))) return 3;
    return 0;
}

size_t trailing_space_length(std::string_view t) noexcept {
    const size_t n = t.size();
    if (n == 0) return 0;
    const unsigned char last = byte_at(t, n - 1);
    if (last < 0x80) return is_ascii_space(static_cast<char>(last)) ? 1 : 0;
    // On a character boundary a lead byte followed by the right continuation
    // bytes is a whole character, so matching the tail is enough.
    if (n >= 2 && is_space_pair(byte_at(t, n - 2), last)) return 2;
    if (n >= 3 && is_space_triple(byte_at(t, n - 3), byte_at(t, n - 2), last)) return 3;
    return 0;
}

namespace {

// `text` without its leading White_Space. ASCII space (indentation, most
// of it) is skipped a vector at a time; only a byte of a multi-byte
// character needs the full test.
std::string_view drop_leading_space(std::string_view text) noexcept {
    for (;;) {
        if (!text.empty() && is_ascii_space(text[0])) {
            text.remove_prefix(
                find_first_not_of<' ', '\t', '\n', '\v', '\f', '\r'>(text.data(), text.size()));
        }
        if (text.empty() || static_cast<unsigned char>(text[0]) < 0x80) return text;
        const size_t k = leading_space_length(text);
        if (k == 0) return text;
        text.remove_prefix(k);
    }
}

}  // namespace

std::string_view trim_space(std::string_view text) noexcept {
    text = drop_leading_space(text);
    while (size_t k = trailing_space_length(text)) text.remove_suffix(k);
    return text;
}

bool is_all_space(std::string_view text) noexcept {
    return drop_leading_space(text).empty();
}

}  // namespace plovane
