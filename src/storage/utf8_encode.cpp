#include "storage/utf8_encode.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "platform/page_hints.h"
#include "simd/classify_kernels.h"

namespace plovane {

namespace {

// Units encoded per step: few enough that a step counted first is still in
// the cache when it is encoded.
constexpr size_t kStepUnits = size_t{1} << 15;

size_t widest_encoding(unsigned unit_size) noexcept {
    return unit_size == 1 ? 2 : unit_size == 2 ? 3 : 4;
}

// A malloc'd buffer that grows by half at least and gives back its unused
// end when done.
class GrowingBuffer {
  public:
    explicit GrowingBuffer(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {
        data_ = static_cast<char*>(std::malloc(capacity_));
        if (!data_) throw std::bad_alloc();
        advise_huge_pages(data_, capacity_);
    }
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;
    ~GrowingBuffer() { std::free(data_); }

    char* end() noexcept { return data_ + used_; }
    size_t room() const noexcept { return capacity_ - used_; }
    void advance(char* new_end) noexcept { used_ = static_cast<size_t>(new_end - data_); }
    void make_room(size_t bytes) {
        if (bytes <= room()) return;
        resize(std::max(used_ + bytes, capacity_ + capacity_ / 2));
    }
    // The buffer cut to what was written; the caller frees it.
    EncodedText release() {
        if (used_ != capacity_) resize(used_);
        return {std::exchange(data_, nullptr), used_, 0};
    }

  private:
    void resize(size_t capacity) {
        void* moved = std::realloc(data_, std::max<size_t>(capacity, 1));
        if (!moved) throw std::bad_alloc();
        data_ = static_cast<char*>(moved);
        capacity_ = capacity;
    }

    char* data_;
    size_t capacity_;
    size_t used_ = 0;
};

}  // namespace

EncodedText encode_utf8(const void* units, size_t count, unsigned unit_size) {
    // The size and the encoding are computed by the kernels of the chosen
    // instruction set (simd/encode_blocks.h).
    static const KernelInfo& kernel = selected_kernel();
    const auto* bytes = static_cast<const unsigned char*>(units);
    // A large str is read once: counting it all before encoding it read it
    // from memory twice. The buffer's size is guessed from the first step,
    // counted exactly, with some spare; a step that may not fit is counted
    // before it is encoded, and the buffer grows for it when it has to. The
    // unused end goes back at the end, so a read asks for about what the
    // last one gave back, and the allocator reuses that memory instead of
    // taking fresh pages from the system, which fault in one by one.
    const size_t first = std::min(count, kStepUnits);
    const size_t first_size = kernel.utf8_size(bytes, first, unit_size);
    const double per_unit =
        first ? static_cast<double>(first_size) / static_cast<double>(first) : 1;
    const size_t rest = count - first;
    GrowingBuffer out(first_size + static_cast<size_t>(per_unit * static_cast<double>(rest)) +
                      rest / 8 + std::min(rest, kStepUnits) * widest_encoding(unit_size));
    for (size_t i = 0; i < count;) {
        const size_t n = std::min(count - i, kStepUnits);
        const unsigned char* step = bytes + i * unit_size;
        if (i != 0 && out.room() < n * widest_encoding(unit_size)) {
            out.make_room(kernel.utf8_size(step, n, unit_size));
        }
        size_t bad = 0;
        char* end = kernel.encode_utf8(step, n, unit_size, out.end(), &bad);
        if (!end) return {nullptr, 0, i + bad};
        out.advance(end);
        i += n;
    }
    return out.release();
}

}  // namespace plovane
