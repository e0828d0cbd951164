#include "platform/io_error.h"

#include <cstring>

namespace plovane {

namespace {

// strerror_r comes in two forms: the GNU one returns the text (which need not
// be in the buffer), the POSIX one (musl, macOS) fills the buffer and returns
// 0; overloading on the result picks the right reading for either.
[[maybe_unused]] const char* error_text(const char* returned, const char*) {
    return returned;
}
[[maybe_unused]] const char* error_text(int returned, const char* buffer) {
    return returned == 0 ? buffer : "Unknown error";
}

}  // namespace

std::string IoError::message() const {
    if (code == 0) return fixed ? fixed : "unknown error";
    char buffer[256] = {};
#if defined(_WIN32)
    const char* text = strerror_s(buffer, sizeof buffer, code) == 0 ? buffer : "Unknown error";
#else
    const char* text = error_text(strerror_r(code, buffer, sizeof buffer), buffer);
#endif
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

}  // namespace plovane
