// Element trees held by value, for tests, fuzz targets and benchmarks: the
// reader's post-order output rebuilt as a tree, and a tree laid out for the
// writer. The module itself never needs them.
#pragma once

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "read/document_reader.h"
#include "read/markup_scanner.h"
#include "storage/attr_map.h"
#include "storage/flat_tree.h"
#include "storage/text_ref.h"
#include "write/xml_writer.h"

namespace plovane {

struct ElementRecord {
    TextRef name;
    AttrMap attrs;
    std::vector<ElementRecord> children;
    TextRef text;  // absent when the element has no text

    ElementRecord() = default;
    ElementRecord(ElementRecord&&) noexcept = default;
    ElementRecord& operator=(ElementRecord&&) noexcept = default;
    ElementRecord(const ElementRecord&) = delete;
    ElementRecord& operator=(const ElementRecord&) = delete;
    // Releases descendants with an explicit stack: tests build chains far
    // deeper than the native stack allows recursion.
    ~ElementRecord() {
        std::vector<std::vector<ElementRecord>> pending;
        if (!children.empty()) pending.push_back(std::move(children));
        while (!pending.empty()) {
            std::vector<ElementRecord> level = std::move(pending.back());
            pending.pop_back();
            for (ElementRecord& child : level)
                if (!child.children.empty()) pending.push_back(std::move(child.children));
        }
    }
};

// The tree of a post-order element list, moving every string and map out.
inline ElementRecord record_tree(FlatTree&& flat) {
    std::vector<ElementRecord> finished;  // complete subtrees whose parent is still to come
    for (FlatElement& element : flat) {
        ElementRecord record;
        record.name = std::move(element.name);
        record.attrs = std::move(element.attrs);
        record.text = std::move(element.text);
        if (const size_t count = element.child_count) {
            const auto first = finished.end() - static_cast<std::ptrdiff_t>(count);
            record.children.reserve(count);
            std::move(first, finished.end(), std::back_inserter(record.children));
            finished.erase(first, finished.end());
        }
        finished.push_back(std::move(record));
    }
    return std::move(finished.back());
}

// read_document, as a tree.
inline Expected<ElementRecord, ReadError> read_record(const SourceRef& source,
                                                      std::string_view root_tag,
                                                      IndexBuilder build = build_index) {
    auto flat = read_document(source, root_tag, build);
    if (!flat) return unexpected(std::move(flat).error());
    return record_tree(std::move(flat).value());
}

// read_document_in_batches, as a tree.
inline Expected<ElementRecord, ReadError> read_record_in_batches(const SourceRef& source,
                                                                 std::string_view root_tag,
                                                                 uint64_t batch_records) {
    FlatTreeSink sink;
    if (auto error = read_document_in_batches(source, root_tag, sink, batch_records))
        return unexpected(std::move(*error));
    return record_tree(std::move(sink.tree));
}

// One start tag of `index` (built over `source`) as a record.
inline Expected<ElementRecord, ReadError> scan_record(const SourceRef& source,
                                                      const StructuralIndex& index, uint64_t i,
                                                      HashKeys keys) {
    ElementRecord record;
    SpanBatch spans(source);
    if (auto error = scan_start_tag(spans, index, i, keys, record.name, record.attrs))
        return unexpected(std::move(*error));
    return record;
}

// A tree written compactly for comparisons: name, sorted attributes in
// brackets, text in quotes, children in parentheses; "a[k=v]'t'(b c)".
inline std::string shape(const ElementRecord& root) {
    std::string out;
    std::vector<const ElementRecord*> pending{&root};  // nullptr closes a child list
    while (!pending.empty()) {
        const ElementRecord* e = pending.back();
        pending.pop_back();
        if (!e) {
            out += ')';
            continue;
        }
        if (!out.empty() && out.back() != '(') out += ' ';
        out += e->name.view();
        std::vector<std::string> attrs;
        e->attrs.for_each([&](std::string_view k, std::string_view v) {
            attrs.push_back(std::string(k) + "=" + std::string(v));
        });
        std::sort(attrs.begin(), attrs.end());
        for (size_t i = 0; i < attrs.size(); ++i) out += (i ? " " : "[") + attrs[i];
        if (!attrs.empty()) out += ']';
        if (e->text.present()) out += "'" + std::string(e->text.view()) + "'";
        if (e->children.empty()) continue;
        out += '(';
        pending.push_back(nullptr);
        for (auto c = e->children.rbegin(); c != e->children.rend(); ++c) pending.push_back(&*c);
    }
    return out;
}

// A read's tree shape, or its error's message.
inline std::string outcome_of(const Expected<ElementRecord, ReadError>& read) {
    return read ? shape(read.value()) : read.error().message();
}

inline WriteList write_list_of(const ElementRecord& root) {
    return lay_out_tree(
        root, [](const ElementRecord& e) -> uint64_t { return e.children.size(); },
        [](const ElementRecord& e, uint64_t i) -> const ElementRecord& { return e.children[i]; });
}

inline std::string write_to_string(const ElementRecord& root, uint64_t indent, bool declaration) {
    return std::string(write_to_memory(write_list_of(root), indent, declaration).view());
}

inline std::optional<IoError> write_to_file(const ElementRecord& root, const std::string& path,
                                            uint64_t indent, bool declaration) {
    return write_to_file(write_list_of(root), path, indent, declaration);
}

inline uint64_t indentation_bytes(const ElementRecord& root, uint64_t indent) {
    return indentation_bytes(write_list_of(root), indent);
}

}  // namespace plovane
