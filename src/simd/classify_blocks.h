// The vector kernel body, written once over a SIMD layer and compiled once
// per instruction set. A layer provides:
//   Block load(const char* p)            the 64 bytes at p
//   uint64_t eq(const Block&, char c)    bit i set when byte i equals c
//   uint64_t prefix_xor(uint64_t q)      bit i = XOR of bits 0..i of q
// Internal linkage throughout, for the reason given in quote_state.h.
#pragma once

#include <bit>
#include <cstdint>

#include "platform/prefetch.h"

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
// starting inside a region. The flags are 0 or 1 and stay in registers; the
// tests are arranged so that the usual block, quotes of one kind, takes the
// same branches whatever the flags.
template <class Simd>
inline uint64_t unquoted_positions(uint64_t dq, uint64_t sq, uint64_t& in_double,
                                   uint64_t& in_single) {
    if (dq != 0 && sq != 0) {
        QuoteState state{in_double != 0, in_single != 0};
        const uint64_t keep = mixed_quote_regions(dq, sq, state);
        in_double = state.in_double;
        in_single = state.in_single;
        return keep;
    }
    // Inside a region whose quote kind this block does not hold.
    if (((in_double & (dq == 0)) | (in_single & (sq == 0))) != 0) return 0;
    // One kind only, and no region of the other kind open: the prefix parity
    // of the quotes is 1 from each opening quote up to its closing one.
    const uint64_t quotes = dq | sq;
    const uint64_t is_double = dq != 0;
    const uint64_t open = (in_double & is_double) | (in_single & (is_double ^ 1));
    const uint64_t keep = Simd::prefix_xor(quotes) ^ (open - 1);
    const uint64_t flip = static_cast<uint64_t>(std::popcount(quotes) & 1);
    in_double ^= flip & is_double;
    in_single ^= flip & (is_double ^ 1);
    return keep;
}

// The loop does little per block, so on large inputs it waits on memory; a
// prefetch this far ahead keeps enough requests in flight. It stays within
// the full blocks: the input's bounds hold for hints too.
constexpr uint64_t kPrefetchBlocks = 64;

template <class Simd>
bool classify_blocks(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits) {
    uint64_t in_double = 0;
    uint64_t in_single = 0;
    const uint64_t full_blocks = len / 64;
    struct Masks {
        uint64_t lt, gt, dq, sq;
    };
    const auto masks = [&](uint64_t k) {
        const typename Simd::Block block = Simd::load(input + 64 * k);
        return Masks{Simd::eq(block, '<'), Simd::eq(block, '>'), Simd::eq(block, '"'),
                     Simd::eq(block, '\'')};
    };
    const auto store = [&](uint64_t k, Masks m) {
        if ((m.dq | m.sq | in_double | in_single) != 0) {
            const uint64_t keep = unquoted_positions<Simd>(m.dq, m.sq, in_double, in_single);
            m.lt &= keep;
            m.gt &= keep;
        }
        lt_bits[k] = m.lt;
        gt_bits[k] = m.gt;
    };
    // Two blocks a step: the second block's loads and compares overlap the
    // first block's quote resolution, which depends on the block before.
    uint64_t k = 0;
    for (; k + 2 <= full_blocks; k += 2) {
        if (k + kPrefetchBlocks + 1 < full_blocks) {
            prefetch(input + 64 * (k + kPrefetchBlocks));
            prefetch(input + 64 * (k + kPrefetchBlocks + 1));
        }
        const Masks a = masks(k);
        const Masks b = masks(k + 1);
        store(k, a);
        store(k + 1, b);
    }
    if (k < full_blocks) store(k, masks(k));
    // The partial last block is never padded into a vector load.
    QuoteState state{in_double != 0, in_single != 0};
    classify_bytes(input, full_blocks * 64, len, state, lt_bits, gt_bits);
    return state.inside();
}

}  // namespace
}  // namespace plovane
