// Start-tag scanning: names, attribute syntax and every error position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "element_record.h"
#include "read/markup_scanner.h"

namespace plovane {
namespace {

// An index holding one Open or SelfClosing record for a document that is a
// single tag, the way the index builder records it.
StructuralIndex single_tag_index(std::string_view doc) {
    StructuralIndex index;
    index.input = doc.data();
    index.len = doc.size();
    const bool self_closing = doc.size() >= 2 && doc.substr(doc.size() - 2) == "/>";
    const size_t name_end = doc.find_first_of(" \t\n\f\r/>", 1);
    index.tag_starts = {0};
    index.tag_ends = {doc.size() - 1};
    index.tag_kinds = {static_cast<uint8_t>(self_closing ? TagKind::SelfClosing : TagKind::Open)};
    index.tag_names = {NameSpan{1, static_cast<uint16_t>(name_end - 1)}};
    return index;
}

struct Scanned {
    SourceRef source;
    Expected<ElementRecord, ReadError> result;
    std::string outcome() const {
        return result ? shape(result.value()) : result.error().message();
    }
};

Scanned scan(const std::string& doc) {
    SourceRef source = SharedSource::owned(doc);
    StructuralIndex index = single_tag_index(source->text());
    auto result = scan_record(source, index, 0, take_hash_keys());
    return {std::move(source), std::move(result)};
}

// A start tag "<t" followed by `count` attributes ` a<i>="v<i>"`, the one at
// `repeat` named a0 instead, then `tail`.
std::string tag_with(int count, const std::string& tail = ">", int repeat = -1) {
    std::string doc = "<t";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i == repeat ? 0 : i);
        doc += " a" + n + "=\"v" + std::to_string(i) + "\"";
    }
    return doc + tail;
}

std::string at(size_t byte, const std::string& what) {
    return "malformed XML at byte " + std::to_string(byte) + ": " + what;
}

TEST(ScanStartTag, AttributesAndErrors) {
    const std::string far = tag_with(12, ">", 9), bad_after = tag_with(12, " a12=x>", 2);
    const std::pair<std::string, std::string> cases[] = {
        {"<a/>", "a"},
        {"<a  >", "a"},
        {"<a\t\n\r\f/>", "a"},
        {"<a x = '1' y=\"it's\"\tz='say \"hi\"'>", "a[x=1 y=it's z=say \"hi\"]"},
        {"<ns:a ns:x=\"1\" X=\"2\" \xC3\xA9=\"4\">", "ns:a[X=2 ns:x=1 \xC3\xA9=4]"},
        {"<a e=\"\" r=\"a&lt;b\" n=\"1\n2\" c=\"1&#10;2\"/>", "a[c=1\n2 e= n=1 2 r=a<b]"},
        {"<a x=\"1\"y=\"2\"/>", at(8, "expected whitespace before attribute")},
        {"<a x=\"1\"\vy=\"2\">", at(8, "expected whitespace before attribute")},
        {"<a/ >", at(2, "expected whitespace before attribute")},
        {"<a =\"1\">", at(3, "expected attribute name")},
        {"<a 'x'>", at(3, "expected attribute name")},
        {"<a x>", at(3, "attribute 'x' has no value")},
        {"<a x y=\"1\">", at(3, "attribute 'x' has no value")},
        {"<a x=1>", at(5, "value of attribute 'x' is not quoted")},
        {"<a x=>", at(5, "value of attribute 'x' is not quoted")},
        {"<a x= />", at(6, "value of attribute 'x' is not quoted")},
        {"<a x=\"1>", at(6, "unterminated attribute value")},
        {"<a x='1\"/>", at(6, "unterminated attribute value")},
        {"<a x=\"1<2\">", at(7, "'<' is not allowed in attribute values")},
        {"<a x=\"1\" x=\"2\">", at(9, "duplicate attribute 'x'")},
        {"<a x=\"&lt;\" x=\"2\">", at(12, "duplicate attribute 'x'")},  // a map of owned values
        // Checks run in attribute order: a bad reference in a repeat first,
        // '<' before references, a value decoded before it is found a repeat.
        {"<a x=\"1\" x=\"&bad;\">", "unknown entity reference '&bad;' at byte 12"},
        {"<a x=\"&bad;<\">", at(11, "'<' is not allowed in attribute values")},
        {"<a x=\"&#0;\">", at(6, "invalid character reference '&#0;'")},
        {"<a x=\"1&amp\">", at(7, "unterminated entity reference")},
        {"<t a=\"1\" b=\"2\" a=\"&#0;\">", at(18, "invalid character reference '&#0;'")},
        // Duplicates in document order, before any later syntax error.
        {far, at(far.rfind(" a0=") + 1, "duplicate attribute 'a0'")},
        {bad_after, at(bad_after.rfind(" a0=") + 1, "duplicate attribute 'a0'")},
        {tag_with(12, " a12=\"<\">", 2),
         at(bad_after.rfind(" a0=") + 1, "duplicate attribute 'a0'")},
        {tag_with(12, " a12=\"&bad;\">", 2),
         at(bad_after.rfind(" a0=") + 1, "duplicate attribute 'a0'")},
        {tag_with(12, "\"x\">", 2), at(bad_after.rfind(" a0=") + 1, "duplicate attribute 'a0'")},
    };
    for (const auto& [doc, outcome] : cases) EXPECT_EQ(scan(doc).outcome(), outcome) << doc;
}

}  // namespace
}  // namespace plovane
