// Serialises an ElementRecord tree as indented XML into memory or a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/element_record.h"
#include "storage/io_error.h"
#include "write/memory_sink.h"

namespace plovane {

inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string write_to_string(ElementRecord root, uint64_t indent, bool declaration);
// The same bytes in the writer's own buffer, saving the copy into a
// std::string: for callers that copy the text out anyway.
MemorySink write_to_memory(ElementRecord root, uint64_t indent, bool declaration);
// Creates or truncates `path`; returns the first I/O failure, if any.
std::optional<IoError> write_to_file(ElementRecord root, const std::string& path, uint64_t indent,
                                     bool declaration);
// The number of indentation spaces the output of `root` would hold,
// saturating at UINT64_MAX; lets callers refuse absurd indents up front.
uint64_t indentation_bytes(const ElementRecord& root, uint64_t indent);

}  // namespace plovane
