// Search for the first of a few given bytes: one body over the vector layer
// (simd_*.h), instantiated inline with the processor's baseline layer for the
// reader, which calls it for every attribute value and run of character data,
// and compiled once per instruction set for the writer's escape scan
// (escape_kernels.h). Internal linkage, for the reason given in quote_state.h.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/target.h"

namespace plovane {
namespace {

// Offset of the first byte of data[0..size) equal to one of `Bytes` (to
// none of them when `Not`), or size; one byte at a time, the form every
// vector search reproduces.
template <bool Not, char... Bytes>
size_t find_first_scalar(const char* data, size_t size) noexcept {
    for (size_t i = 0; i < size; ++i) {
        if (((data[i] == Bytes) || ...) != Not) return i;
    }
    return size;
}

template <char... Bytes>
size_t find_first_of_scalar(const char* data, size_t size) noexcept {
    return find_first_scalar<false, Bytes...>(data, size);
}

template <char... Bytes>
size_t find_first_not_of_scalar(const char* data, size_t size) noexcept {
    return find_first_scalar<true, Bytes...>(data, size);
}

template <class S, char First, char... Rest>
typename S::Hits match_any(typename S::Vector v) noexcept {
    if constexpr (sizeof...(Rest) == 0) {
        return S::match(v, First);
    } else {
        return S::either(S::match(v, First), match_any<S, Rest...>(v));
    }
}

constexpr uintptr_t kPageSize = 4096;

// Whether `width` bytes from `p` lie in one page, so that loading them
// cannot fault even where the object ends sooner.
inline bool within_one_page(const char* p, unsigned width) noexcept {
    return (reinterpret_cast<uintptr_t>(p) & (kPageSize - 1)) <= kPageSize - width;
}

// The same as find_first_scalar, one vector at a time. Short strings are
// common (attribute values, texts of a few words, indentation), so the tail
// matters as much as the bulk: a tail that does not cross a page boundary is
// loaded as one whole vector and the hits past `size` are masked off. Only
// the bytes loaded past the object are outside it, which the address
// sanitizer would report.
template <class S, bool Not, char... Bytes>
PLOVANE_NO_ADDRESS_CHECK size_t find_first_with(const char* data, size_t size) noexcept {
    constexpr unsigned kWidth = S::kVectorBytes;
    constexpr unsigned kMaskBits = kWidth * S::kMaskBitsPerByte;
    constexpr uint64_t kWhole = kMaskBits == 64 ? ~uint64_t{0} : (uint64_t{1} << kMaskBits) - 1;
    const auto hits = [](const char* p) {
        const uint64_t mask = S::hit_mask(match_any<S, Bytes...>(S::load_vector(p)));
        return Not ? ~mask & kWhole : mask;
    };
    const auto first_hit = [](uint64_t mask) {
        return static_cast<size_t>(std::countr_zero(mask)) / S::kMaskBitsPerByte;
    };
    size_t i = 0;
    for (; size - i >= kWidth; i += kWidth) {
        if (const uint64_t mask = hits(data + i)) return i + first_hit(mask);
    }
    if (i == size) return size;
    if (!within_one_page(data + i, kWidth)) {
        return i + find_first_scalar<Not, Bytes...>(data + i, size - i);
    }
    // size - i < kWidth, so the shift stays below 64.
    const uint64_t kept = (uint64_t{1} << ((size - i) * S::kMaskBitsPerByte)) - 1;
    const uint64_t mask = hits(data + i) & kept;
    return mask ? i + first_hit(mask) : size;
}

template <class S, char... Bytes>
size_t find_first_of_with(const char* data, size_t size) noexcept {
    return find_first_with<S, false, Bytes...>(data, size);
}

}  // namespace
}  // namespace plovane
