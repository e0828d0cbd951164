#include "storage/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "storage/utf8_validate.h"

namespace plovane {

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { ::close(fd_); }

  private:
    int fd_;
};

int open_for_reading(const char* path) noexcept {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads up to `size` bytes; 0 at the end of the file, -1 with errno set.
ssize_t read_some(int fd, char* out, size_t size) noexcept {
    ssize_t got;
    do {
        got = ::read(fd, out, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Reads everything up to the end of the file into `text`; returns 0, or the
// error number of a failed read. `expected` is the size the file reported;
// files may grow or shrink meanwhile, and files of the /proc kind report 0
// whatever they hold.
int read_to_end(int fd, size_t expected, std::string& text) {
    constexpr size_t kMinGrowth = 8192;
    text.resize(expected);
    size_t filled = 0;
    for (;;) {
        if (filled == text.size()) {
            // Probe with a small read before growing: usually the file has
            // exactly the reported size and this read finds its end.
            char probe[64];
            const ssize_t got = read_some(fd, probe, sizeof probe);
            if (got < 0) return errno;
            if (got == 0) break;
            text.resize(filled + std::max(filled, kMinGrowth));
            std::copy(probe, probe + got, text.data() + filled);
            filled += static_cast<size_t>(got);
            continue;
        }
        const ssize_t got = read_some(fd, text.data() + filled, text.size() - filled);
        if (got < 0) return errno;
        if (got == 0) break;
        filled += static_cast<size_t>(got);
    }
    text.resize(filled);
    return 0;
}

}  // namespace

Expected<SourceRef, IoError> read_text_file(const std::string& path) {
    if (path.find('\0') != std::string::npos) return unexpected(IoError::with_message(kNulInPath));
    const int fd = open_for_reading(path.c_str());
    if (fd < 0) return unexpected(IoError::from_errno(errno));
    const FileDescriptor closer(fd);

    struct stat info;
    if (::fstat(fd, &info) != 0) return unexpected(IoError::from_errno(errno));
    const size_t expected = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0;

    std::string text;
    // A directory opens fine for reading; its first read fails with EISDIR.
    if (int error = read_to_end(fd, expected, text)) return unexpected(IoError::from_errno(error));
    if (!is_valid_utf8(text.data(), text.size())) {
        return unexpected(IoError::with_message("stream did not contain valid UTF-8"));
    }
    return SharedSource::owned(std::move(text));
}

}  // namespace plovane
