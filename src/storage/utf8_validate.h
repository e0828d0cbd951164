// UTF-8 validation of whole buffers (every byte of every file read passes
// through it).
#pragma once

#include <cstddef>

namespace plovane {

// True when the bytes are well-formed UTF-8: shortest forms only, no
// surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const char* data, size_t size) noexcept;

}  // namespace plovane
