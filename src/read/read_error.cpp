#include "read/read_error.h"

namespace plovane {

namespace {

struct Render {
    std::string operator()(const IndexError& e) const { return "malformed XML: " + e.message(); }
    std::string operator()(const ReadError::Malformed& e) const {
        return "malformed XML at byte " + std::to_string(e.position) + ": " + e.message;
    }
    std::string operator()(const ReadError::RootNotFound& e) const {
        return "root tag <" + e.root_tag + "> not found in document";
    }
    std::string operator()(const ReadError::Unclosed& e) const {
        return "unexpected end of document: <" + e.name + "> is never closed";
    }
    std::string operator()(const ReadError::UnknownEntity& e) const {
        return "unknown entity reference '&" + e.name + ";' at byte " + std::to_string(e.position);
    }
};

}  // namespace

std::string ReadError::message() const {
    return std::visit(Render{}, kind_);
}

}  // namespace plovane
