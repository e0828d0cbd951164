// The AVX-512BW escape scan kernel; only this file is built with AVX-512.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/escape_blocks.h"
#include "simd/escape_kernels.h"
#include "simd/simd_avx512.h"

namespace plovane {

const char* text_escape_avx512(const char* begin, const char* end) noexcept {
    return find_text_escape_with<Avx512>(begin, end);
}

const char* attribute_escape_avx512(const char* begin, const char* end) noexcept {
    return find_attribute_escape_with<Avx512>(begin, end);
}

}  // namespace plovane

#endif
