// The state of a node tree as one flat string of bytes: how a tree is
// pickled. Every distinct node is described once, in post order (a node
// after all of its children), and refers to its children by how far back
// they are, so a child shared by several parents stays one node and no
// step of writing or reading nests.
//
// Layout: the 4-byte header "PLS\x01", the node count and the length of the
// structure part (unsigned LEB128 varints), the structure part, then the
// string part: every string's bytes, one after another, in the order the
// structure names them. Per node, the structure holds
//   name length, text (0: absent, else length + 1), attribute count,
//   key length and value length per attribute, child count, and per child
//   the distance back from this node's index to the child's (>= 1).
// The last node is the root. Strings are read from the string part in
// order: name, text, then each key and value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/expected.h"

namespace plovane {

// Builds a state node by node, children before their parents.
class StateWriter {
  public:
    // Starts the next node; `text` is null when the node has no text. Then
    // come exactly `attr_count` calls of attr() and one of children().
    void begin(std::string_view name, const std::string_view* text, uint64_t attr_count);
    void attr(std::string_view key, std::string_view value);
    // Ends the node; `indices` are the indices of nodes written before it.
    // Returns this node's index.
    uint64_t children(const uint64_t* indices, size_t count);

    // The finished state's size, and its bytes written to `out`.
    size_t size() const noexcept;
    void copy_to(char* out) const noexcept;

  private:
    void put_string(std::string_view text);

    std::string structure_;
    std::string strings_;
    uint64_t nodes_ = 0;
};

// A string of the state: a stretch of its string part.
struct StateString {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// One node read from a state.
struct StateNode {
    StateString name;
    std::optional<StateString> text;
    std::vector<std::pair<StateString, StateString>> attrs;
    std::vector<uint64_t> children;  // indices of earlier nodes
};

struct StateError {
    std::string message;
};

// Reads a state's nodes in order, checking every bound as it goes: a state
// that passes every step describes a valid tree whose strings are UTF-8.
class StateReader {
  public:
    // Checks the header, the counts and the string part's encoding.
    static Expected<StateReader, StateError> open(std::string_view state);

    uint64_t node_count() const noexcept { return node_count_; }
    // The string part, which every StateString points into.
    std::string_view strings() const noexcept { return strings_; }
    // Whether every node has been read.
    bool done() const noexcept { return read_ == node_count_; }
    // Reads the next node into `out` (reusing its vectors); an error when
    // the state is malformed. The state must not be done().
    std::optional<StateError> next(StateNode& out);
    // After the last node: an error unless every byte was used.
    std::optional<StateError> finish() const;

  private:
    StateReader() = default;
    bool varint(uint64_t& out) noexcept;
    // A string given by its length in the structure part; the next `size`
    // bytes of the string part.
    std::optional<StateError> string(StateString& out);
    std::optional<StateError> take(uint64_t size, StateString& out);

    std::string_view structure_;
    size_t position_ = 0;
    std::string_view strings_;
    uint64_t string_position_ = 0;
    uint64_t node_count_ = 0;
    uint64_t read_ = 0;
};

}  // namespace plovane
