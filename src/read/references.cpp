#include "read/references.h"

#include <cstring>
#include <optional>

#include "simd/byte_scan.h"

namespace plovane {

namespace {

// Offset of the first byte that decoding must look at, or `to`.
size_t find_special(const char* p, size_t from, size_t to, DecodeMode mode) noexcept {
    if (from == to) return to;  // also keeps an empty input's null data from memchr
    if (mode == DecodeMode::Text) {
        const void* hit = std::memchr(p + from, '&', to - from);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : to;
    }
    return from + find_first_of<'&', '\t', '\n', '\r'>(p + from, to - from);
}

std::optional<uint32_t> predefined_entity(std::string_view name) noexcept {
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "amp") return '&';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    return std::nullopt;
}

int digit_value(char c, bool hex) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The scalar value of a numeric reference name ("#65", "#x41", "#+65"), or
// nothing when it does not parse or names zero, a surrogate or a value
// above U+10FFFF. Only a lowercase 'x' marks hexadecimal.
std::optional<uint32_t> numeric_reference(std::string_view name) noexcept {
    std::string_view digits = name.substr(1);
    const bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        const int d = digit_value(c, hex);
        if (d < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        // Every value past the last scalar is refused, so stopping here also
        // keeps the accumulator from wrapping.
        if (value > 0x10FFFF) return std::nullopt;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

// The character a reference name stands for, if any.
std::optional<uint32_t> resolve_reference(std::string_view name) noexcept {
    if (!name.empty() && name[0] == '#') return numeric_reference(name);
    return predefined_entity(name);
}

char* put_utf8(char* out, uint32_t cp) noexcept {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

Unexpected<ReadError> reference_error(std::string_view name, uint64_t position) {
    if (name.empty() || name[0] != '#') {
        return unexpected(ReadError(ReadError::UnknownEntity{std::string(name), position}));
    }
    std::string message = "invalid character reference '&";
    message.append(name).append(";'");
    return unexpected(ReadError::malformed(std::move(message), position));
}

}  // namespace

Expected<DecodedText, ReadError> decode_references(std::string_view bytes, uint64_t base,
                                                   DecodeMode mode) {
    const char* in = bytes.data();
    const size_t n = bytes.size();
    size_t i = find_special(in, 0, n, mode);
    if (i == n) return DecodedText::of_view(bytes);

    // Every rewrite is no longer than what it replaces (the longest result,
    // four UTF-8 bytes, needs at least "&#x10000;"), so the input's length
    // is room enough.
    std::string result(n, '\0');
    char* out = result.data();
    std::memcpy(out, in, i);
    out += i;
    while (i < n) {
        const char c = in[i];
        if (c != '&') {
            // Only attribute mode stops at white space.
            *out++ = ' ';
            i += (c == '\r' && i + 1 < n && in[i + 1] == '\n') ? 2 : 1;
        } else {
            const void* semi = std::memchr(in + i + 1, ';', n - i - 1);
            if (!semi) {
                return unexpected(ReadError::malformed("unterminated entity reference", base + i));
            }
            const size_t end = static_cast<size_t>(static_cast<const char*>(semi) - in);
            const std::string_view name(in + i + 1, end - i - 1);
            const std::optional<uint32_t> cp = resolve_reference(name);
            if (!cp) return reference_error(name, base + i);
            out = put_utf8(out, *cp);
            i = end + 1;
        }
        const size_t next = find_special(in, i, n, mode);
        std::memcpy(out, in + i, next - i);
        out += next - i;
        i = next;
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return DecodedText::of_owned(std::move(result));
}

}  // namespace plovane
