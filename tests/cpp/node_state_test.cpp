// The flat state of a node tree: what the writer writes the reader reads
// back, and every malformed state is refused with its reason.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "storage/node_state.h"

namespace plovane {
namespace {

struct PlainNode {
    std::string name;
    std::optional<std::string> text;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<uint64_t> children;
    bool operator==(const PlainNode&) const = default;
};

std::string write(const std::vector<PlainNode>& nodes) {
    StateWriter writer;
    for (const PlainNode& node : nodes) {
        const std::string_view text = node.text ? std::string_view(*node.text) : "";
        writer.begin(node.name, node.text ? &text : nullptr, node.attrs.size());
        for (const auto& [key, value] : node.attrs) writer.attr(key, value);
        writer.children(node.children.data(), node.children.size());
    }
    std::string state(writer.size(), '\0');
    writer.copy_to(state.data());
    return state;
}

std::string piece(std::string_view strings, StateString s) {
    return std::string(strings.substr(s.offset, s.size));
}

// The nodes of a state, or the reason it was refused.
Expected<std::vector<PlainNode>, std::string> read(std::string_view state) {
    auto opened = StateReader::open(state);
    if (!opened) return unexpected(opened.error().message);
    StateReader& reader = opened.value();
    std::vector<PlainNode> nodes;
    StateNode node;
    while (!reader.done()) {
        if (auto failure = reader.next(node)) return unexpected(failure->message);
        PlainNode plain{piece(reader.strings(), node.name), std::nullopt, {}, node.children};
        if (node.text) plain.text = piece(reader.strings(), *node.text);
        for (const auto& [key, value] : node.attrs)
            plain.attrs.emplace_back(piece(reader.strings(), key), piece(reader.strings(), value));
        nodes.push_back(plain);
    }
    if (auto failure = reader.finish()) return unexpected(failure->message);
    return nodes;
}

TEST(NodeState, WrittenNodesReadBack) {
    const std::vector<std::vector<PlainNode>> trees = {
        {{"leaf", std::nullopt, {}, {}}},
        {{"", std::string(), {{"", ""}}, {}}},
        {{"a", "t\xc3\xa9xt", {{"k", "v"}, {"\xe2\x82\xac", "x"}}, {}},
         {"b", std::nullopt, {}, {0, 0}},
         {"root", std::string(300, 'x'), {}, {0, 1, 0}}},
    };
    for (const auto& tree : trees) {
        auto back = read(write(tree));
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(back.value(), tree);
    }
}

TEST(NodeState, ManyNodesAndLongCountsRoundTrip) {
    std::vector<PlainNode> chain{{"n", std::nullopt, {}, {}}};
    for (uint64_t i = 1; i < 20000; ++i) chain.push_back({"n", std::nullopt, {}, {i - 1}});
    std::vector<uint64_t> all(chain.size());
    for (uint64_t i = 0; i < all.size(); ++i) all[i] = i;
    chain.push_back({"wide", std::nullopt, {}, all});
    auto back = read(write(chain));
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value(), chain);
}

TEST(NodeState, EveryTruncationIsRefused) {
    const std::string state = write({{"a", "\xc3\xa9", {{"k", "v"}}, {}}, {"r", "", {}, {0}}});
    for (size_t end = 0; end < state.size(); ++end)
        EXPECT_FALSE(read(state.substr(0, end)).ok()) << "kept " << end << " bytes";
}

TEST(NodeState, MalformedStatesGiveTheirReason) {
    const std::string leaf = write({{"b", std::nullopt, {}, {}}});
    struct Case {
        std::string state;
        const char* reason;
    };
    const Case cases[] = {
        {"", "unknown header"},
        {"PLS\x02" + leaf.substr(4), "unknown header"},
        {"PLS\x01", "truncated header"},
        {std::string("PLS\x01\x00\x04\x00\x00\x00\x00", 10), "no nodes"},
        {std::string("PLS\x01\x02\x04\x01\x00\x00\x00", 10) + "b",
         "node count exceeds what the structure part holds"},
        {std::string("PLS\x01\x01\x09\x00\x00\x00\x00", 10), "structure part runs past the end"},
        {std::string("PLS\x01\x01\x05\x00\x00\x00\x01\x01", 11), "a child does not refer"},
        {std::string("PLS\x01\x01\x04\x01\x00\x00\x00", 10) + "\xff", "not valid UTF-8"},
        {std::string("PLS\x01\x01\x06\x00\x00\x01\x01\x01\x00", 12) + "\xc3\xa9",
         "starts inside a UTF-8 character"},
        {leaf + "x", "unused bytes in the string part"},
    };
    for (const Case& c : cases) {
        auto result = read(c.state);
        ASSERT_FALSE(result.ok()) << c.reason;
        EXPECT_NE(result.error().find(c.reason), std::string::npos) << result.error();
        EXPECT_EQ(result.error().rfind("invalid Node state: ", 0), 0u) << result.error();
    }
}

}  // namespace
}  // namespace plovane
