// The x86-64 baseline UTF-8 encoder kernel: SSE2 is always present there, but without a byte
// shuffle only ASCII blocks and the size count go 16 units at a time.
#include "platform/target.h"

#if defined(PLOVANE_X86_64)

#include "simd/encode_blocks.h"
#include "simd/encode_kernels.h"
#include "simd/simd_sse2.h"

namespace plovane {

size_t utf8_size_sse2(const void* units, size_t count, unsigned unit_size) noexcept {
    return utf8_size_with<Sse2::Lanes>(units, count, unit_size);
}

char* encode_sse2(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept {
    return encode_with<Sse2::Lanes>(units, count, unit_size, out, surrogate_at);
}

}  // namespace plovane

#endif
