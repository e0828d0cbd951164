// A failed file operation: an operating-system error number, or one of the
// fixed failures that have none.
#pragma once

#include <string>

namespace plovane {

struct IoError {
    int code = 0;                 // errno, or 0 for a fixed failure
    const char* fixed = nullptr;  // the fixed message when code is 0

    static IoError from_errno(int code) { return {code, nullptr}; }
    static IoError with_message(const char* text) { return {0, text}; }

    // "No such file or directory (os error 2)", or the fixed text.
    std::string message() const;
};

inline constexpr const char* kNulInPath = "file name contained an unexpected NUL byte";

}  // namespace plovane
