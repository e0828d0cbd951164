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

// Offset of the first byte of data[0..size) equal to one of `Bytes`, or size.
template <char... Bytes>
inline size_t find_first_of(const char* data, size_t size) noexcept {
#if defined(PLOVANE_SSE2) || defined(PLOVANE_ARM64)
    return find_first_of_with<BaselineSimd, Bytes...>(data, size);
#else
    return find_first_of_scalar<Bytes...>(data, size);
#endif
}

// Offset of the first byte of data[0..size) equal to none of `Bytes`, or size.
template <char... Bytes>
inline size_t find_first_not_of(const char* data, size_t size) noexcept {
#if defined(PLOVANE_SSE2) || defined(PLOVANE_ARM64)
    return find_first_not_of_with<BaselineSimd, Bytes...>(data, size);
#else
    return find_first_not_of_scalar<Bytes...>(data, size);
#endif
}

}  // namespace
}  // namespace plovane
