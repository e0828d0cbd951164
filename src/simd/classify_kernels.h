// The classifier kernels, one per instruction set, all computing the bitmaps
// of the byte-by-byte definition, and the choice among them. Each instruction
// set also has a byte-marking kernel for the sequential index, the writer's
// escape scans and the UTF-8 encoder; they are chosen together.
#pragma once

#include <cstdint>
#include <vector>

#include "simd/byte_marks.h"
#include "simd/classify.h"
#include "simd/encode_kernels.h"
#include "simd/escape_kernels.h"

namespace plovane {

// Fills `lt_bits` and `gt_bits`, (len + 63) / 64 zeroed words each, and
// returns whether the input ends inside a quoted region.
using ClassifyKernel = bool (*)(const char* input, uint64_t len, uint64_t* lt_bits,
                                uint64_t* gt_bits);

struct KernelInfo {
    const char* name;
    ClassifyKernel run;
    MarkKernel mark;
    EscapeKernel text_escape;
    EscapeKernel attribute_escape;
    Utf8SizeKernel utf8_size;
    EncodeKernel encode_utf8;
};

bool classify_scalar(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits);
void mark_scalar(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out);
#include "platform/target.h"

#if defined(PLOVANE_X86_64)
bool classify_sse2(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits);
void mark_sse2(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out);
bool classify_avx2(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits);
void mark_avx2(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out);
bool classify_avx512(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits);
void mark_avx512(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out);
#elif defined(PLOVANE_ARM64)
bool classify_neon(const char* input, uint64_t len, uint64_t* lt_bits, uint64_t* gt_bits);
void mark_neon(const char* input, uint64_t len, uint64_t first, uint64_t end, ByteMarks* out);
#endif

// Every kernel this processor can run, the scalar one first.
std::vector<KernelInfo> supported_kernels();

// The kernel classify_structural uses, chosen once per process.
const KernelInfo& selected_kernel();

// Runs `kernel` over the whole input.
StructuralBitmaps classify_with(ClassifyKernel kernel, const char* input, uint64_t len);

}  // namespace plovane
