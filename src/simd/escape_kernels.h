// The escape scan kernels, one per instruction set; the writer reaches the
// chosen one through selected_kernel() (classify_kernels.h).
#pragma once

#include "platform/target.h"

namespace plovane {

// The first of '&' '<' '>' '"' '\'' in [begin, end), or `end`; with tab,
// carriage return and line feed added for an attribute value.
using EscapeKernel = const char* (*)(const char* begin, const char* end) noexcept;

const char* text_escape_scalar(const char* begin, const char* end) noexcept;
const char* attribute_escape_scalar(const char* begin, const char* end) noexcept;
#if defined(PLOVANE_X86_64)
const char* text_escape_sse2(const char* begin, const char* end) noexcept;
const char* attribute_escape_sse2(const char* begin, const char* end) noexcept;
const char* text_escape_avx2(const char* begin, const char* end) noexcept;
const char* attribute_escape_avx2(const char* begin, const char* end) noexcept;
const char* text_escape_avx512(const char* begin, const char* end) noexcept;
const char* attribute_escape_avx512(const char* begin, const char* end) noexcept;
#elif defined(PLOVANE_ARM64)
const char* text_escape_neon(const char* begin, const char* end) noexcept;
const char* attribute_escape_neon(const char* begin, const char* end) noexcept;
#endif

}  // namespace plovane
