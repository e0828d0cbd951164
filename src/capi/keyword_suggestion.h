// The "Did you mean ...?" of a call with a misspelt keyword, chosen by the
// interpreter's own rule so that the module's message reads as a Python
// function's would.
#pragma once

#include <span>
#include <string_view>

namespace plovane {

// The candidate closest to `name` by an edit distance in which inserting,
// deleting or replacing a byte costs 2 and a change of ASCII letter case 1,
// if at most about a third of the bytes of both need changing; of equally
// close candidates the first. Null when none is close enough; `name`
// itself is not a suggestion.
const char* closest_keyword(std::string_view name, std::span<const char* const> candidates);

}  // namespace plovane
