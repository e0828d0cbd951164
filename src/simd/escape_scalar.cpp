// The escape scan's byte-by-byte definition, which every vector kernel
// reproduces.
#include <cstddef>

#include "simd/escape_kernels.h"
#include "simd/find_first_of.h"

namespace plovane {

const char* text_escape_scalar(const char* begin, const char* end) noexcept {
    return begin +
           find_first_of_scalar<'&', '<', '>', '"', '\''>(begin, static_cast<size_t>(end - begin));
}

const char* attribute_escape_scalar(const char* begin, const char* end) noexcept {
    return begin + find_first_of_scalar<'&', '<', '>', '"', '\'', '\t', '\r', '\n'>(
                       begin, static_cast<size_t>(end - begin));
}

}  // namespace plovane
