#include "write/file_sink.h"

#include <algorithm>
#include <cerrno>

namespace plovane {

namespace {

// Writes [data, data + size) with as many calls as needed. `written`
// counts what was accepted, also when a later call fails; a call that
// accepts nothing fails with `zero_message`.
std::optional<IoError> write_all(File& file, const char* data, uint64_t size,
                                 const char* zero_message, InterruptCheck interrupt,
                                 uint64_t& written) {
    written = 0;
    while (written < size) {
        size_t accepted = 0;
        const uint64_t left = size - written;
        const size_t ask = left < SIZE_MAX ? static_cast<size_t>(left) : SIZE_MAX;
        if (auto error = file.write_some(data + written, ask, accepted, interrupt)) return error;
        if (accepted == 0) return IoError::with_message(zero_message);
        written += accepted;
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

std::optional<IoError> FileSink::open(const std::string& path, InterruptCheck interrupt) {
    interrupt_ = interrupt;
    if (auto error = file_.open_for_writing(path, interrupt)) return error;
    buffer_ = std::unique_ptr<char[]>(new char[kBufferSize]);
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
    if (auto failure = write_all(file_, data, size, kDirectWriteZero, interrupt_, written))
        return fail(*failure);
    return true;
}

// On a failure the bytes that did reach the file leave the buffer, so that
// a later attempt does not write them twice.
bool FileSink::flush() {
    uint64_t written;
    auto failure =
        write_all(file_, buffer_.get(), filled_, kBufferedWriteZero, interrupt_, written);
    if (failure) {
        std::memmove(buffer_.get(), buffer_.get() + written, filled_ - written);
        filled_ -= static_cast<size_t>(written);
        return fail(*failure);
    }
    filled_ = 0;
    return true;
}

void FileSink::close() noexcept {
    if (!file_.is_open()) return;
    if (filled_ > 0) {
        uint64_t written;
        (void)write_all(file_, buffer_.get(), filled_, kBufferedWriteZero, interrupt_, written);
        filled_ = 0;
    }
    buffer_.reset();
    file_.close();
}

}  // namespace plovane
