#include "storage/io_error.h"

#include <cstring>

namespace plovane {

std::string IoError::message() const {
    if (code == 0) return fixed ? fixed : "unknown error";
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in `buffer`.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

}  // namespace plovane
