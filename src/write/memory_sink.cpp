#include "write/memory_sink.h"

#include <algorithm>
#include <new>

namespace plovane {

bool MemorySink::append_spaces(uint64_t count) {
    if (count > room()) grow(count);
    std::memset(cursor_, ' ', static_cast<size_t>(count));
    cursor_ += count;
    return true;
}

void MemorySink::grow(uint64_t bytes) {
    constexpr uint64_t kMinimum = 256;
    grow_exact(std::max({bytes, static_cast<uint64_t>(buffer_.size()), kMinimum}));
}

void MemorySink::grow_exact(uint64_t bytes) {
    const uint64_t used = size();
    // A request beyond what a string can hold is an out-of-memory condition.
    if (bytes > buffer_.max_size() - used) throw std::bad_alloc();
    buffer_.resize(static_cast<size_t>(used + bytes));
    cursor_ = buffer_.data() + used;
    limit_ = buffer_.data() + buffer_.size();
}

std::string MemorySink::take() && {
    buffer_.resize(static_cast<size_t>(size()));
    cursor_ = limit_ = nullptr;
    return std::move(buffer_);
}

}  // namespace plovane
