#include "storage/hash_keys.h"

#include <chrono>

#include "platform/random_bytes.h"

namespace plovane {

namespace {

HashKeys draw_random_keys() noexcept {
    HashKeys keys;
    if (!fill_random(&keys, sizeof keys)) {
        // No random source: still give maps differing keys.
        keys.k0 ^=
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        keys.k1 ^= reinterpret_cast<uintptr_t>(&keys);
    }
    return keys;
}

}  // namespace

HashKeys take_hash_keys() noexcept {
    thread_local HashKeys thread_keys = draw_random_keys();
    HashKeys taken = thread_keys;
    ++thread_keys.k0;
    return taken;
}

}  // namespace plovane
