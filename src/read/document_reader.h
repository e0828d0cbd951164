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
// unless a caller needs one strategy in particular. With build_index, a
// document it gives to byte searches is read as read_document_in_batches
// reads it.
Expected<FlatTree, ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                            IndexBuilder build = build_index);
// The same, giving the elements to `sink` as they are finished: on an error
// it has been given some of them.
std::optional<ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                       ElementSink& sink, IndexBuilder build = build_index);
// Reads over the byte-search index made `batch_records` records at a time,
// each batch read before the next is made, so the index never takes more
// memory than one batch. The result, and any error, is that of a read over
// build_sequential's whole index: an error of the index comes first wherever
// it lies, so the input is indexed to its end even after the root.
std::optional<ReadError> read_document_in_batches(const SourceRef& source,
                                                  std::string_view root_tag, ElementSink& sink,
                                                  uint64_t batch_records);

}  // namespace plovane
