#include "write/file_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace plovane {

namespace {

// The most one write call is asked to take; larger runs take several calls.
constexpr uint64_t kMaxWriteCall = INT_MAX;

// Writes [data, data + size) with as many calls as needed, repeating calls
// interrupted by a signal. `written` counts what was accepted, also when a
// later call fails; a call that accepts nothing fails with `zero_message`.
std::optional<IoError> write_all(int fd, const char* data, uint64_t size, const char* zero_message,
                                 uint64_t& written) {
    written = 0;
    while (written < size) {
        const size_t chunk = static_cast<size_t>(std::min(size - written, kMaxWriteCall));
        const ssize_t accepted = ::write(fd, data + written, chunk);
        if (accepted < 0) {
            if (errno == EINTR) continue;
            return IoError::from_errno(errno);
        }
        if (accepted == 0) return IoError::with_message(zero_message);
        written += static_cast<uint64_t>(accepted);
    }
    return std::nullopt;
}

// Source of long runs of indentation written straight to the file.
constexpr size_t kSpaceBlock = FileSink::kBufferSize;
const char* space_block() {
    static const std::string spaces(kSpaceBlock, ' ');
    return spaces.data();
}

}  // namespace

std::optional<IoError> FileSink::open(const std::string& path) {
    if (path.find('\0') != std::string::npos) return IoError::with_message(kNulInPath);
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return IoError::from_errno(errno);
    fd_ = fd;
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    filled_ = 0;
    return std::nullopt;
}

// A run at least as long as the free space: flush first if it does not fit
// exactly, then copy it in, or write it straight when it would fill a whole
// buffer by itself.
bool FileSink::append_large(std::string_view bytes) {
    if (bytes.empty()) return true;  // nothing to copy, even into a full buffer
    if (bytes.size() > kBufferSize - filled_ && !flush()) return false;
    if (bytes.size() >= kBufferSize) return write_straight(bytes.data(), bytes.size());
    std::memcpy(buffer_.get() + filled_, bytes.data(), bytes.size());
    filled_ += bytes.size();
    return true;
}

// Indentation follows the rules of append for one run of `count` spaces; a
// run written straight is taken from a constant block, block by block.
bool FileSink::append_spaces(uint64_t count) {
    if (count >= kBufferSize - filled_) {
        if (count > kBufferSize - filled_ && !flush()) return false;
        if (count >= kBufferSize) {
            for (uint64_t left = count; left > 0;) {
                const uint64_t piece = std::min<uint64_t>(left, kSpaceBlock);
                if (!write_straight(space_block(), piece)) return false;
                left -= piece;
            }
            return true;
        }
    }
    std::memset(buffer_.get() + filled_, ' ', static_cast<size_t>(count));
    filled_ += static_cast<size_t>(count);
    return true;
}

bool FileSink::write_straight(const char* data, uint64_t size) {
    uint64_t written;
    if (auto failure = write_all(fd_, data, size, kDirectWriteZero, written)) return fail(*failure);
    return true;
}

// On a failure the bytes that did reach the file leave the buffer, so that
// a later attempt does not write them twice.
bool FileSink::flush() {
    uint64_t written;
    auto failure = write_all(fd_, buffer_.get(), filled_, kBufferedWriteZero, written);
    if (failure) {
        std::memmove(buffer_.get(), buffer_.get() + written, filled_ - written);
        filled_ -= static_cast<size_t>(written);
        return fail(*failure);
    }
    filled_ = 0;
    return true;
}

void FileSink::close() noexcept {
    if (fd_ < 0) return;
    if (filled_ > 0) {
        uint64_t written;
        (void)write_all(fd_, buffer_.get(), filled_, kBufferedWriteZero, written);
        filled_ = 0;
    }
    buffer_.reset();
    ::close(fd_);
    fd_ = -1;
}

}  // namespace plovane
