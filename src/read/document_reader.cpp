#include "read/document_reader.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "index/structural_index.h"
#include "platform/page_hints.h"
#include "read/markup_scanner.h"
#include "read/references.h"
#include "read/text_accumulator.h"
#include "read/whitespace.h"
#include "simd/byte_scan.h"
#include "storage/hash_keys.h"

namespace plovane {

namespace {

using Status = std::optional<ReadError>;

// Records per batch of the byte-search index: about 160 KiB of index, which
// stays in the cache between being written and being read.
constexpr uint64_t kBatchRecords = 4096;

ReadError malformed(std::string message, uint64_t position) {
    return ReadError::malformed(std::move(message), position);
}

std::string end_tag_message(const char* before, std::string_view name) {
    std::string message(before);
    message.append(name).push_back('>');
    return message;
}

bool ends_with(const char* text, uint64_t e, const char (&tail)[4]) {
    return std::memcmp(text + e - 2, tail, 3) == 0;
}

// An element whose end tag is still to come; its text gathers in `text`
// and goes to the sink with the rest when it closes.
struct OpenElement {
    TextRef name;
    AttrMap attrs;
    uint64_t child_count = 0;
    TextAccumulator text;
};

// The open elements inside the root, innermost last. The entry of a closed
// element stays for the next element at its depth, which reuses its text
// buffer: text joined from several pieces then needs no allocation of its own
// before its final exact copy.
class OpenStack {
  public:
    OpenStack() { entries_.reserve(4); }
    void reserve(size_t depth) { reserve_fresh(entries_, depth); }

    bool empty() const noexcept { return depth_ == 0; }
    size_t size() const noexcept { return depth_; }
    OpenElement& back() noexcept { return entries_[depth_ - 1]; }

    OpenElement& push() {
        if (depth_ == entries_.size()) entries_.emplace_back();
        return entries_[depth_++];
    }
    // The innermost element's name and map must have been moved out; its
    // count and text are reset here.
    void pop() noexcept {
        OpenElement& entry = entries_[--depth_];
        entry.child_count = 0;
        entry.text.clear();
    }

  private:
    std::vector<OpenElement> entries_;
    size_t depth_ = 0;
};

// Elements in the subtree whose start tag is record `i` (an Open record):
// the Open and SelfClosing records up to the Close that brings the nesting
// back to where it was, and the greatest nesting among them, as far as the
// index in view reaches. For a subtree wholly in view they are exact when the
// document reads without error and upper bounds otherwise, so the reader's
// output and its stack of open elements are each allocated once; a subtree
// that goes on past the batch in view gets the part in view, and grows.
struct SubtreeShape {
    size_t elements = 0;
    size_t depth = 0;
};

SubtreeShape subtree_shape(const StructuralIndex& index, uint64_t i) {
    const uint8_t* kinds = index.tag_kinds.data();
    const uint64_t n = index.record_count();
    SubtreeShape shape;
    size_t depth = 0;
    for (; i < n; ++i) {
        const auto kind = static_cast<TagKind>(kinds[i]);
        shape.elements += kind == TagKind::Open || kind == TagKind::SelfClosing;
        depth += kind == TagKind::Open;
        shape.depth = depth > shape.depth ? depth : shape.depth;
        if (kind == TagKind::Close && --depth == 0) break;
    }
    return shape;
}

// One call of read_document: walks the index records once, in order.
class DocumentReader {
  public:
    DocumentReader(const SourceRef& source, std::string_view root_tag, ElementSink& sink)
        : sink_(sink),
          source_(source),
          text_(source->data()),
          root_tag_(root_tag),
          keys_(take_hash_keys()),
          spans_(source) {}

    // Reads the document over its whole index.
    Status run(const StructuralIndex& index) {
        if (Status error = read_batch(index)) return error;
        return done_ ? std::nullopt : at_end();
    }

    // Reads the document a batch of the index at a time. An error of the
    // index anywhere in the input comes first, as it does when the whole
    // index is built before reading: so after the root has closed or a
    // reading error, the rest of the input is still indexed (not read), to
    // find such an error.
    Status run(SequentialBatches& batches) {
        Status status;
        for (;;) {
            auto batch = batches.next();
            if (!batch) return index_error(batch.error(), source_->size());
            const StructuralIndex& index = *batch.value();
            const bool reading = !status && !done_;
            if (index.record_count() == 0 && index.text_ranges.empty()) {
                return reading ? at_end() : status;
            }
            if (reading) status = read_batch(index);
            // Character data after the batch's last record (one cut short by
            // its count of text ranges) is read now, as it would be before
            // the next record; an error in it waits for that record, as the
            // end of the input comes first if there is none.
            if (reading && !status && !done_ && !held_) held_ = consume_text(UINT64_MAX);
        }
    }

