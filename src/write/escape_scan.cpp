#include "write/escape_scan.h"

#include "simd/classify_kernels.h"

namespace plovane {

// The kernels of the chosen instruction set (simd/escape_blocks.h), read
// once: a call costs one indirect jump more than a direct one.
const char* find_text_escape(const char* begin, const char* end) noexcept {
    static const EscapeKernel kernel = selected_kernel().text_escape;
    return kernel(begin, end);
}

const char* find_attribute_escape(const char* begin, const char* end) noexcept {
    static const EscapeKernel kernel = selected_kernel().attribute_escape;
    return kernel(begin, end);
}

}  // namespace plovane
