// Fuzz target for the UTF-8 encoder of fixed-width code units: its output,
// written in vector blocks into a buffer sized from the text's start,
// against a plain one-unit-at-a-time encoding, for each of the three unit
// widths; and every kernel this processor runs against the scalar one, each
// writing into a buffer of exactly the counted size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/cpp/utf8_reference.h"
#include "simd/classify_kernels.h"
#include "storage/utf8_encode.h"

namespace {

using namespace plovane;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "encode_fuzz: %s\n", what);
    std::abort();
}

// The encoding of `units`, or false with `surrogate` set.
template <class Unit>
bool reference(const std::vector<Unit>& units, std::string& out, size_t& surrogate) {
    for (size_t i = 0; i < units.size(); ++i) {
        const uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            surrogate = i;
            return false;
        }
        out += testing::utf8_of(c);
    }
    return true;
}

template <class Unit>
void check_kernels(const std::vector<Unit>& units, bool ok, size_t surrogate) {
    static const std::vector<KernelInfo> kernels = supported_kernels();
    const size_t size = utf8_size_scalar(units.data(), units.size(), sizeof(Unit));
    std::string expected(size, '\0');
    size_t bad = 0;
    encode_scalar(units.data(), units.size(), sizeof(Unit), expected.data(), &bad);
    for (const KernelInfo& k : kernels) {
        if (k.utf8_size(units.data(), units.size(), sizeof(Unit)) != size) fail("a kernel's size");
        // Exactly sized, so that the address sanitizer sees any write past it.
        std::vector<char> out(size);
        char* end = k.encode_utf8(units.data(), units.size(), sizeof(Unit), out.data(), &bad);
        if (!ok) {
            if (end || bad != surrogate) fail("a kernel's surrogate");
        } else if (end != out.data() + size || std::string(out.data(), size) != expected) {
            fail("a kernel's encoding");
        }
    }
}

template <class Unit>
void check(const uint8_t* data, size_t size) {
    std::vector<Unit> units(size / sizeof(Unit));
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * sizeof(Unit));
    // Four-byte units hold code points only.
    if constexpr (sizeof(Unit) == 4) {
        for (Unit& u : units) u %= 0x110000;
    }
    std::string expected;
    size_t surrogate = 0;
    const bool ok = reference(units, expected, surrogate);
    check_kernels(units, ok, surrogate);
    const EncodedText text = encode_utf8(units.data(), units.size(), sizeof(Unit));
    if (!ok) {
        if (text.data) fail("a surrogate was encoded");
        if (text.surrogate_at != surrogate) fail("the wrong surrogate was reported");
        return;
    }
    if (!text.data) fail("a text without surrogates was refused");
    if (std::string(text.data, text.size) != expected) fail("the encoding differs");
    std::free(text.data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    switch (data[0] % 3) {
        case 0:
            check<uint8_t>(data + 1, size - 1);
            break;
        case 1:
            check<uint16_t>(data + 1, size - 1);
            break;
        default:
            check<uint32_t>(data + 1, size - 1);
            break;
    }
    return 0;
}
