// The vector kernel body, written once over a SIMD layer and compiled once
// per instruction set. A layer provides:
//   Block load(const char* p)            the 64 bytes at p
//   uint64_t eq(const Block&, char c)    bit i set when byte i equals c
//   uint64_t prefix_xor(uint64_t q)      bit i = XOR of bits 0..i of q
// Internal linkage throughout, for the reason given in quote_state.h.
#pragma once

#include <cstdint>

#include "simd/bit_ops.h"
#include "simd/quote_state.h"

namespace plovane {
namespace {

// Clears the '<' and '>' of a block that lie in quoted regions when quotes of
// both kinds meet in it: a quote of either kind may open a region, so they
// are resolved in position order. Rare in documents, hence not vectorised.
inline uint64_t mixed_quote_regions(uint64_t dq, uint64_t sq, QuoteState& state) {
    uint64_t regions = 0;
    uint64_t pending = dq | sq;
    if (state.inside()) {
        const unsigned q = lowest_bit(state.in_double ? dq : sq);
        regions = bits_through(q);
        pending &= ~bits_through(q);
        state = QuoteState{};
    }
    while (pending != 0) {
        const unsigned p = lowest_bit(pending);
        const bool is_double = (dq >> p & 1) != 0;
        const uint64_t later = (is_double ? dq : sq) & ~bits_through(p);
        if (later == 0) {
            (is_double ? state.in_double : state.in_single) = true;
            regions |= ~uint64_t{0} << p;
            break;
        }
        const unsigned q = lowest_bit(later);
        regions |= bits_through(q) & ~(bits_through(p) >> 1);
        pending &= ~bits_through(q);
    }
    return ~regions;
}

// The mask of positions outside quoted regions, for a block holding quotes or
// starting inside a region.
template <class Simd>
uint64_t unquoted_positions(uint64_t dq, uint64_t sq, QuoteState& state) {
    // Inside a region whose quote kind this block does not hold.
    if ((state.in_double && dq == 0) || (state.in_single && sq == 0)) return 0;
    if (dq != 0 && sq != 0) return mixed_quote_regions(dq, sq, state);
    // One kind only, and no region of the other kind open: the prefix parity
    // of the quotes is 1 from each opening quote up to its closing one.
    const bool is_double = dq != 0;
    bool& open = is_double ? state.in_double : state.in_single;
    const uint64_t quotes = dq | sq;
    const uint64_t keep = Simd::prefix_xor(quotes) ^ (uint64_t{open} - 1);
    open ^= __builtin_parityll(quotes) != 0;
    return keep;
}

template <class Simd>
bool classify_blocks(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    QuoteState state;
    const uint64_t full_blocks = len / 64;
    for (uint64_t k = 0; k < full_blocks; ++k) {
        const typename Simd::Block block = Simd::load(input + 64 * k);
        uint64_t lt = Simd::eq(block, '<');
        uint64_t gt = Simd::eq(block, '>');
        const uint64_t dq = Simd::eq(block, '"');
        const uint64_t sq = Simd::eq(block, '\'');
        if ((dq | sq) != 0 || state.inside()) {
            const uint64_t keep = unquoted_positions<Simd>(dq, sq, state);
            lt &= keep;
            gt &= keep;
        }
        lt_bits[k] = lt;
        gt_bits[k] = gt;
    }
    // The partial last block is never padded into a vector load.
    classify_bytes(input, full_blocks * 64, len, state, lt_bits, gt_bits);
    return state.inside();
}

}  // namespace
}  // namespace plovane
