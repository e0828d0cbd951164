// A file opened for writing behind an 8192-byte buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/io_error.h"

namespace plovane {

inline constexpr const char* kBufferedWriteZero = "failed to write the buffered data";
inline constexpr const char* kDirectWriteZero = "failed to write whole buffer";

// Appends report failure by returning false; the failure is kept in error().
// After a failure nothing more should be appended.
class FileSink {
  public:
    static constexpr size_t kBufferSize = 8192;

    FileSink() = default;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink() { close(); }

    // Creates or truncates `path` (write-only, mode 0666 less the umask,
    // close-on-exec). A path holding a NUL byte fails before any system call.
    // A system call interrupted by a signal asks `interrupt` whether to
    // go on.
    std::optional<IoError> open(const std::string& path, InterruptCheck interrupt = {});

    bool append(std::string_view bytes) {
        if (bytes.size() < kBufferSize - filled_) {
            if (bytes.empty()) return true;  // an absent string has no data pointer
            std::memcpy(buffer_.get() + filled_, bytes.data(), bytes.size());
            filled_ += bytes.size();
            return true;
        }
        return append_large(bytes);
    }
    bool append_spaces(uint64_t count);
    // Writes out what the buffer holds.
    bool flush();
    // Makes one last attempt to write what a failure left in the buffer,
    // ignoring its outcome, then closes the descriptor. Idempotent.
    void close() noexcept;

    const IoError& error() const noexcept { return error_; }
    size_t buffered() const noexcept { return filled_; }

  private:
    bool append_large(std::string_view bytes);
    bool write_straight(const char* data, uint64_t size);
    bool fail(IoError error) {
        error_ = error;
        return false;
    }

    File file_;
    InterruptCheck interrupt_;
    std::unique_ptr<char[]> buffer_;
    size_t filled_ = 0;
    IoError error_;
};

}  // namespace plovane
