#include "read/markup_scanner.h"

#include <cstring>
#include <optional>
#include <string>

#include "read/references.h"
#include "read/whitespace.h"

namespace plovane {

namespace {

bool ends_attribute_name(char c) noexcept {
    return is_markup_space(c) || c == '"' || c == '\'' || c == '=';
}

Unexpected<ReadError> malformed(std::string message, uint64_t position) {
    return unexpected(ReadError::malformed(std::move(message), position));
}

std::string quoted_name_message(const char* before, std::string_view name, const char* after) {
    std::string message(before);
    message.append(name).append(after);
    return message;
}

// Walks one attribute area, adding each attribute to `record`.
class AttributeScanner {
  public:
    AttributeScanner(const SourceRef& source, const StartTag& tag, HashKeys keys)
        : source_(source), area_(tag.attribute_area), a0_(tag.area_start), keys_(keys) {}

    // The first error, if any.
    std::optional<ReadError> scan(ElementRecord& record) {
        size_t q = 0;  // where the previous attribute ended
        size_t p = skip_space(0);
        while (p < area_.size()) {
            if (p == q) {
                return ReadError::malformed("expected whitespace before attribute", a0_ + q);
            }
            auto end = scan_attribute(p, record);
            if (!end) return std::move(end).error();
            q = end.value();
            p = skip_space(q);
        }
        return std::nullopt;
    }

  private:
    size_t skip_space(size_t p) const noexcept {
        while (p < area_.size() && is_markup_space(area_[p])) ++p;
        return p;
    }

    // Scans the attribute whose name starts at `n`; returns the offset just
    // past its closing quote.
    Expected<size_t, ReadError> scan_attribute(size_t n, ElementRecord& record) {
        const size_t len = area_.size();
        size_t p = n;
        while (p < len && !ends_attribute_name(area_[p])) ++p;
        if (p == n) return malformed("expected attribute name", a0_ + p);
        const std::string_view name = area_.substr(n, p - n);

        p = skip_space(p);
        if (p == len || area_[p] != '=') {
            return malformed(quoted_name_message("attribute '", name, "' has no value"), a0_ + n);
        }
        p = skip_space(p + 1);
        if (p == len || (area_[p] != '"' && area_[p] != '\'')) {
            return malformed(quoted_name_message("value of attribute '", name, "' is not quoted"),
                             a0_ + p);
        }
        const size_t v = p + 1;
        const void* close = std::memchr(area_.data() + v, area_[p], len - v);
        if (!close) return malformed("unterminated attribute value", a0_ + v);
        const std::string_view raw(area_.data() + v,
                                   static_cast<const char*>(close) - (area_.data() + v));
        if (const void* lt = std::memchr(raw.data(), '<', raw.size())) {
            return malformed("'<' is not allowed in attribute values",
                             a0_ + v + (static_cast<const char*>(lt) - raw.data()));
        }

        auto decoded = decode_references(raw, a0_ + v, DecodeMode::Attribute);
        if (!decoded) return unexpected(std::move(decoded).error());
        TextRef value = decoded.value().is_view() ? TextRef::span(source_, raw)
                                                  : TextRef::owned(decoded.value().owned);
        if (!record.attrs.insert(keys_, TextRef::span(source_, name), std::move(value))) {
            return malformed(quoted_name_message("duplicate attribute '", name, "'"), a0_ + n);
        }
        return v + raw.size() + 1;
    }

    const SourceRef& source_;
    std::string_view area_;
    uint64_t a0_;
    HashKeys keys_;
};

}  // namespace

Expected<StartTag, ReadError> split_start_tag(std::string_view text, const StructuralIndex& index,
                                              uint64_t i) {
    const uint64_t s = index.tag_starts[i];
    const NameSpan name = index.tag_names[i];
    if (name.len == 0) return malformed("expected element name after '<'", s);
    const uint64_t a0 = s + name.len + 1;
    // The "/" of "/>" is not part of an empty-element tag's attributes.
    uint64_t area_end = index.tag_ends[i];
    if (static_cast<TagKind>(index.tag_kinds[i]) == TagKind::SelfClosing) --area_end;
    if (area_end < a0) area_end = a0;
    return StartTag{text.substr(name.start, name.len), text.substr(a0, area_end - a0), a0};
}

Expected<ElementRecord, ReadError> scan_start_tag(const SourceRef& source,
                                                  const StructuralIndex& index, uint64_t i,
                                                  HashKeys keys) {
    auto tag = split_start_tag(source->text(), index, i);
    if (!tag) return unexpected(std::move(tag).error());
    ElementRecord record;
    record.name = TextRef::span(source, tag.value().name);
    if (!tag.value().attribute_area.empty()) {
        if (auto error = AttributeScanner(source, tag.value(), keys).scan(record)) {
            return unexpected(std::move(*error));
        }
    }
    return record;
}

}  // namespace plovane
