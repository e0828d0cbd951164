#include "platform/random_bytes.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: bcrypt.h relies on its types.
#include <bcrypt.h>
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <stdlib.h>
#else
#include <unistd.h>
#endif

namespace plovane {

bool fill_random(void* out, size_t size) noexcept {
#if defined(_WIN32)
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    arc4random_buf(out, size);
    return true;
#else
    // glibc and musl; retried internally when a signal interrupts it.
    return getentropy(out, size) == 0;
#endif
}

}  // namespace plovane
