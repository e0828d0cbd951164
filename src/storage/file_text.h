// Reads a whole file as UTF-8 text into a SharedSource.
#pragma once

#include <string>

#include "platform/file.h"
#include "platform/io_error.h"
#include "storage/expected.h"
#include "storage/shared_source.h"

namespace plovane {

// Fails with the system's error number, with "stream did not contain valid
// UTF-8", or with kNulInPath for a path holding a NUL byte.
Expected<SourceRef, IoError> read_text_file(const std::string& path, InterruptCheck interrupt = {});

}  // namespace plovane
