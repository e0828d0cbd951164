# The instruction sets that vector kernels are built for, and the compiler
# flags of each, written once: a kernel file is named <name>_<set>.cpp and
# only it gets the flags of its set. Read by the build (src/CMakeLists.txt),
# the ARM cross build (tests/cross) and, through print_instruction_sets.cmake,
# by scripts/fuzz.sh. MSVC needs no flag to use these intrinsics.

# The sets whose kernels run on `processor` (as CMAKE_SYSTEM_PROCESSOR or
# `uname -m` name it), widest last; the baseline set (sse2) needs no flag.
function(plovane_instruction_sets processor out_var)
    if(processor MATCHES "x86_64|AMD64|amd64")
        set(${out_var} avx2 avx512 PARENT_SCOPE)
    elseif(processor MATCHES "aarch64|arm64|ARM64")
        set(${out_var} neon PARENT_SCOPE)
    else()
        set(${out_var} "" PARENT_SCOPE)
    endif()
endfunction()

set(PLOVANE_FLAGS_avx2 -mavx2 -mbmi -mbmi2 -mpclmul -mpopcnt)
set(PLOVANE_FLAGS_avx512 -mavx512f -mavx512bw -mbmi -mbmi2 -mpclmul -mpopcnt)
# Advanced SIMD is part of every 64-bit ARM processor; the cryptographic
# extension adds the 64-bit polynomial multiply.
set(PLOVANE_FLAGS_neon -march=armv8-a+crypto)