    static ReadError index_error(const IndexError& error, uint64_t size) {
        if (error.kind == IndexError::Kind::AbnormalEnd)
            return malformed("unexpected end of document", size);
        return ReadError(error);
    }

  private:
    // The records of one batch; stops at the first error or when the root
    // has closed (done_).
    Status read_batch(const StructuralIndex& index) {
        index_ = &index;
        cursor_ = 0;
        const uint64_t n = index.record_count();
        // A record has followed the text whose error was held.
        if (n > 0 && held_) return std::exchange(held_, std::nullopt);
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t s = index.tag_starts[i];
            if (cursor_ < index.text_ranges.size() && index.text_ranges[cursor_].start < s) {
                if (Status error = consume_text(s)) return error;
            }
            if (Status error = handle_record(i)) return error;
            if (done_) return std::nullopt;
        }
        return std::nullopt;
    }

    // The input ended with the root still open, or without it.
    Status at_end() {
        if (!open_.empty()) {
            return ReadError(ReadError::Unclosed{std::string(open_.back().name.view())});
        }
        return ReadError(ReadError::RootNotFound{std::string(root_tag_)});
    }

    // Character data before the record at `s`: read only inside the root.
    Status consume_text(uint64_t s) {
        const std::vector<TextRange>& ranges = index_->text_ranges;
        const size_t count = ranges.size();
        if (open_.empty()) {
            while (cursor_ < count && ranges[cursor_].start < s) ++cursor_;
            return std::nullopt;
        }
        for (; cursor_ < count && ranges[cursor_].start < s; ++cursor_) {
            const TextRange r = ranges[cursor_];
            const std::string_view piece(text_ + r.start, r.end - r.start);
            TextAccumulator& acc = open_.back().text;
            // Usually neither '<' nor '&' occurs: the piece is taken as it is.
            const size_t first = find_first_of<'<', '&'>(piece.data(), piece.size());
            if (first == piece.size()) {
                acc.append_view(piece);
                continue;
            }
            const size_t lt = piece.find('<', first);
            if (lt != std::string_view::npos) return malformed("unexpected '<'", r.start + lt);
            auto decoded = decode_references(piece, r.start, DecodeMode::Text);
            if (!decoded) return std::move(decoded).error();
            if (decoded.value().is_view()) {
                acc.append_view(piece);
            } else {
                acc.append_owned(std::move(decoded.value().owned));
            }
        }
        return std::nullopt;
    }

    Status handle_record(uint64_t i) {
        const uint64_t s = index_->tag_starts[i];
        const uint64_t e = index_->tag_ends[i];
        switch (static_cast<TagKind>(index_->tag_kinds[i])) {
            case TagKind::Open:
                return open_.empty() ? open_outside_root(i) : open_child(i);
            case TagKind::Close:
                return close(i, s, e);
            case TagKind::SelfClosing:
                return self_closing(i);
            case TagKind::Comment:
                if (e >= s + 6 && ends_with(text_, e, "-->")) return std::nullopt;
                return malformed("unterminated comment", s);
            case TagKind::CData:
                return cdata(s, e);
            case TagKind::ProcessingInstruction:
                if (e > s && text_[e - 1] == '?') return std::nullopt;
                return malformed("unterminated processing instruction", s);
        }
        return std::nullopt;
    }

    Status open_outside_root(uint64_t i) {
        if (index_->tag_name(i) != root_tag_) {
            auto tag = split_start_tag(source_->text(), *index_, i);
            if (!tag) return std::move(tag).error();
            outer_.push_back(tag.value().name);
            return std::nullopt;
        }
        const SubtreeShape shape = subtree_shape(*index_, i);
        sink_.reserve(shape.elements);
        open_.reserve(shape.depth);
        return open_child(i);
    }

    Status open_child(uint64_t i) {
        // On an error the read ends, and the entry goes with the stack.
        OpenElement& element = open_.push();
        return scan_start_tag(spans_, *index_, i, keys_, element.name, element.attrs);
    }

