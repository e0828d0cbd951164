// The byte-marking kernel body over a SIMD layer (see classify_blocks.h), and
// its byte-by-byte form. Internal linkage, as in quote_state.h.
#pragma once

#include <algorithm>
#include <cstdint>

#include "simd/byte_marks.h"

namespace plovane {
namespace {

// Marks the bytes [from, to) of one block into `m`, which must start zeroed.
inline void mark_bytes(const char* input, uint64_t from, uint64_t to, ByteMarks& m) {
    for (uint64_t i = from; i < to; ++i) {
        const uint64_t bit = uint64_t{1} << (i % 64);
        switch (input[i]) {
            case '<':
                m.lt |= bit;
                break;
            case '>':
                m.gt |= bit;
                break;
            case '"':
                m.dq |= bit;
                break;
            case '\'':
                m.sq |= bit;
                break;
            default:
                break;
        }
    }
}

template <class Simd>
void mark_blocks(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out) {
    const uint64_t full = std::min(end, len / 64);
    uint64_t k = first;
    for (; k < full; ++k) {
        const typename Simd::Block b = Simd::load(input + 64 * k);
        out[k - first] = {Simd::eq(b, '<'), Simd::eq(b, '>'), Simd::eq(b, '"'), Simd::eq(b, '\'')};
    }
    // The partial last block is never padded into a vector load.
    if (k < end) {
        out[k - first] = {};
        mark_bytes(input, 64 * k, len, out[k - first]);
    }
}

}  // namespace
}  // namespace plovane
