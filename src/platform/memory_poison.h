// Memory that nothing may touch until it is handed out again (a block kept
// for reuse), marked for the address sanitizer so that a use after release
// is still reported; nothing without the sanitizer.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define PLOVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLOVANE_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(PLOVANE_ADDRESS_SANITIZER)
#include <sanitizer/asan_interface.h>
#endif

namespace plovane {

inline void poison_memory([[maybe_unused]] void* memory, [[maybe_unused]] size_t bytes) noexcept {
#if defined(PLOVANE_ADDRESS_SANITIZER)
    ASAN_POISON_MEMORY_REGION(memory, bytes);
#endif
}

inline void unpoison_memory([[maybe_unused]] void* memory, [[maybe_unused]] size_t bytes) noexcept {
#if defined(PLOVANE_ADDRESS_SANITIZER)
    ASAN_UNPOISON_MEMORY_REGION(memory, bytes);
#endif
}

}  // namespace plovane
