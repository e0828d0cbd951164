#include "read/read_error.h"

#include "storage/utf8_validate.h"

namespace plovane {

namespace {

// Length of the UTF-8 sequence that `lead` starts, as far as its bits tell.
size_t sequence_length(unsigned char lead) noexcept {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    return lead >= 0xE0 ? 3 : 2;
}

// The whole characters of `text`, dropping any byte that belongs to no
// complete one. The index keeps only the low 16 bits of a name's length, so
// a long name can be cut inside a character, and the attribute area after
// it then starts inside one; a message showing such a name still has to be
// text.
std::string whole_characters(std::string text) {
    if (is_valid_utf8(text.data(), text.size())) return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = sequence_length(static_cast<unsigned char>(text[i]));
        if (i + n <= text.size() && is_valid_utf8(text.data() + i, n)) {
            out.append(text, i, n);
            i += n;
        } else {
            ++i;
        }
    }
    return out;
}

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
    return whole_characters(std::visit(Render{}, kind_));
}

}  // namespace plovane
