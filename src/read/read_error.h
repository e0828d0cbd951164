// Why a document could not be read. Positions are 0-based byte offsets into
// the document's UTF-8 text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "index/structural_index.h"

namespace plovane {

class ReadError {
  public:
    struct Malformed {
        std::string message;
        uint64_t position = 0;
    };
    struct RootNotFound {
        std::string root_tag;
    };
    // The innermost element still open when the records ran out.
    struct Unclosed {
        std::string name;
    };
    // `name` is everything between '&' and ';'; `position` is that of '&'.
    struct UnknownEntity {
        std::string name;
        uint64_t position = 0;
    };
    using Kind = std::variant<IndexError, Malformed, RootNotFound, Unclosed, UnknownEntity>;

    template <class K>
    requires std::is_constructible_v<Kind, K&&> ReadError(K&& kind)
        : kind_(std::forward<K>(kind)) {}
    static ReadError malformed(std::string message, uint64_t position) {
        return Malformed{std::move(message), position};
    }

    const Kind& kind() const noexcept { return kind_; }
    template <class K>
    const K* get() const noexcept {
        return std::get_if<K>(&kind_);
    }

    // The text raised to the caller, e.g. "malformed XML at byte 5: unexpected '<'";
    // always valid UTF-8, a name from the document shown up to its last whole
    // character.
    std::string message() const;

  private:
    Kind kind_;
};

}  // namespace plovane
