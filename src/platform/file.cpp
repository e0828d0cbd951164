#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <utility>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace plovane {

namespace {

#if defined(_WIN32)

// The path as UTF-16, for the wide-character calls; empty when it is not
// UTF-8 (the call then fails as for a missing file).
std::wstring wide_path(const std::string& path) {
    const int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                          static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    if (chars > 0) {
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                            static_cast<int>(path.size()), wide.data(), chars);
    }
    return wide;
}

int open_path(const std::string& path, int flags, int mode) {
    return _wopen(wide_path(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, mode);
}
constexpr int kReadFlags = _O_RDONLY;
constexpr int kWriteFlags = _O_WRONLY | _O_CREAT | _O_TRUNC;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
// One call moves at most this much.
constexpr size_t kMaxCall = INT_MAX;
long long read_call(int fd, char* out, size_t size) {
    return _read(fd, out, static_cast<unsigned>(size));
}
long long write_call(int fd, const char* data, size_t size) {
    return _write(fd, data, static_cast<unsigned>(size));
}
void close_call(int fd) {
    _close(fd);
}

#else

int open_path(const std::string& path, int flags, int mode) {
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}
constexpr int kReadFlags = O_RDONLY;
constexpr int kWriteFlags = O_WRONLY | O_CREAT | O_TRUNC;
constexpr int kCreateMode = 0666;
constexpr size_t kMaxCall = INT_MAX;
long long read_call(int fd, char* out, size_t size) {
    return ::read(fd, out, size);
}
long long write_call(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}
void close_call(int fd) {
    ::close(fd);
}

#endif

std::optional<IoError> open_with(int& fd, const std::string& path, int flags,
                                 InterruptCheck interrupt) {
    if (path.find('\0') != std::string::npos) return IoError::with_message(kNulInPath);
    for (;;) {
        fd = open_path(path, flags, kCreateMode);
        if (fd >= 0) return std::nullopt;
        if (errno != EINTR || !interrupt.should_retry()) return IoError::from_errno(errno);
    }
}

}  // namespace

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::optional<IoError> File::open_for_reading(const std::string& path, InterruptCheck interrupt) {
    close();
    return open_with(fd_, path, kReadFlags, interrupt);
}

std::optional<IoError> File::open_for_writing(const std::string& path, InterruptCheck interrupt) {
    close();
    return open_with(fd_, path, kWriteFlags, interrupt);
}

uint64_t File::regular_size() const noexcept {
#if defined(_WIN32)
    struct _stat64 info;
    if (_fstat64(fd_, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return 0;
    return static_cast<uint64_t>(info.st_size);
#elif defined(__GLIBC__)
    // statx dates from glibc 2.28, where fstat became a symbol of its own
    // only in 2.33: wheels built here then load on older systems too.
    struct statx info;
    if (statx(fd_, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE, &info) != 0 ||
        !S_ISREG(info.stx_mode))
        return 0;
    return info.stx_size;
#else
    struct stat info;
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<uint64_t>(info.st_size);
#endif
}

std::optional<IoError> File::read_some(char* out, size_t size, size_t& got,
                                       InterruptCheck interrupt) {
    const size_t ask = size < kMaxCall ? size : kMaxCall;
    for (;;) {
        const long long result = read_call(fd_, out, ask);
        if (result >= 0) {
            got = static_cast<size_t>(result);
            return std::nullopt;
        }
        if (errno != EINTR || !interrupt.should_retry()) return IoError::from_errno(errno);
    }
}

std::optional<IoError> File::write_some(const char* data, size_t size, size_t& accepted,
                                        InterruptCheck interrupt) {
    const size_t ask = size < kMaxCall ? size : kMaxCall;
    for (;;) {
        const long long result = write_call(fd_, data, ask);
        if (result >= 0) {
            accepted = static_cast<size_t>(result);
            return std::nullopt;
        }
        if (errno != EINTR || !interrupt.should_retry()) return IoError::from_errno(errno);
    }
}

void File::close() noexcept {
    if (fd_ < 0) return;
    close_call(fd_);
    fd_ = -1;
}

}  // namespace plovane
