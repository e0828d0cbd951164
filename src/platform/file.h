// Files as the reader and the writer use them: opened by a UTF-8 path, read
// and written in runs, with the operating system's error number on failure.
// A call interrupted by a signal asks the caller's interrupt check whether to
// try again (the default: always).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/io_error.h"

namespace plovane {

// Asked after a system call was interrupted by a signal: true to repeat the
// call, false to give up with the interruption (EINTR) as the error.
struct InterruptCheck {
    bool (*retry)(void* context) = nullptr;
    void* context = nullptr;

    bool should_retry() const { return !retry || retry(context); }
};

class File {
  public:
    File() noexcept = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { close(); }

    // Fails with kNulInPath before any system call when the path holds a
    // NUL byte.
    std::optional<IoError> open_for_reading(const std::string& path, InterruptCheck interrupt = {});
    // Creates or truncates `path`: write only, permission bits 0666 less
    // the process's mask, not inherited by child processes.
    std::optional<IoError> open_for_writing(const std::string& path, InterruptCheck interrupt = {});

    // The size of a regular file, or 0 for anything else (pipes, devices,
    // and files of the /proc kind, which report 0 whatever they hold).
    uint64_t regular_size() const noexcept;
    // Reads up to `size` bytes into `out`: the count, 0 at the end of the
    // file, or the error.
    std::optional<IoError> read_some(char* out, size_t size, size_t& got,
                                     InterruptCheck interrupt = {});
    // Writes up to `size` bytes: the count accepted (perhaps 0), or the error.
    std::optional<IoError> write_some(const char* data, size_t size, size_t& accepted,
                                      InterruptCheck interrupt = {});
    // Closes, ignoring the result; idempotent.
    void close() noexcept;

    bool is_open() const noexcept { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace plovane
