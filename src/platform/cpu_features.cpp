#include "platform/cpu_features.h"

#include <cstdint>

#include "platform/target.h"

#if defined(PLOVANE_X86_64) && defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#elif defined(PLOVANE_X86_64)
#include <cpuid.h>
#elif defined(PLOVANE_ARM64) && defined(__linux__)
#include <sys/auxv.h>
#ifndef HWCAP_PMULL
#define HWCAP_PMULL (1 << 4)
#endif
#elif defined(PLOVANE_ARM64) && defined(_WIN32)
#include <windows.h>
#endif

namespace plovane {

namespace {

#if defined(PLOVANE_X86_64)

struct CpuidRegisters {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegisters cpuid(uint32_t leaf, uint32_t subleaf) {
    CpuidRegisters r;
#if defined(_MSC_VER) && !defined(__clang__)
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<uint32_t>(regs[0]), static_cast<uint32_t>(regs[1]),
         static_cast<uint32_t>(regs[2]), static_cast<uint32_t>(regs[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// Which register states the operating system saves on a context switch.
uint64_t enabled_register_states() {
#if defined(_MSC_VER) && !defined(__clang__)
    return _xgetbv(0);
#else
    uint32_t low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return uint64_t{high} << 32 | low;
#endif
}

bool bit(uint32_t word, unsigned n) {
    return (word >> n & 1) != 0;
}

CpuFeatures detect() {
    CpuFeatures f;
    const uint32_t max_leaf = cpuid(0, 0).eax;
    const CpuidRegisters leaf1 = cpuid(1, 0);
    f.pclmul = bit(leaf1.ecx, 1);
    f.popcnt = bit(leaf1.ecx, 23);
    const bool os_saves_ymm =
        bit(leaf1.ecx, 27) && (enabled_register_states() & 0x6) == 0x6;  // XMM and YMM
    const bool os_saves_zmm = os_saves_ymm && (enabled_register_states() & 0xE0) == 0xE0;
    if (max_leaf >= 7) {
        const CpuidRegisters leaf7 = cpuid(7, 0);
        f.bmi2 = bit(leaf7.ebx, 3) && bit(leaf7.ebx, 8);
        f.avx2 = os_saves_ymm && bit(leaf1.ecx, 28) && bit(leaf7.ebx, 5);
        f.avx512bw = os_saves_zmm && bit(leaf7.ebx, 16) && bit(leaf7.ebx, 30);
    }
    return f;
}

#else

CpuFeatures detect() {
    CpuFeatures f;
#if defined(PLOVANE_ARM64) && defined(__APPLE__)
    f.neon_pmull = true;  // every Apple arm64 processor has both
#elif defined(PLOVANE_ARM64) && defined(__linux__)
    f.neon_pmull = (getauxval(AT_HWCAP) & HWCAP_PMULL) != 0;
#elif defined(PLOVANE_ARM64) && defined(_WIN32)
    f.neon_pmull = IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0;
#endif
    return f;
}

#endif

}  // namespace

const CpuFeatures& cpu_features() noexcept {
    static const CpuFeatures features = detect();
    return features;
}

}  // namespace plovane
