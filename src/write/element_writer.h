// The layout of the output: XmlWriter holds the state of one serialisation,
// write_element walks a record tree through it.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "storage/element_record.h"
#include "write/escape.h"

namespace plovane {

// indent x level, which with an absurd indent may exceed what any output
// could hold; saturating keeps the count meaningful for callers that check it.
inline uint64_t indentation_of(uint64_t indent, uint64_t level) noexcept {
    uint64_t spaces;
    return __builtin_mul_overflow(indent, level, &spaces) ? UINT64_MAX : spaces;
}

// Every element starts on a new line indented by `indent` spaces per level,
// except the root and a first child that directly follows its parent's text;
// an end tag starts on a new line unless it directly follows the text.
template <class Sink>
class XmlWriter {
  public:
    XmlWriter(Sink& sink, uint64_t indent) : sink_(sink), indent_(indent) {}

    // Writes the start tag, and the text when there is one. Sets `has_content`
    // when the element stays open for its children and end tag; an element
    // without children and text is closed here by "/>".
    bool open(const ElementRecord& record, bool& has_content) {
        if (!start_line()) return false;
        if (!sink_.append("<") || !sink_.append(record.name.view())) return false;
        bool ok = true;
        record.attrs.for_each([&](const TextRef& key, const TextRef& value) {
            ok = ok && sink_.append(" ") && sink_.append(key.view()) && sink_.append("=\"") &&
                 write_escaped(sink_, value.view(), true) && sink_.append("\"");
        });
        if (!ok) return false;
        has_content = !record.children.empty() || record.text.present();
        if (!has_content) return sink_.append("/>");
        if (!sink_.append(">")) return false;
        ++level_;
        if (record.text.present()) {
            if (!write_escaped(sink_, record.text.view(), false)) return false;
            need_newline_ = false;
        }
        return true;
    }

    // Writes the end tag of an element that `open` left open.
    bool close(const ElementRecord& record) {
        --level_;
        return start_line() && sink_.append("</") && sink_.append(record.name.view()) &&
               sink_.append(">");
    }

  private:
    bool start_line() {
        const bool was_needed = need_newline_;
        need_newline_ = true;
        if (!was_needed) return true;
        return sink_.append("\n") && sink_.append_spaces(indentation_of(indent_, level_));
    }

    Sink& sink_;
    const uint64_t indent_;
    uint64_t level_ = 0;
    bool need_newline_ = false;
};

// A large tree is walked far slower than its output is written: each record
// points to separate heap blocks. Asking for the next sibling's blocks while
// the current child is written hides much of that latency.
inline void prefetch_record(const ElementRecord& record) {
    __builtin_prefetch(record.name.view().data());
    __builtin_prefetch(record.text.view().data());
    __builtin_prefetch(record.children.data());
}

// Gives back the storage of a written record at once; its children have
// already been emptied the same way, so nothing deep is left to release.
inline void release_record(ElementRecord& record) {
    record.name.reset();
    record.attrs = AttrMap();
    record.text.reset();
    std::vector<ElementRecord>().swap(record.children);
}

// Writes `root` and all its descendants, depth first, with an explicit stack
// so that nesting depth costs heap, not native stack. A mutable tree is
// consumed: each record is released as soon as it has been written. Stops at
// the first failed append.
template <class Sink, class Record>
bool write_element(XmlWriter<Sink>& writer, Record& root) {
    constexpr bool kConsume = !std::is_const_v<Record>;
    struct Frame {
        Record* record;
        size_t next_child;
    };
    bool has_content = false;
    if (!writer.open(root, has_content)) return false;
    if (!has_content) {
        if constexpr (kConsume) release_record(root);
        return true;
    }
    std::vector<Frame> open_elements{{&root, 0}};
    while (!open_elements.empty()) {
        Frame& top = open_elements.back();
        if (top.next_child < top.record->children.size()) {
            Record& child = top.record->children[top.next_child++];
            if (top.next_child < top.record->children.size()) {
                prefetch_record(top.record->children[top.next_child]);
            }
            if (!writer.open(child, has_content)) return false;
            if (has_content) {
                open_elements.push_back({&child, 0});
            } else if constexpr (kConsume) {
                release_record(child);
            }
            continue;
        }
        if (!writer.close(*top.record)) return false;
        if constexpr (kConsume) release_record(*top.record);
        open_elements.pop_back();
    }
    return true;
}

}  // namespace plovane
