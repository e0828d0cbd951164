// Reads the first element named `root_tag` (at any depth) of a document into
// an ElementRecord tree, or reports why the document cannot be read.
#pragma once

#include <string_view>

#include "read/read_error.h"
#include "storage/element_record.h"
#include "storage/expected.h"
#include "storage/flat_tree.h"
#include "storage/shared_source.h"

namespace plovane {

Expected<ElementRecord, ReadError> read_document(const SourceRef& source,
                                                 std::string_view root_tag);

// The same tree in post order (see FlatTree): what the module turns into
// nodes, without a vector per element on the way.
Expected<FlatTree, ReadError> read_flat_document(const SourceRef& source,
                                                 std::string_view root_tag);

}  // namespace plovane
