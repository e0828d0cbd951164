// Classification of document bytes into bitmaps of the '<' and '>' that lie
// outside quoted regions, 64 bytes per word.
#pragma once

#include <cstdint>
#include <vector>

namespace plovane {

struct StructuralBitmaps {
    std::vector<uint64_t> lt_bits;
    std::vector<uint64_t> gt_bits;
    uint64_t len = 0;
    // Whether the input ends inside a quoted region: every '<' and '>' after
    // the last opening quote was then masked, markup included.
    bool ends_in_quote = false;
};

StructuralBitmaps classify_structural(const char* input, uint64_t len);

}  // namespace plovane
