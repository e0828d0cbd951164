#include "write/escape_scan.h"

#include <bit>
#include <cstdint>

#include "platform/target.h"

#if defined(PLOVANE_SSE2)
#include <emmintrin.h>
#endif

namespace plovane {

namespace {

// Every character that is ever escaped is ASCII, and UTF-8 never uses an
// ASCII byte inside a multi-byte character, so comparing bytes finds exactly
// the characters a code-point scan would.
template <bool kAttribute>
constexpr bool needs_escape(unsigned char c) {
    if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'') return true;
    return kAttribute && (c == '\t' || c == '\r' || c == '\n');
}

template <bool kAttribute>
const char* find_scalar(const char* p, const char* end) noexcept {
    while (p != end && !needs_escape<kAttribute>(static_cast<unsigned char>(*p))) ++p;
    return p;
}

#if defined(PLOVANE_SSE2)

template <bool kAttribute>
inline unsigned escape_mask(__m128i v) {
    auto eq = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    __m128i hits = _mm_or_si128(_mm_or_si128(eq('&'), eq('<')),
                                _mm_or_si128(_mm_or_si128(eq('>'), eq('"')), eq('\'')));
    if constexpr (kAttribute) {
        hits = _mm_or_si128(hits, _mm_or_si128(_mm_or_si128(eq('\t'), eq('\r')), eq('\n')));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

constexpr uintptr_t kPageSize = 4096;

// Most texts and attribute values are short, so the tail matters as much as
// the bulk: a tail that does not cross a page boundary is read as one whole
// 16-byte block (the bytes past `end` are loaded but masked off; a load that
// stays inside a mapped page cannot fault). Only the loaded bytes beyond the
// string are outside the object, which the address sanitizer would report.
template <bool kAttribute>
PLOVANE_NO_ADDRESS_CHECK const char* find_vector(const char* p, const char* end) noexcept {
    while (end - p >= 16) {
        unsigned mask =
            escape_mask<kAttribute>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (mask) return p + std::countr_zero(mask);
        p += 16;
    }
    if (p == end) return end;
    if ((reinterpret_cast<uintptr_t>(p) & (kPageSize - 1)) > kPageSize - 16) {
        return find_scalar<kAttribute>(p, end);
    }
    unsigned mask = escape_mask<kAttribute>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    mask &= (1u << (end - p)) - 1;
    return mask ? p + std::countr_zero(mask) : end;
}

#endif

}  // namespace

const char* find_text_escape(const char* begin, const char* end) noexcept {
#if defined(PLOVANE_SSE2)
    return find_vector<false>(begin, end);
#else
    return find_scalar<false>(begin, end);
#endif
}

const char* find_attribute_escape(const char* begin, const char* end) noexcept {
#if defined(PLOVANE_SSE2)
    return find_vector<true>(begin, end);
#else
    return find_scalar<true>(begin, end);
#endif
}

}  // namespace plovane
