// The Advanced SIMD UTF-8 encoder kernel for 64-bit ARM.
#include "platform/target.h"

#if defined(PLOVANE_ARM64)

#include "simd/encode_blocks.h"
#include "simd/encode_kernels.h"
#include "simd/simd_neon.h"

namespace plovane {

size_t utf8_size_neon(const void* units, size_t count, unsigned unit_size) noexcept {
    return utf8_size_with<Neon::Lanes>(units, count, unit_size);
}

char* encode_neon(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept {
    return encode_with<Neon::Lanes>(units, count, unit_size, out, surrogate_at);
}

}  // namespace plovane

#endif
