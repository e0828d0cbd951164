#include "storage/hash_keys.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>

namespace plovane {

namespace {

HashKeys draw_random_keys() noexcept {
    HashKeys keys;
    char* out = reinterpret_cast<char*>(&keys);
    size_t filled = 0;
    while (filled < sizeof keys) {
        ssize_t got = getrandom(out + filled, sizeof keys - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            // No random source: still give maps differing keys.
            keys.k0 ^=
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            keys.k1 ^= reinterpret_cast<uintptr_t>(&keys);
            break;
        }
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
