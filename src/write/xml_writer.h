// Serialises a tree as indented XML into memory or a file. The list forms
// write a laid-out tree; the record forms lay the record tree out first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/element_record.h"
#include "storage/io_error.h"
#include "write/memory_sink.h"
#include "write/write_list.h"

namespace plovane {

inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// The bytes in the writer's own buffer: for callers that copy the text out
// anyway, saving the copy into a std::string.
MemorySink write_to_memory(const WriteList& list, uint64_t indent, bool declaration);
// Creates or truncates `path`; returns the first I/O failure, if any.
std::optional<IoError> write_to_file(const WriteList& list, const std::string& path,
                                     uint64_t indent, bool declaration);

std::string write_to_string(const ElementRecord& root, uint64_t indent, bool declaration);
std::optional<IoError> write_to_file(const ElementRecord& root, const std::string& path,
                                     uint64_t indent, bool declaration);
// The number of indentation spaces the output of `root` would hold,
// saturating at UINT64_MAX.
uint64_t indentation_bytes(const ElementRecord& root, uint64_t indent);

}  // namespace plovane
