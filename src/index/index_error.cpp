#include <string>

#include "index/structural_index.h"

namespace plovane {

std::string IndexError::message() const {
    return "Unclosed tag at byte " + std::to_string(position);
}

}  // namespace plovane
