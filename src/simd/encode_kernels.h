// The UTF-8 encoder kernels for fixed-width code units (the three storage
// forms of an interpreter string), one per instruction set; storage's
// encode_utf8 reaches the chosen one through selected_kernel()
// (classify_kernels.h).
#pragma once

#include <cstddef>

#include "platform/target.h"

namespace plovane {

// The exact size of the UTF-8 form of `count` units of `unit_size` bytes (1,
// 2 or 4), a surrogate counted as three bytes.
using Utf8SizeKernel = size_t (*)(const void* units, size_t count, unsigned unit_size) noexcept;
// Writes that form to `out`, which has room for exactly that size, and
// returns its end; null, with `*surrogate_at` set to the index of the first
// surrogate, when there is one (what was written before it is left as is).
using EncodeKernel = char* (*)(const void* units, size_t count, unsigned unit_size, char* out,
                               size_t* surrogate_at) noexcept;

size_t utf8_size_scalar(const void* units, size_t count, unsigned unit_size) noexcept;
char* encode_scalar(const void* units, size_t count, unsigned unit_size, char* out,
                    size_t* surrogate_at) noexcept;
#if defined(PLOVANE_X86_64)
size_t utf8_size_sse2(const void* units, size_t count, unsigned unit_size) noexcept;
char* encode_sse2(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept;
size_t utf8_size_avx2(const void* units, size_t count, unsigned unit_size) noexcept;
char* encode_avx2(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept;
size_t utf8_size_avx512(const void* units, size_t count, unsigned unit_size) noexcept;
char* encode_avx512(const void* units, size_t count, unsigned unit_size, char* out,
                    size_t* surrogate_at) noexcept;
#elif defined(PLOVANE_ARM64)
size_t utf8_size_neon(const void* units, size_t count, unsigned unit_size) noexcept;
char* encode_neon(const void* units, size_t count, unsigned unit_size, char* out,
                  size_t* surrogate_at) noexcept;
#endif

}  // namespace plovane
