// Escaping of element text and attribute values into a sink.
#pragma once

#include <string_view>

#include "write/escape_scan.h"

namespace plovane {

// The reference that stands for a byte that may not appear literally.
inline std::string_view escape_replacement(char c) noexcept {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&apos;";
        case '\t':
            return "&#9;";
        case '\r':
            return "&#13;";
        default:
            return "&#10;";  // '\n', the only other byte the scanners stop at
    }
}

// Appends `text` to `sink` with '&' '<' '>' '"' '\'' replaced by references;
// in attribute mode tab, carriage return and line feed as well, so that a
// reader's attribute value normalisation cannot change them. Every run between
// two replaced bytes goes to the sink in one append. Returns false as soon as
// an append fails (what was appended stays appended).
template <class Sink>
bool write_escaped(Sink& sink, std::string_view text, bool attribute) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        const char* hit = attribute ? find_attribute_escape(p, end) : find_text_escape(p, end);
        if (hit != p && !sink.append({p, static_cast<size_t>(hit - p)})) return false;
        if (hit == end) return true;
        if (!sink.append(escape_replacement(*hit))) return false;
        p = hit + 1;
    }
    return true;
}

}  // namespace plovane
