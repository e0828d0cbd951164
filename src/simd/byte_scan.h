// Search for the first of a few given bytes, one vector of the processor's
// baseline layer per step, inlined at the call site: attribute values and
// character data are scanned this way for the bytes that need attention, and
// most are short enough that a call through the kernel dispatch would cost
// more than the scan.
#pragma once

#include <cstddef>

#include "simd/baseline.h"
#include "simd/find_first_of.h"

namespace plovane {
namespace {

// Offset of the first byte of data[0..size) equal to one of `Bytes` (to
// none of them when `Not`), or size.
template <bool Not, char... Bytes>
inline size_t find_first(const char* data, size_t size) noexcept {
#if defined(PLOVANE_SSE2) || defined(PLOVANE_ARM64)
    return find_first_with<BaselineSimd, Not, Bytes...>(data, size);
#else
    return find_first_scalar<Not, Bytes...>(data, size);
#endif
}

template <char... Bytes>
inline size_t find_first_of(const char* data, size_t size) noexcept {
    return find_first<false, Bytes...>(data, size);
}

template <char... Bytes>
inline size_t find_first_not_of(const char* data, size_t size) noexcept {
    return find_first<true, Bytes...>(data, size);
}

}  // namespace
}  // namespace plovane
