// A growable in-memory byte buffer that the serializer appends to.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace plovane {

// Writes through a raw cursor into a std::string whose size is its working
// capacity, so the common append is one bounds check and one memcpy; the
// string is cut to the bytes written when it is taken. Appends never fail.
class MemorySink {
  public:
    MemorySink() : cursor_(buffer_.data()), limit_(cursor_) {}
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;

    void reserve(size_t bytes) {
        if (bytes > room()) grow_exact(bytes);
    }
    bool append(std::string_view bytes) {
        if (bytes.size() > room()) grow(bytes.size());
        if (!bytes.empty()) std::memcpy(cursor_, bytes.data(), bytes.size());
        cursor_ += bytes.size();
        return true;
    }
    bool append_spaces(uint64_t count);
    uint64_t size() const noexcept { return static_cast<uint64_t>(cursor_ - buffer_.data()); }
    std::string take() &&;

  private:
    size_t room() const noexcept { return static_cast<size_t>(limit_ - cursor_); }
    // Makes room for `bytes` more, at least doubling the working capacity.
    void grow(uint64_t bytes);
    void grow_exact(uint64_t bytes);

    std::string buffer_;
    char* cursor_;
    char* limit_;
};

}  // namespace plovane
