// The two notions of white space in the reader: the ASCII bytes that separate
// attributes inside tags, and the Unicode White_Space set that trims element
// text and may follow the name of an end tag.
#pragma once

#include <cstddef>
#include <string_view>

namespace plovane {

// Tab, line feed, form feed, carriage return, space (not vertical tab).
constexpr bool is_markup_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Length in bytes of the White_Space character that starts `text`, or 0.
size_t leading_space_length(std::string_view text) noexcept;
// Length in bytes of the White_Space character that ends `text`, or 0.
// `text` must end on a character boundary.
size_t trailing_space_length(std::string_view text) noexcept;

// `text` without White_Space characters at either end.
std::string_view trim_space(std::string_view text) noexcept;
bool is_all_space(std::string_view text) noexcept;

// Tab, line feed, vertical tab, form feed, carriage return, space: the ASCII
// part of White_Space.
constexpr bool is_ascii_space(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace plovane
