// Search for the first byte that escaping must replace.
#pragma once

namespace plovane {

// The first of '&' '<' '>' '"' '\'' in [begin, end), or `end`.
const char* find_text_escape(const char* begin, const char* end) noexcept;
// The same, with tab, carriage return and line feed added.
const char* find_attribute_escape(const char* begin, const char* end) noexcept;

}  // namespace plovane
