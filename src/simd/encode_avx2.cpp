// The AVX2 UTF-8 encoder kernel; only this file is built with AVX2 (which brings the SSSE3 byte
// shuffle).
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/encode_blocks.h"
#include "simd/encode_kernels.h"
#include "simd/simd_avx2.h"

namespace plovane {

size_t utf8_size_avx2(const void* units, size_t count, unsigned unit_size) noexcept {
    return utf8_size_with<Avx2::Lanes>(units, count, unit_size);
}

char* encode_avx2(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept {
    return encode_with<Avx2::Lanes>(units, count, unit_size, out, surrogate_at);
}

}  // namespace plovane

#endif