    // Checked even outside the root; kept only inside it or if it is the root.
    Status self_closing(uint64_t i) {
        TextRef name;
        AttrMap attrs;
        Status error = scan_start_tag(spans_, *index_, i, keys_, name, attrs);
        if (error) return error;
        if (open_.empty()) {
            if (!(name == root_tag_)) return std::nullopt;
            sink_.reserve(1);
            done_ = true;
        } else {
            ++open_.back().child_count;
        }
        sink_.add(std::move(name), std::move(attrs), TextRef(), 0);
        return std::nullopt;
    }

    Status cdata(uint64_t s, uint64_t e) {
        // "<![CDATA[" is 9 bytes and "]]>" 3, so a whole section spans at
        // least 12.
        if (e < s + 11 || !ends_with(text_, e, "]]>")) {
            return malformed("unterminated CDATA section", s);
        }
        if (!open_.empty()) open_.back().text.append_view({text_ + s + 9, e - 2 - (s + 9)});
        // The index lists the section's contents as a text range too.
        const std::vector<TextRange>& ranges = index_->text_ranges;
        while (cursor_ < ranges.size() && ranges[cursor_].start < e) ++cursor_;
        return std::nullopt;
    }

    Status close(uint64_t i, uint64_t s, uint64_t e) {
        const std::string_view name = index_->tag_name(i);
        const uint64_t after_name = s + name.size() + 2;
        if (after_name < e && !is_all_space({text_ + after_name, e - after_name})) {
            return malformed(end_tag_message("malformed end tag </", name), s);
        }
        if (!open_.empty()) {
            OpenElement& top = open_.back();
            const std::string_view open_name = top.name.view();
            if (open_name != name) return mismatch(open_name, name, s);
            // Post order: the element follows its descendants. The text goes
            // straight to the sink: written into the open entry, it would be
            // read back at once, stalling on the stores just made.
            sink_.add(std::move(top.name), std::move(top.attrs), top.text.finish(spans_),
                      top.child_count);
            open_.pop();
            if (open_.empty()) {
                done_ = true;
            } else {
                ++open_.back().child_count;
            }
            return std::nullopt;
        }
        if (!outer_.empty()) {
            if (outer_.back() != name) return mismatch(outer_.back(), name, s);
            outer_.pop_back();
            return std::nullopt;
        }
        return malformed(end_tag_message("unexpected end tag </", name), s);
    }

    static ReadError mismatch(std::string_view open, std::string_view name, uint64_t s) {
        std::string message("expected </");
        message.append(open).append(">, found </").append(name).push_back('>');
        return malformed(std::move(message), s);
    }

    ElementSink& sink_;  // every finished element inside the root, in post order
    const SourceRef& source_;
    const char* text_;
    const StructuralIndex* index_ = nullptr;  // the batch being read
    std::string_view root_tag_;
    HashKeys keys_;
    SpanBatch spans_;  // every span of the result comes from here

    OpenStack open_;
    std::vector<std::string_view> outer_;  // enclosing the root, before it opens
    size_t cursor_ = 0;                    // first text range of the batch not yet consumed
    bool done_ = false;
    Status held_;  // an error in text that no record has followed yet
};

}  // namespace

std::optional<ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                       ElementSink& sink, IndexBuilder build) {
    const char* input = source->data();
    const uint64_t len = source->size();
    std::optional<IndexBuild> index;
    if (build != static_cast<IndexBuilder>(build_index)) {
        index = build(input, len);
    } else if (prefers_bitmaps(input, len)) {
        IndexPath path;
        index = build_from_bitmaps_checked(input, len, path);
    } else {
        return read_document_in_batches(source, root_tag, sink, kBatchRecords);
    }
    if (!*index) return DocumentReader::index_error(index->error(), len);
    return DocumentReader(source, root_tag, sink).run(index->value());
}

std::optional<ReadError> read_document_in_batches(const SourceRef& source,
                                                  std::string_view root_tag, ElementSink& sink,
                                                  uint64_t batch_records) {
    SequentialBatches batches(source->data(), source->size(), batch_records);
    return DocumentReader(source, root_tag, sink).run(batches);
}

Expected<FlatTree, ReadError> read_document(const SourceRef& source, std::string_view root_tag,
                                            IndexBuilder build) {
    FlatTreeSink sink;
    if (std::optional<ReadError> error = read_document(source, root_tag, sink, build)) {
        return unexpected(std::move(*error));
    }
    return std::move(sink.tree);
}

}  // namespace plovane
