// The instruction set extensions that this processor and the operating
// system both support, read once per process.
#pragma once

namespace plovane {

struct CpuFeatures {
    // x86-64
    bool avx2 = false;      // with the operating system saving the wide registers
    bool avx512bw = false;  // AVX-512 F and BW, likewise
    bool pclmul = false;    // carry-less multiply
    bool bmi2 = false;      // BMI1 and BMI2
    bool popcnt = false;
    // 64-bit ARM: Advanced SIMD with the 64-bit polynomial multiply
    bool neon_pmull = false;
};

const CpuFeatures& cpu_features() noexcept;

}  // namespace plovane
