#include "storage/utf8_encode.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "simd/huge_pages.h"

namespace plovane {

namespace {

// Units are checked and narrowed this many at a time; the loops below are
// simple enough for the compiler to turn into vector code on every target.
constexpr size_t kBlock = 16;

// Bits that are clear in a 64-bit word of ASCII units only.
template <class Unit>
constexpr uint64_t kNonAsciiBits = sizeof(Unit) == 1   ? 0x8080808080808080ULL
                                   : sizeof(Unit) == 2 ? 0xFF80FF80FF80FF80ULL
                                                       : 0xFFFFFF80FFFFFF80ULL;

// Word by word: compilers leave a unit-by-unit OR of narrow units scalar.
template <class Unit>
bool block_is_ascii(const Unit* in) noexcept {
    constexpr size_t kWords = kBlock * sizeof(Unit) / sizeof(uint64_t);
    uint64_t any = 0;
    for (size_t i = 0; i < kWords; ++i) {
        uint64_t word;
        std::memcpy(&word, reinterpret_cast<const char*>(in) + i * sizeof(word), sizeof(word));
        any |= word;
    }
    return (any & kNonAsciiBits<Unit>) == 0;
}

template <class Unit>
void narrow_block(const Unit* in, unsigned char* out) noexcept {
    for (size_t i = 0; i < kBlock; ++i) out[i] = static_cast<unsigned char>(in[i]);
}

// Writes one code point; false for a surrogate.
bool put_code_point(uint32_t c, unsigned char*& out) noexcept {
    if (c < 0x80) {
        *out++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return true;
}

// Encodes into `out`, which has room for the worst case; returns the end,
// or null with `bad` set to the index of a surrogate.
template <class Unit>
unsigned char* encode(const Unit* in, size_t count, unsigned char* out, size_t& bad) noexcept {
    size_t i = 0;
    while (i < count) {
        if (count - i >= kBlock && block_is_ascii(in + i)) {
            narrow_block(in + i, out);
            i += kBlock;
            out += kBlock;
            continue;
        }
        // A block with at least one non-ASCII unit goes one by one.
        const size_t end = count - i >= kBlock ? i + kBlock : count;
        for (; i < end; ++i) {
            if (!put_code_point(in[i], out)) {
                bad = i;
                return nullptr;
            }
        }
    }
    return out;
}

}  // namespace

size_t max_utf8_size(size_t count, unsigned unit_size) noexcept {
    // One byte per character gives at most 2 bytes, two give at most 3
    // (4-byte forms need two-unit pairs, which are refused), four give 4.
    return count * (unit_size == 1 ? 2 : unit_size == 2 ? 3 : 4);
}

EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size) {
    // Only the pages actually written are ever touched; the rest of the
    // worst-case block is given back by the final realloc.
    const size_t room = max_utf8_size(count, unit_size);
    auto* buffer = static_cast<unsigned char*>(std::malloc(room ? room : 1));
    if (!buffer) throw std::bad_alloc();
    advise_huge_pages(buffer, room);
    size_t bad = 0;
    unsigned char* end = nullptr;
    switch (unit_size) {
        case 1:
            end = encode(static_cast<const uint8_t*>(units), count, buffer, bad);
            break;
        case 2:
            end = encode(static_cast<const uint16_t*>(units), count, buffer, bad);
            break;
        default:
            end = encode(static_cast<const uint32_t*>(units), count, buffer, bad);
            break;
    }
    if (!end) {
        std::free(buffer);
        return {nullptr, 0, bad};
    }
    const size_t size = static_cast<size_t>(end - buffer);
    void* fitted = std::realloc(buffer, size ? size : 1);
    return {static_cast<char*>(fitted ? fitted : buffer), size, 0};
}

}  // namespace plovane
