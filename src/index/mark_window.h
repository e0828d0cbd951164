// Forward searches for the sequential strategy, answered from bitmaps of
// '<', '>' and quotes that a vector kernel makes a kilobyte ahead of the
// scan: a search is a few bit operations instead of a library call or a loop
// over bytes. Every block is marked at most once while searches move forward.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "simd/bit_ops.h"
#include "simd/byte_marks.h"
#include "simd/find_byte.h"

namespace plovane::index_detail {

class MarkWindow {
  public:
    MarkWindow(const char* input, uint64_t len, MarkKernel kernel)
        : in_(input), len_(len), blocks_((len + 63) / 64), kernel_(kernel) {}

    // The first '<' at or after `from`, or kNotFound. Only the window already
    // marked is read from marks: past it lies character data, often long,
    // which memchr skips faster than marking would, comparing one byte
    // value instead of four.
    uint64_t next_lt(uint64_t from) {
        uint64_t start = from;
        if (from < len_ && from / 64 - first_ < count_) {
            uint64_t block = from / 64;
            uint64_t bits = window_[block - first_].lt & (~uint64_t{0} << (from % 64));
            while (bits == 0 && ++block - first_ < count_) bits = window_[block - first_].lt;
            if (bits != 0) return block * 64 + lowest_bit(bits);
            start = (first_ + count_) * 64;
        }
        return find_byte(in_, start, len_, '<');
    }

    // The first '>' at or after `from` outside quoted values, reading quotes
    // from `from` on as a start tag's attribute list does; kNotFound when the
    // input ends inside a quoted value. A word with quotes of one kind is
    // settled by a prefix XOR of its quote bits, other words quote by quote.
    uint64_t next_unquoted_gt(uint64_t from) {
        if (from >= len_) return kNotFound;
        bool in_double = false;
        bool in_single = false;
        uint64_t from_here = ~uint64_t{0} << (from % 64);
        for (uint64_t block = from / 64; block < blocks_; ++block, from_here = ~uint64_t{0}) {
            const ByteMarks& m = marks(block);
            const uint64_t dq = m.dq & from_here;
            const uint64_t sq = m.sq & from_here;
            const uint64_t gt = m.gt & from_here;
            uint64_t outside;
            if (sq == 0 && !in_single) {
                // Bit i of the prefix XOR is set inside a value, its opening
                // quote included; a closing quote's own bit is clear.
                outside = ~(prefix_xor_by_shifts(dq) ^ (in_double ? ~uint64_t{0} : 0));
                in_double ^= (std::popcount(dq) & 1) != 0;
            } else if (dq == 0 && !in_double) {
                outside = ~(prefix_xor_by_shifts(sq) ^ (in_single ? ~uint64_t{0} : 0));
                in_single ^= (std::popcount(sq) & 1) != 0;
            } else {
                const uint64_t found = first_outside(dq, sq, gt, in_double, in_single);
                if (found != kNotFound) return block * 64 + found;
                continue;
            }
            if (const uint64_t hits = gt & outside) return block * 64 + lowest_bit(hits);
        }
        return kNotFound;
    }

  private:
    static constexpr uint64_t kWindow = 16;  // blocks marked at a time: 1 KiB

    // The bit of the first '>' outside quoted values in one word holding
    // quotes of both kinds, taken in order; kNotFound, with the quote state
    // carried on, when there is none.
    static uint64_t first_outside(uint64_t dq, uint64_t sq, uint64_t gt, bool& in_double,
                                  bool& in_single) {
        for (uint64_t events = dq | sq | gt; events != 0; events &= events - 1) {
            const uint64_t bit = events & -events;
            if (in_double) {
                in_double = (dq & bit) == 0;
            } else if (in_single) {
                in_single = (sq & bit) == 0;
            } else if (gt & bit) {
                return lowest_bit(bit);
            } else {
                ((dq & bit) ? in_double : in_single) = true;
            }
        }
        return kNotFound;
    }

    const ByteMarks& marks(uint64_t block) {
        if (block - first_ >= count_) {
            // Ahead of the window, or (after a search that ran to the end)
            // behind it: mark a window from this block on.
            first_ = block;
            count_ = std::min(kWindow, blocks_ - block);
            kernel_(in_, len_, first_, first_ + count_, window_);
        }
        return window_[block - first_];
    }

    const char* in_;
    uint64_t len_;
    uint64_t blocks_;
    MarkKernel kernel_;
    uint64_t first_ = 0;
    uint64_t count_ = 0;
    ByteMarks window_[kWindow];
};

}  // namespace plovane::index_detail
