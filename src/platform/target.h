// What the compiler targets: the processor family, its baseline vector unit,
// and the few compiler-specific attributes the code needs. Everything else
// that differs between compilers or systems lives in this folder too.
#pragma once

#if defined(__x86_64__) || defined(_M_X64)
#define PLOVANE_X86_64 1
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define PLOVANE_ARM64 1
#endif

// SSE2 is part of every x86-64 processor; GCC and Clang say so with
// __SSE2__, MSVC only by targeting x64.
#if defined(__SSE2__) || defined(_M_X64)
#define PLOVANE_SSE2 1
#endif

// A function that reads a few bytes past the end of its object on purpose
// (never past the end of a page) is kept out of the address sanitizer's view,
// and of the thread sanitizer's, which reports those bytes when they last
// belonged to a freed block.
#if defined(__GNUC__) || defined(__clang__)
#define PLOVANE_NO_ADDRESS_CHECK __attribute__((no_sanitize("address", "thread")))
#else
#define PLOVANE_NO_ADDRESS_CHECK
#endif
