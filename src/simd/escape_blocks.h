// The writer's escape scan, one body over the vector layer: the bytes that
// escaping replaces are all ASCII, and UTF-8 never uses an ASCII byte inside
// a multi-byte character, so a byte search finds exactly the characters a
// code-point scan would. Internal linkage, for the reason given in
// quote_state.h.
#pragma once

#include <cstddef>

#include "simd/find_first_of.h"

namespace plovane {
namespace {

template <class S>
const char* find_text_escape_with(const char* begin, const char* end) noexcept {
    return begin +
           find_first_of_with<S, '&', '<', '>', '"', '\''>(begin, static_cast<size_t>(end - begin));
}

template <class S>
const char* find_attribute_escape_with(const char* begin, const char* end) noexcept {
    return begin + find_first_of_with<S, '&', '<', '>', '"', '\'', '\t', '\r', '\n'>(
                       begin, static_cast<size_t>(end - begin));
}

}  // namespace
}  // namespace plovane
