// The AVX2 escape scan kernel; only this file is built with AVX2.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/escape_blocks.h"
#include "simd/escape_kernels.h"
#include "simd/simd_avx2.h"

namespace plovane {

const char* text_escape_avx2(const char* begin, const char* end) noexcept {
    return find_text_escape_with<Avx2>(begin, end);
}

const char* attribute_escape_avx2(const char* begin, const char* end) noexcept {
    return find_attribute_escape_with<Avx2>(begin, end);
}

}  // namespace plovane

#endif
