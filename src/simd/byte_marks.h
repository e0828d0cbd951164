// Bitmaps of the bytes that the sequential index searches for, one bit per
// byte of a 64-byte block, made a window of blocks at a time.
#pragma once

#include <cstdint>

namespace plovane {

struct ByteMarks {
    uint64_t lt = 0;  // '<'
    uint64_t gt = 0;  // '>'
    uint64_t dq = 0;  // '"'
    uint64_t sq = 0;  // '\''
};

// Marks the 64-byte blocks [first, end) of the input into out[0, end - first);
// a block that reaches past `len` is marked up to `len` only, and no byte
// past it is read.
using MarkKernel = void (*)(const char* input, uint64_t len, uint64_t first, uint64_t end,
                            ByteMarks* out);

}  // namespace plovane
