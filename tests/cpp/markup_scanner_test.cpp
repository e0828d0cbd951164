// Start-tag scanning: names, attribute syntax and every error position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
};

Scanned scan(const std::string& doc) {
    SourceRef source = SharedSource::owned(doc);
    StructuralIndex index = single_tag_index(source->text());
    auto result = scan_record(source, index, 0, take_hash_keys());
    return {std::move(source), std::move(result)};
}

std::string scan_error(const std::string& doc) {
    Scanned s = scan(doc);
    if (s.result) {
        ADD_FAILURE() << doc << " scanned without error";
        return {};
    }
    return s.result.error().message();
}

TEST(SplitStartTag, NameAreaAndOffset) {
    const std::string doc = "<item a=\"1\"/>";
    StructuralIndex index = single_tag_index(doc);
    auto tag = split_start_tag(doc, index, 0);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag.value().name, "item");
    EXPECT_EQ(tag.value().attribute_area, " a=\"1\"");
    EXPECT_EQ(tag.value().area_start, 5u);

    const std::string open = "<x y='2' >";
    index = single_tag_index(open);
    tag = split_start_tag(open, index, 0);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag.value().attribute_area, " y='2' ");
}

TEST(SplitStartTag, EmptyNameFails) {
    const std::string doc = "  < a>";
    StructuralIndex index = single_tag_index(doc);
    index.tag_starts = {2};
    index.tag_names = {NameSpan{3, 0}};
    auto tag = split_start_tag(doc, index, 0);
    ASSERT_FALSE(tag);
    EXPECT_EQ(tag.error().message(), "malformed XML at byte 2: expected element name after '<'");
}

TEST(ScanStartTag, EmptyAttributeAreas) {
    for (const char* doc : {"<a/>", "<a>", "<a  >", "<a />", "<a\t\n\r\f/>"}) {
        Scanned s = scan(doc);
        ASSERT_TRUE(s.result) << doc << ": " << s.result.error().message();
        EXPECT_EQ(s.result.value().name, "a");
        EXPECT_TRUE(s.result.value().name.is_span());
        EXPECT_TRUE(s.result.value().attrs.empty());
        EXPECT_FALSE(s.result.value().text.present());
        EXPECT_TRUE(s.result.value().children.empty());
    }
}

TEST(ScanStartTag, QuotingAndSpacing) {
    Scanned s = scan("<a x = '1' y=\"it's\"\tz='say \"hi\"'>");
    ASSERT_TRUE(s.result) << s.result.error().message();
    const AttrMap& attrs = s.result.value().attrs;
    EXPECT_EQ(attrs.size(), 3u);
    ASSERT_TRUE(attrs.contains("x"));
    EXPECT_EQ(*attrs.find("x"), "1");
    EXPECT_EQ(*attrs.find("y"), "it's");
    EXPECT_EQ(*attrs.find("z"), "say \"hi\"");
}

TEST(ScanStartTag, UnchangedValuesAreSpansRewrittenOnesOwned) {
    Scanned s = scan("<a plain=\"v\" ref=\"a&lt;b\" nl=\"1\n2\" cref=\"1&#10;2\" empty=\"\"/>");
    ASSERT_TRUE(s.result) << s.result.error().message();
    const AttrMap& attrs = s.result.value().attrs;
    // Unchanged strings are views of the document itself.
    const char* doc = s.source->data();
    auto in_document = [&](std::string_view text) {
        return text.data() >= doc && text.data() + text.size() <= doc + s.source->size();
    };
    ASSERT_TRUE(attrs.find("plain"));
    EXPECT_EQ(attrs.find("plain")->data(), doc + 10);

    EXPECT_FALSE(in_document(*attrs.find("ref")));
    EXPECT_EQ(*attrs.find("ref"), "a<b");
    EXPECT_FALSE(in_document(*attrs.find("nl")));
    EXPECT_EQ(*attrs.find("nl"), "1 2");
    EXPECT_EQ(*attrs.find("cref"), "1\n2");
    ASSERT_TRUE(attrs.find("empty"));
    EXPECT_EQ(*attrs.find("empty"), "");

    attrs.for_each([&](std::string_view key, std::string_view) { EXPECT_TRUE(in_document(key)); });
}

