// The UTF-8 encoder's one-unit-at-a-time definition.
#include "simd/encode_kernels.h"
#include "simd/utf8_units.h"

namespace plovane {

size_t utf8_size_scalar(const void* units, size_t count, unsigned unit_size) noexcept {
    return with_unit_type(units, unit_size, [count](const auto* in) {
        return count + extra_bytes_scalar(in, 0, count);
    });
}

char* encode_scalar(const void* units, size_t count, unsigned unit_size, char* out,
                    size_t* surrogate_at) noexcept {
    return with_unit_type(units, unit_size, [&](const auto* in) {
        return reinterpret_cast<char*>(encode_units_scalar(
            in, 0, count, reinterpret_cast<unsigned char*>(out), *surrogate_at));
    });
}

}  // namespace plovane
