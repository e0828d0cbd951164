// How much memory the machine has: the bound above which an output built in
// memory could never be held, however the allocator is configured.
#pragma once

#include <cstdint>

namespace plovane {

// The physical memory in bytes, or UINT64_MAX when the system will not say.
uint64_t physical_memory_bytes() noexcept;

}  // namespace plovane
