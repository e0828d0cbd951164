// The reader's walk over an index that is already built: read_document is
// build_index followed by this. Callers holding an index of a particular
// strategy (tests among them) run the walk directly.
#pragma once

#include <string_view>

#include "index/structural_index.h"
#include "read/read_error.h"
#include "storage/element_record.h"
#include "storage/expected.h"
#include "storage/flat_tree.h"
#include "storage/shared_source.h"

namespace plovane {

// `index` must have been built over `source`'s text.
Expected<ElementRecord, ReadError> read_indexed(const SourceRef& source,
                                                const StructuralIndex& index,
                                                std::string_view root_tag);
Expected<FlatTree, ReadError> read_flat_indexed(const SourceRef& source,
                                                const StructuralIndex& index,
                                                std::string_view root_tag);

}  // namespace plovane
