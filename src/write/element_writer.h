// The layout of the output: XmlWriter holds the state of one serialisation,
// write_elements walks a laid-out tree through it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/saturating.h"
#include "write/escape.h"
#include "write/write_list.h"

namespace plovane {

// indent x level, which with an absurd indent may exceed what any output
// could hold; saturating keeps the count meaningful for callers that check it.
inline uint64_t indentation_of(uint64_t indent, uint64_t level) noexcept {
    return saturating_mul(indent, level);
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
    bool open(const WriteElement& element, bool& has_content) {
        if (!start_line()) return false;
        if (!sink_.append("<") || !sink_.append(element.name)) return false;
        bool ok = true;
        element.attrs.for_each([&](std::string_view key, std::string_view value) {
            ok = ok && sink_.append(" ") && sink_.append(key) && sink_.append("=\"") &&
                 write_escaped(sink_, value, true) && sink_.append("\"");
        });
        if (!ok) return false;
        has_content = element.child_count > 0 || element.has_text;
        if (!has_content) return sink_.append("/>");
        if (!sink_.append(">")) return false;
        ++level_;
        if (element.has_text) {
            if (!write_escaped(sink_, element.text, false)) return false;
            need_newline_ = false;
        }
        return true;
    }

    // Writes the end tag of an element that `open` left open.
    bool close(const WriteElement& element) {
        --level_;
        return start_line() && sink_.append("</") && sink_.append(element.name) &&
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

// Writes the elements of `list` with an explicit stack of open elements, so
// that nesting depth costs heap, not native stack. Stops at the first failed
// append.
template <class Sink>
bool write_elements(XmlWriter<Sink>& writer, const WriteList& list) {
    struct Open {
        const WriteElement* element;
        uint64_t children_left;
    };
    std::vector<Open> open;
    const std::vector<WriteElement>& elements = list.elements;
    // The maps are separate heap blocks; asking for them a few elements
    // ahead hides most of the wait for them.
    constexpr size_t kPrefetchDistance = 4;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i + kPrefetchDistance < elements.size())
            elements[i + kPrefetchDistance].attrs.prefetch();
        const WriteElement& element = elements[i];
        bool has_content = false;
        if (!writer.open(element, has_content)) return false;
        if (element.child_count > 0) {
            open.push_back({&element, element.child_count});
            continue;
        }
        if (has_content && !writer.close(element)) return false;
        // The element is done, and with it every ancestor whose last child it was.
        while (!open.empty() && --open.back().children_left == 0) {
            if (!writer.close(*open.back().element)) return false;
            open.pop_back();
        }
    }
    return true;
}

}  // namespace plovane
