// Reads the first element named `root_tag` (at any depth) of a document, or
// reports why the document cannot be read.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "index/structural_index.h"
#include "read/element_sink.h"
#include "read/read_error.h"
#include "storage/expected.h"
#include "storage/flat_tree.h"
#include "storage/shared_source.h"

namespace plovane {

using IndexBuilder = IndexBuild (*)(const char* input, uint64_t len);

// The element's tree in post order (see FlatTree). The index is built by
// `build` over the source's text: build_index, which picks the strategy,
// unless a caller needs one strategy in particular.
Expected<FlatTree, ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                            IndexBuilder build = build_index);
// The same, giving the elements to `sink` as they are finished: on an error
// it has been given some of them.
std::optional<ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                       ElementSink& sink, IndexBuilder build = build_index);

}  // namespace plovane
