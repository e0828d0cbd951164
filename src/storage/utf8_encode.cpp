#include "storage/utf8_encode.h"

#include <cstdlib>
#include <new>

#include "platform/page_hints.h"
#include "simd/classify_kernels.h"

namespace plovane {

EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size) {
    // The size and the encoding are computed by the kernels of the chosen
    // instruction set (simd/encode_blocks.h).
    static const KernelInfo& kernel = selected_kernel();
    // Counted first and allocated once at its final size. A worst-case block
    // shrunk afterwards made every read ask for more than the last one gave
    // back, so the allocator took fresh pages from the system each time, and
    // they faulted in one by one; reading documents one after another now
    // reuses the memory of the ones before.
    const size_t size = kernel.utf8_size(units, count, unit_size);
    auto* buffer = static_cast<char*>(std::malloc(size ? size : 1));
    if (!buffer) throw std::bad_alloc();
    advise_huge_pages(buffer, size);
    size_t bad = 0;
    if (!kernel.encode_utf8(units, count, unit_size, buffer, &bad)) {
        std::free(buffer);
        return {nullptr, 0, bad};
    }
    return {buffer, size, 0};
}

}  // namespace plovane
