// The pair of SipHash keys that seeds an attribute map.
#pragma once

#include <cstdint>

namespace plovane {

struct HashKeys {
    uint64_t k0 = 0;
    uint64_t k1 = 0;
};

// Takes this thread's pair (drawn from the system's random source on the
// thread's first use) and then increments the thread's first key, so that
// every map gets its own order.
HashKeys take_hash_keys() noexcept;

}  // namespace plovane
