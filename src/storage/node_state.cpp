#include "storage/node_state.h"

#include <cstring>

#include "storage/utf8_validate.h"

namespace plovane {

namespace {

constexpr char kHeader[4] = {'P', 'L', 'S', '\x01'};
// Name length, text, attribute count and child count: a byte each at least.
constexpr uint64_t kMinNodeBytes = 4;
// A key and a value length; a child distance.
constexpr uint64_t kMinAttrBytes = 2;
constexpr uint64_t kMinChildBytes = 1;

constexpr size_t kMaxVarintBytes = 10;

// Writes `value` to `out` (room for kMaxVarintBytes); returns the bytes written.
size_t encode_varint(char* out, uint64_t value) noexcept {
    size_t n = 0;
    while (value >= 0x80) {
        out[n++] = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out[n++] = static_cast<char>(value);
    return n;
}

void put_varint(std::string& out, uint64_t value) {
    char bytes[kMaxVarintBytes];
    out.append(bytes, encode_varint(bytes, value));
}

size_t varint_size(uint64_t value) noexcept {
    size_t n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

// Reads a varint from `data` at `position`; false when it runs past the end
// or past 64 bits.
bool get_varint(std::string_view data, size_t& position, uint64_t& out) noexcept {
    uint64_t value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (position == data.size()) return false;
        const auto byte = static_cast<unsigned char>(data[position++]);
        const uint64_t bits = byte & 0x7Fu;
        if (shift == 63 && bits > 1) return false;
        value |= bits << shift;
        if (!(byte & 0x80)) {
            out = value;
            return true;
        }
    }
    return false;
}

StateError error(const char* what) {
    return StateError{std::string("invalid Node state: ") + what};
}

}  // namespace

// ---- writing -------------------------------------------------------------

void StateWriter::put_string(std::string_view text) {
    put_varint(structure_, text.size());
    strings_.append(text);
}

void StateWriter::begin(std::string_view name, const std::string_view* text, uint64_t attr_count) {
    put_string(name);
    put_varint(structure_, text ? text->size() + 1 : 0);
    if (text) strings_.append(*text);
    put_varint(structure_, attr_count);
}

void StateWriter::attr(std::string_view key, std::string_view value) {
    put_string(key);
    put_string(value);
}

uint64_t StateWriter::children(const uint64_t* indices, size_t count) {
    put_varint(structure_, count);
    for (size_t i = 0; i < count; ++i) put_varint(structure_, nodes_ - indices[i]);
    return nodes_++;
}

size_t StateWriter::size() const noexcept {
    return sizeof kHeader + varint_size(nodes_) + varint_size(structure_.size()) +
           structure_.size() + strings_.size();
}

void StateWriter::copy_to(char* out) const noexcept {
    std::memcpy(out, kHeader, sizeof kHeader);
    out += sizeof kHeader;
    out += encode_varint(out, nodes_);
    out += encode_varint(out, structure_.size());
    std::memcpy(out, structure_.data(), structure_.size());
    out += structure_.size();
    std::memcpy(out, strings_.data(), strings_.size());
}

// ---- reading -------------------------------------------------------------

Expected<StateReader, StateError> StateReader::open(std::string_view state) {
    if (state.size() < sizeof kHeader || std::memcmp(state.data(), kHeader, sizeof kHeader) != 0)
        return unexpected(error("unknown header"));
    size_t position = sizeof kHeader;
    uint64_t nodes = 0, structure = 0;
    if (!get_varint(state, position, nodes) || !get_varint(state, position, structure))
        return unexpected(error("truncated header"));
    if (structure > state.size() - position)
        return unexpected(error("structure part runs past the end"));
    if (nodes == 0) return unexpected(error("no nodes"));
    if (nodes > structure / kMinNodeBytes)
        return unexpected(error("node count exceeds what the structure part holds"));
    StateReader reader;
    reader.structure_ = state.substr(position, static_cast<size_t>(structure));
    reader.strings_ = state.substr(position + static_cast<size_t>(structure));
    reader.node_count_ = nodes;
    if (!is_valid_utf8(reader.strings_.data(), reader.strings_.size()))
        return unexpected(error("strings are not valid UTF-8"));
    return reader;
}

bool StateReader::varint(uint64_t& out) noexcept {
    return get_varint(structure_, position_, out);
}

std::optional<StateError> StateReader::string(StateString& out) {
    uint64_t size = 0;
    if (!varint(size)) return error("truncated structure");
    return take(size, out);
}

std::optional<StateError> StateReader::take(uint64_t size, StateString& out) {
    if (size > strings_.size() - string_position_) return error("string runs past the end");
    // The string part as a whole is valid UTF-8, so each string is when it
    // starts at a character (the next string's start, or the end, ends it).
    if (size && (static_cast<unsigned char>(strings_[string_position_]) & 0xC0) == 0x80)
        return error("string starts inside a UTF-8 character");
    out = {string_position_, size};
    string_position_ += size;
    return std::nullopt;
}

std::optional<StateError> StateReader::next(StateNode& out) {
    if (auto failure = string(out.name)) return failure;
    uint64_t text = 0;
    if (!varint(text)) return error("truncated structure");
    out.text.reset();
    if (text) {
        StateString taken;
        if (auto failure = take(text - 1, taken)) return failure;
        out.text = taken;
    }
    uint64_t count = 0;
    if (!varint(count)) return error("truncated structure");
    if (count > (structure_.size() - position_) / kMinAttrBytes)
        return error("attribute count exceeds what is left");
    out.attrs.resize(static_cast<size_t>(count));
    for (auto& [key, value] : out.attrs) {
        if (auto failure = string(key)) return failure;
        if (auto failure = string(value)) return failure;
    }
    if (!varint(count)) return error("truncated structure");
    if (count > (structure_.size() - position_) / kMinChildBytes)
        return error("child count exceeds what is left");
    out.children.resize(static_cast<size_t>(count));
    for (uint64_t& child : out.children) {
        uint64_t distance = 0;
        if (!varint(distance)) return error("truncated structure");
        if (distance == 0 || distance > read_)
            return error("a child does not refer to an earlier node");
        child = read_ - distance;
    }
    ++read_;
    return std::nullopt;
}

std::optional<StateError> StateReader::finish() const {
    if (!done()) return error("fewer nodes than counted");
    if (position_ != structure_.size()) return error("unused bytes in the structure part");
    if (string_position_ != strings_.size()) return error("unused bytes in the string part");
    return std::nullopt;
}

}  // namespace plovane
