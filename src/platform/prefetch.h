// A hint to bring memory into the cache before it is read.
#pragma once

#include "platform/target.h"

#if defined(_MSC_VER) && !defined(__clang__) && defined(PLOVANE_X86_64)
#include <intrin.h>
#endif

namespace plovane {

inline void prefetch(const void* address) noexcept {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#elif defined(_MSC_VER) && defined(PLOVANE_X86_64)
    _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}

}  // namespace plovane
