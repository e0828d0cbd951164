// The vector layer every processor of the target family has (SSE2 on x86-64,
// Advanced SIMD on 64-bit ARM), for code that is inlined at its call sites
// rather than reached through the kernel dispatch; null elsewhere.
#pragma once

#include "platform/target.h"

#if defined(PLOVANE_SSE2)
#include "simd/simd_sse2.h"
#elif defined(PLOVANE_ARM64)
#include "simd/simd_neon.h"
#endif

namespace plovane {
namespace {

#if defined(PLOVANE_SSE2)
using BaselineSimd = Sse2;
#elif defined(PLOVANE_ARM64)
using BaselineSimd = Neon;
#endif

}  // namespace
}  // namespace plovane
