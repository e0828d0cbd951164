// A growable in-memory byte buffer that the serializer appends to.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace plovane {

// One malloc'd block grown by realloc, at least doubling each time: for large
// outputs realloc remaps pages instead of copying them, so each page of the
// output is touched once (a std::string would copy and fault every page again
// at each growth). Appends never fail; running out of memory throws
// std::bad_alloc.
class MemorySink {
  public:
    MemorySink() noexcept = default;
    MemorySink(MemorySink&& other) noexcept
        : begin_(std::exchange(other.begin_, nullptr)),
          cursor_(std::exchange(other.cursor_, nullptr)),
          limit_(std::exchange(other.limit_, nullptr)) {}
    MemorySink& operator=(MemorySink other) noexcept {
        std::swap(begin_, other.begin_);
        std::swap(cursor_, other.cursor_);
        std::swap(limit_, other.limit_);
        return *this;
    }
    ~MemorySink() { std::free(begin_); }

    void reserve(uint64_t bytes) {
        if (bytes > room()) grow_to(size() + bytes);
    }
    bool append(std::string_view bytes) {
        if (bytes.size() > room()) grow(bytes.size());
        if (!bytes.empty()) std::memcpy(cursor_, bytes.data(), bytes.size());
        cursor_ += bytes.size();
        return true;
    }
    bool append_spaces(uint64_t count);

    const char* data() const noexcept { return begin_; }
    uint64_t size() const noexcept { return static_cast<uint64_t>(cursor_ - begin_); }
    std::string_view view() const noexcept { return {begin_, static_cast<size_t>(size())}; }

  private:
    uint64_t room() const noexcept { return static_cast<uint64_t>(limit_ - cursor_); }
    // Makes room for `bytes` more, at least doubling the capacity.
    void grow(uint64_t bytes);
    void grow_to(uint64_t capacity);

    char* begin_ = nullptr;
    char* cursor_ = nullptr;
    char* limit_ = nullptr;
};

}  // namespace plovane
