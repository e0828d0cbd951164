// The Advanced SIMD escape scan kernel for 64-bit ARM.
#include "platform/target.h"

#if defined(PLOVANE_ARM64)

#include "simd/escape_blocks.h"
#include "simd/escape_kernels.h"
#include "simd/simd_neon.h"

namespace plovane {

const char* text_escape_neon(const char* begin, const char* end) noexcept {
    return find_text_escape_with<Neon>(begin, end);
}

const char* attribute_escape_neon(const char* begin, const char* end) noexcept {
    return find_attribute_escape_with<Neon>(begin, end);
}

}  // namespace plovane

#endif