TEST(ScanStartTag, SpansKeepTheSourceAlive) {
    Scanned s = scan("<a x=\"1\" y=\"2\"/>");
    ASSERT_TRUE(s.result);
    // The name, two keys and two values each hold one reference, and the
    // map's table (in the source's arena) one more.
    EXPECT_EQ(s.source->use_count(), 7u);
    s.result = unexpected(ReadError::malformed("", 0));
    EXPECT_EQ(s.source->use_count(), 1u);
}

TEST(ScanStartTag, AttributeSyntaxErrors) {
    EXPECT_EQ(scan_error("<a x=\"1\"y=\"2\"/>"),
              "malformed XML at byte 8: expected whitespace before attribute");
    EXPECT_EQ(scan_error("<a =\"1\">"), "malformed XML at byte 3: expected attribute name");
    EXPECT_EQ(scan_error("<a 'x'>"), "malformed XML at byte 3: expected attribute name");
    EXPECT_EQ(scan_error("<a x>"), "malformed XML at byte 3: attribute 'x' has no value");
    EXPECT_EQ(scan_error("<a x y=\"1\">"), "malformed XML at byte 3: attribute 'x' has no value");
    EXPECT_EQ(scan_error("<a x=1>"),
              "malformed XML at byte 5: value of attribute 'x' is not quoted");
    EXPECT_EQ(scan_error("<a x=>"),
              "malformed XML at byte 5: value of attribute 'x' is not quoted");
    EXPECT_EQ(scan_error("<a x= />"),
              "malformed XML at byte 6: value of attribute 'x' is not quoted");
    EXPECT_EQ(scan_error("<r a=1/>"),
              "malformed XML at byte 5: value of attribute 'a' is not quoted");
    EXPECT_EQ(scan_error("<a x=\"1>"), "malformed XML at byte 6: unterminated attribute value");
    EXPECT_EQ(scan_error("<a x='1\"/>"), "malformed XML at byte 6: unterminated attribute value");
    EXPECT_EQ(scan_error("<a x=\"1<2\">"),
              "malformed XML at byte 7: '<' is not allowed in attribute values");
    EXPECT_EQ(scan_error("<a x=\"1\" x=\"2\">"),
              "malformed XML at byte 9: duplicate attribute 'x'");
    EXPECT_EQ(scan_error("<a x=\"1\"\vy=\"2\">"),
              "malformed XML at byte 8: expected whitespace before attribute");
    EXPECT_EQ(scan_error("<a/ >"), "malformed XML at byte 2: expected whitespace before attribute");
}

TEST(ScanStartTag, ChecksRunInAttributeOrder) {
    // A bad reference in a repeated attribute is reported before the repeat.
    EXPECT_EQ(scan_error("<a x=\"1\" x=\"&bad;\">"), "unknown entity reference '&bad;' at byte 12");
    // '<' in a value is found before its references are decoded.
    EXPECT_EQ(scan_error("<a x=\"&bad;<\">"),
              "malformed XML at byte 11: '<' is not allowed in attribute values");
    EXPECT_EQ(scan_error("<a x=\"&#0;\">"),
              "malformed XML at byte 6: invalid character reference '&#0;'");
    EXPECT_EQ(scan_error("<a x=\"1&amp\">"),
              "malformed XML at byte 7: unterminated entity reference");
}

// A start tag "<t" followed by the given attributes, each ` name="value"`.
std::string tag_with(const std::vector<std::pair<std::string, std::string>>& attrs,
                     const std::string& tail = ">") {
    std::string doc = "<t";
    for (const auto& [name, value] : attrs) doc += " " + name + "=\"" + value + "\"";
    return doc + tail;
}

