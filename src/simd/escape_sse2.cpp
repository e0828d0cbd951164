// The x86-64 baseline escape scan kernel: SSE2 is always present there.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/escape_blocks.h"
#include "simd/escape_kernels.h"
#include "simd/simd_sse2.h"

namespace plovane {

const char* text_escape_sse2(const char* begin, const char* end) noexcept {
    return find_text_escape_with<Sse2>(begin, end);
}

const char* attribute_escape_sse2(const char* begin, const char* end) noexcept {
    return find_attribute_escape_with<Sse2>(begin, end);
}

}  // namespace plovane

#endif
