// Serialises a laid-out tree as indented XML into memory or a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/io_error.h"
#include "write/memory_sink.h"
#include "write/write_list.h"

namespace plovane {

inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// The bytes in the writer's own buffer: for callers that copy the text out
// anyway, saving the copy into a std::string.
MemorySink write_to_memory(const WriteList& list, uint64_t indent, bool declaration);
// Creates or truncates `path`; returns the first I/O failure, if any.
std::optional<IoError> write_to_file(const WriteList& list, const std::string& path,
                                     uint64_t indent, bool declaration,
                                     InterruptCheck interrupt = {});

}  // namespace plovane
