// SipHash-1-3: keyed 64-bit hashing of attribute names.
#pragma once

#include <cstdint>
#include <string_view>

#include "storage/hash_keys.h"

namespace plovane {

uint64_t siphash13(HashKeys keys, std::string_view bytes) noexcept;

}  // namespace plovane