TEST(ScanStartTag, ManyAttributes) {
    std::vector<std::pair<std::string, std::string>> attrs;
    for (int i = 0; i < 40; ++i) {
        attrs.emplace_back("a" + std::to_string(i),
                           i % 3 ? std::to_string(i) : "&#" + std::to_string(60 + i) + ";");
    }
    Scanned s = scan(tag_with(attrs, "/>"));
    ASSERT_TRUE(s.result) << s.result.error().message();
    ASSERT_EQ(s.result.value().attrs.size(), 40u);
    EXPECT_EQ(*s.result.value().attrs.find("a0"), "<");
    EXPECT_EQ(*s.result.value().attrs.find("a39"), "c");
    EXPECT_EQ(*s.result.value().attrs.find("a38"), "38");
}

// Attributes are inserted 32 at a time: counts around and far past a batch,
// each value found, and a repeat of the first name in the last batch.
TEST(ScanStartTag, MapGrowsAcrossManyBatches) {
    for (int count : {31, 32, 33, 64, 65, 200, 1000, 5000}) {
        std::vector<std::pair<std::string, std::string>> attrs;
        for (int i = 0; i < count; ++i)
            attrs.emplace_back("a" + std::to_string(i), "v" + std::to_string(i));
        Scanned s = scan(tag_with(attrs, "/>"));
        ASSERT_TRUE(s.result) << count << ": " << s.result.error().message();
        const AttrMap& map = s.result.value().attrs;
        ASSERT_EQ(map.size(), static_cast<uint32_t>(count));
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(map.find("a" + std::to_string(i))) << count << " " << i;
            EXPECT_EQ(*map.find("a" + std::to_string(i)), "v" + std::to_string(i));
        }
        EXPECT_FALSE(map.find("a" + std::to_string(count)));

        attrs.back().first = "a0";
        const std::string doc = tag_with(attrs, "/>");
        const size_t at = doc.rfind(" a0=") + 1;
        EXPECT_EQ(scan_error(doc),
                  "malformed XML at byte " + std::to_string(at) + ": duplicate attribute 'a0'");
    }
}

TEST(ScanStartTag, DuplicatesAreReportedInDocumentOrder) {
    std::vector<std::pair<std::string, std::string>> attrs;
    for (int i = 0; i < 12; ++i) attrs.emplace_back("a" + std::to_string(i), "v");
    // Offset of the name in the second occurrence of ` name=`.
    auto second = [](const std::string& doc, const std::string& name) {
        return std::to_string(doc.find(" " + name + "=", doc.find(" " + name + "=") + 1) + 1);
    };

    // The tenth attribute repeats the first, far apart.
    auto repeat_far = attrs;
    repeat_far[9].first = "a0";
    std::string doc = tag_with(repeat_far);
    EXPECT_EQ(scan_error(doc),
              "malformed XML at byte " + second(doc, "a0") + ": duplicate attribute 'a0'");

    // A repeat before a later syntax error is reported, not the error.
    auto repeat_then_bad = attrs;
    repeat_then_bad[2].first = "a1";
    for (const char* tail : {" a12=x>", " a12=\"<\">", " a12=\"&bad;\">", "\"x\">"}) {
        doc = tag_with(repeat_then_bad, tail);
        EXPECT_EQ(scan_error(doc),
                  "malformed XML at byte " + second(doc, "a1") + ": duplicate attribute 'a1'")
            << doc;
    }
    // Within one attribute, its value is decoded before it is found to be a
    // repeat.
    doc = "<t a=\"1\" b=\"2\" a=\"&#0;\">";
    EXPECT_EQ(scan_error(doc), "malformed XML at byte 18: invalid character reference '&#0;'");
}

TEST(ScanStartTag, NamesAreExactBytes) {
    Scanned s = scan("<ns:a ns:x=\"1\" X=\"2\" x=\"3\" \xC3\xA9=\"4\">");
    ASSERT_TRUE(s.result) << s.result.error().message();
    EXPECT_EQ(s.result.value().name, "ns:a");
    EXPECT_EQ(s.result.value().attrs.size(), 4u);
    EXPECT_EQ(*s.result.value().attrs.find("X"), "2");
    EXPECT_EQ(*s.result.value().attrs.find("\xC3\xA9"), "4");
}

}  // namespace
}  // namespace plovane
