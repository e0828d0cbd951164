// Decoding of character and entity references in character data and
// attribute values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "read/read_error.h"
#include "storage/expected.h"

namespace plovane {

// Attribute values also turn literal tab, line feed and carriage return
// (and a CR LF pair) into one space each; character data keeps them.
enum class DecodeMode : uint8_t { Text, Attribute };

struct DecodedText {
    enum class Form : uint8_t { View, Owned };

    Form form = Form::View;
    std::string_view view;  // View: the input itself, untouched
    std::string owned;      // Owned: the rewritten text

    static DecodedText of_view(std::string_view input) { return {Form::View, input, {}}; }
    static DecodedText of_owned(std::string text) { return {Form::Owned, {}, std::move(text)}; }

    bool is_view() const noexcept { return form == Form::View; }
    std::string_view text() const noexcept { return is_view() ? view : std::string_view(owned); }
};

// `base` is the document offset of bytes[0]; errors carry document offsets.
// Returns a View, without allocating, when nothing needs rewriting.
Expected<DecodedText, ReadError> decode_references(std::string_view bytes, uint64_t base,
                                                   DecodeMode mode);

}  // namespace plovane
