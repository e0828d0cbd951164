// Fuzz target for reading a pickled tree's state: whatever the bytes, the
// reader either refuses them or yields nodes whose children come earlier and
// whose strings lie inside the string part, each valid UTF-8 once the whole
// state is accepted; the nodes of an accepted state, written again, read
// back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "storage/node_state.h"
#include "storage/utf8_validate.h"

namespace {

using namespace plovane;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "node_state_fuzz: %s\n", what);
    std::abort();
}

struct Node {
    std::string name;
    bool has_text = false;
    std::string text;
    std::vector<std::string> attrs;  // key, value, key, value...
    std::vector<uint64_t> children;
    bool operator==(const Node&) const = default;
};

std::string checked(std::string_view strings, StateString s) {
    if (s.offset > strings.size() || s.size > strings.size() - s.offset)
        fail("a string lies outside the string part");
    std::string_view piece = strings.substr(s.offset, s.size);
    if (!is_valid_utf8(piece.data(), piece.size())) fail("a string is not valid UTF-8");
    return std::string(piece);
}

// The nodes of an accepted state; false when it is refused. A string's
// end is known to fall on a character only once every byte is accounted
// for, so the strings are checked after the last node.
bool read_all(std::string_view state, std::vector<Node>& out) {
    auto opened = StateReader::open(state);
    if (!opened) return false;
    StateReader& reader = opened.value();
    std::vector<StateNode> nodes;
    StateNode node;
    while (!reader.done()) {
        if (reader.next(node)) return false;
        for (uint64_t child : node.children)
            if (child >= nodes.size()) fail("a child does not come before its parent");
        nodes.push_back(node);
    }
    if (reader.finish()) return false;
    for (const StateNode& read : nodes) {
        Node plain;
        plain.name = checked(reader.strings(), read.name);
        if (read.text) {
            plain.has_text = true;
            plain.text = checked(reader.strings(), *read.text);
        }
        for (const auto& [key, value] : read.attrs) {
            plain.attrs.push_back(checked(reader.strings(), key));
            plain.attrs.push_back(checked(reader.strings(), value));
        }
        plain.children = read.children;
        out.push_back(std::move(plain));
    }
    return true;
}

std::string write_all(const std::vector<Node>& nodes) {
    StateWriter writer;
    for (const Node& node : nodes) {
        const std::string_view text = node.text;
        writer.begin(node.name, node.has_text ? &text : nullptr, node.attrs.size() / 2);
        for (size_t i = 0; i < node.attrs.size(); i += 2)
            writer.attr(node.attrs[i], node.attrs[i + 1]);
        writer.children(node.children.data(), node.children.size());
    }
    std::string state(writer.size(), '\0');
    writer.copy_to(state.data());
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<Node> nodes;
    if (!read_all({reinterpret_cast<const char*>(data), size}, nodes)) return 0;
    if (nodes.empty()) fail("an accepted state has no nodes");
    std::vector<Node> again;
    if (!read_all(write_all(nodes), again)) fail("a written state was refused");
    if (again != nodes) fail("a written state reads back differently");
    return 0;
}
