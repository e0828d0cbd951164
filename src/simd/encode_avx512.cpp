// The AVX-512BW UTF-8 encoder kernel; only this file is built with AVX-512.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/encode_blocks.h"
#include "simd/encode_kernels.h"
#include "simd/simd_avx512.h"

namespace plovane {

size_t utf8_size_avx512(const void* units, size_t count, unsigned unit_size) noexcept {
    return utf8_size_with<Avx512::Lanes>(units, count, unit_size);
}

char* encode_avx512(const void* units, size_t count, unsigned unit_size, char* out,
                    size_t* surrogate_at) noexcept {
    return encode_with<Avx512::Lanes>(units, count, unit_size, out, surrogate_at);
}

}  // namespace plovane

#endif
