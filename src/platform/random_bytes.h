// The operating system's random source.
#pragma once

#include <cstddef>

namespace plovane {

// Fills `out` with `size` random bytes (at most 256); false when the system
// has no random source to offer.
bool fill_random(void* out, size_t size) noexcept;

}  // namespace plovane
