#include "storage/siphash.h"

#include <bit>
#include <cstring>

namespace plovane {

namespace {

struct SipState {
    uint64_t v0, v1, v2, v3;

    void round() noexcept {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }
    void absorb(uint64_t m) noexcept {
        v3 ^= m;
        round();  // one compression round
        v0 ^= m;
    }
};

uint64_t load_le64(const char* p) noexcept {
    uint64_t m;
    std::memcpy(&m, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) swapped = swapped << 8 | (m >> (8 * i) & 0xFF);
        m = swapped;
    }
    return m;
}

}  // namespace

uint64_t siphash13(HashKeys keys, std::string_view bytes) noexcept {
    SipState s{keys.k0 ^ 0x736f6d6570736575ULL, keys.k1 ^ 0x646f72616e646f6dULL,
               keys.k0 ^ 0x6c7967656e657261ULL, keys.k1 ^ 0x7465646279746573ULL};
    const char* p = bytes.data();
    const size_t n = bytes.size();
    const size_t whole = n & ~size_t{7};
    for (size_t i = 0; i < whole; i += 8) s.absorb(load_le64(p + i));
    uint64_t last = static_cast<uint64_t>(n) << 56;
    for (size_t i = 0; i < (n & 7); ++i)
        last |= static_cast<uint64_t>(static_cast<unsigned char>(p[whole + i])) << (8 * i);
    s.absorb(last);
    s.v2 ^= 0xff;
    for (int i = 0; i < 3; ++i) s.round();  // three finalisation rounds
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace plovane
