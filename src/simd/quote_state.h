// The classifier's carried state and its byte-by-byte form.
//
// Everything here has internal linkage: the header is included by kernels
// compiled for different instruction sets, and an inline function shared
// across them could let the linker keep a copy built with AVX2 for use on a
// processor without it.
#pragma once

#include <cstdint>

namespace plovane {
namespace {

// At most one of the two flags is set at any time.
struct QuoteState {
    bool in_double = false;
    bool in_single = false;

    bool inside() const { return in_double || in_single; }
};

// Classifies bytes [from, to) one at a time, setting bits in the zeroed words
// `lt_bits` and `gt_bits`. This is the meaning every vector kernel reproduces.
inline void classify_bytes(const char* input, uint64_t from, uint64_t to, QuoteState& state,
                           uint64_t* lt_bits, uint64_t* gt_bits) {
    for (uint64_t i = from; i < to; ++i) {
        const char b = input[i];
        if (state.in_double) {
            state.in_double = b != '"';
        } else if (state.in_single) {
            state.in_single = b != '\'';
        } else if (b == '<') {
            lt_bits[i / 64] |= uint64_t{1} << (i % 64);
        } else if (b == '>') {
            gt_bits[i / 64] |= uint64_t{1} << (i % 64);
        } else if (b == '"') {
            state.in_double = true;
        } else if (b == '\'') {
            state.in_single = true;
        }
    }
}

}  // namespace
}  // namespace plovane
