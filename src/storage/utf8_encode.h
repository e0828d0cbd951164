// UTF-8 encoding of fixed-width code unit arrays: the three storage forms of
// an interpreter string (one byte per character up to U+00FF, two bytes up
// to U+FFFF, four bytes beyond).
#pragma once

#include <cstddef>
#include <cstdint>

namespace plovane {

// A malloc'd buffer with the UTF-8 form of a code unit array, sized to fit;
// `data` is null when the input contains a surrogate, which has no UTF-8 form.
struct EncodedText {
    char* data = nullptr;
    size_t size = 0;
    size_t surrogate_at = 0;  // index of the first surrogate when data is null
};

// Encodes `count` code units of `unit_size` bytes (1, 2 or 4), each one a
// code point. Throws std::bad_alloc only when memory runs out.
EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size);

}  // namespace plovane
