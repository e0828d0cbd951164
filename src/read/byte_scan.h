// Search for the first of a few given bytes, 16 bytes per step where the
// processor's baseline vector unit allows (SSE2 on x86-64). Attribute values
// and character data are scanned this way for the bytes that need attention.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/target.h"

#if defined(PLOVANE_SSE2)
#include <emmintrin.h>
#endif

namespace plovane {

// Offset of the first byte of data[0..size) equal to one of `Bytes`, or size.
template <char... Bytes>
size_t find_first_of(const char* data, size_t size) noexcept {
    size_t i = 0;
#if defined(PLOVANE_SSE2)
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i hits = (_mm_cmpeq_epi8(block, _mm_set1_epi8(Bytes)) | ...);
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)))
            return i + static_cast<size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < size; ++i) {
        if (((data[i] == Bytes) || ...)) return i;
    }
    return size;
}

}  // namespace plovane
