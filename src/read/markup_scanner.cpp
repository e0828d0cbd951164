#include "read/markup_scanner.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "read/references.h"
#include "read/whitespace.h"
#include "simd/byte_scan.h"

namespace plovane {

namespace {

// Byte classes of the attribute area, looked up once per byte.
enum : uint8_t { kSpace = 1, kEndsName = 2 };

constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> table{};
    for (size_t c = 0; c < table.size(); ++c) {
        if (is_markup_space(static_cast<char>(c))) table[c] = kSpace | kEndsName;
    }
    for (const char c : {'"', '\'', '='}) table[static_cast<unsigned char>(c)] = kEndsName;
    return table;
}();

bool has_class(char c, uint8_t byte_class) noexcept {
    return kByteClass[static_cast<unsigned char>(c)] & byte_class;
}

Unexpected<ReadError> malformed(std::string message, uint64_t position) {
    return unexpected(ReadError::malformed(std::move(message), position));
}

std::string quoted_name_message(const char* before, std::string_view name, const char* after) {
    std::string message(before);
    message.append(name).append(after);
    return message;
}

// Walks one attribute area, adding each attribute to a record's map.
//
// Attributes are collected first and inserted together into a map reserved
// for exactly as many, so that a tag's map is allocated once. The first few
// go to a fixed array; a tag with more spills them into a vector, which
// costs a tag with very many attributes one sequential copy instead of
// regrowing (and rehashing) its map. They are inserted before any later
// error is reported, in document order, so a duplicate is still reported
// before a fault in an attribute after it.
class AttributeScanner {
  public:
    AttributeScanner(SpanBatch& spans, const StartTag& tag, HashKeys keys, AttrMap& attrs)
        : spans_(spans),
          area_(tag.attribute_area),
          a0_(tag.area_start),
          keys_(keys),
          attrs_(attrs) {}

    // The first error, if any.
    std::optional<ReadError> scan() {
        size_t q = 0;  // where the previous attribute ended
        size_t p = skip_space(0);
        while (p < area_.size()) {
            if (p == q) {
                return fail(ReadError::malformed("expected whitespace before attribute", a0_ + q));
            }
            auto end = scan_attribute(p);
            if (!end) return fail(std::move(end).error());
            q = end.value();
            p = skip_space(q);
        }
        return insert_all();
    }

  private:
    struct Attribute {
        size_t name, name_len;    // in the area
        size_t value, value_len;  // in the area, for a value taken as it stands
        // Otherwise, 1 + the index of the rewritten value in rewritten_.
        size_t rewritten;
    };
    // Enough for nearly every tag, which then needs no allocation here.
    static constexpr size_t kBatch = 32;

    size_t skip_space(size_t p) const noexcept {
        while (p < area_.size() && has_class(area_[p], kSpace)) ++p;
        return p;
    }

    // Scans the attribute whose name starts at `n`; returns the offset just
    // past its closing quote.
    Expected<size_t, ReadError> scan_attribute(size_t n) {
        const size_t len = area_.size();
        size_t p = n;
        while (p < len && !has_class(area_[p], kEndsName)) ++p;
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
        if (batch_size_ == kBatch) {
            spilled_.insert(spilled_.end(), batch_, batch_ + kBatch);
            batch_size_ = 0;
        }
        Attribute& attr = batch_[batch_size_];
        attr.name = n;
        attr.name_len = name.size();
        auto close = scan_value(p + 1, area_[p], attr);
        if (!close) return unexpected(std::move(close).error());
        ++batch_size_;
        return close.value() + 1;
    }

    // Fills in the value of `attr`, which starts at `v` just after its
    // opening `quote`; returns the offset of the closing quote.
    Expected<size_t, ReadError> scan_value(size_t v, char quote, Attribute& attr) {
        attr.value = v;
        attr.rewritten = 0;
        // Most values hold none of '<', '&', tab, line feed or carriage
        // return, so one scan up to the closing quote settles them.
        const size_t first = quote == '"' ? first_notable<'"'>(v) : first_notable<'\''>(v);
        if (first < area_.size() && area_[first] == quote) {
            attr.value_len = first - v;
            return first;
        }
        const size_t close = area_.find(quote, v);
        if (close == std::string_view::npos) {
            return malformed("unterminated attribute value", a0_ + v);
        }
        const std::string_view raw = area_.substr(v, close - v);
        const size_t lt = raw.find('<');
        if (lt != std::string_view::npos) {
            return malformed("'<' is not allowed in attribute values", a0_ + v + lt);
        }
        auto decoded = decode_references(raw, a0_ + v, DecodeMode::Attribute);
        if (!decoded) return unexpected(std::move(decoded).error());
        attr.value_len = raw.size();
        if (!decoded.value().is_view()) {
            rewritten_.push_back(std::move(decoded.value().owned));
            attr.rewritten = rewritten_.size();
        }
        return close;
    }

    // Offset of the first quote `Q`, '<', '&', tab, line feed or carriage
    // return at or after `v`, or the area's length.
    template <char Q>
    size_t first_notable(size_t v) const noexcept {
        return v + find_first_of<Q, '<', '&', '\t', '\n', '\r'>(area_.data() + v, area_.size() - v);
    }

    // Moves the attributes into the map; fails on the first duplicate name.
    std::optional<ReadError> insert_all() {
        std::span<const Attribute> all(batch_, std::exchange(batch_size_, 0));
        if (!spilled_.empty()) {
            spilled_.insert(spilled_.end(), all.begin(), all.end());
            all = spilled_;
        }
        if (all.empty()) return std::nullopt;
        if (all.size() > UINT32_MAX) throw std::bad_alloc();  // more than a map holds
        if (auto small = insert_small(all)) return *small;
        // The map's table comes from the document's arena, and holds one
        // reference on the document for it.
        attrs_.reserve_in(keys_, static_cast<uint32_t>(all.size()), spans_.source());
        spans_.hand_out(1);
        // Names hashed a batch ahead: in a large map their slot reads overlap.
        const size_t repeat = attrs_.insert_hashed_ahead(
            all.size(), [&](size_t i) { return name_of(all[i]); },
            [&](size_t i, const AttrMap::Hashed& name) { return insert(all[i], name); });
        if (repeat == all.size()) return std::nullopt;
        return duplicate(all[repeat]);
    }

    // A few attributes whose values stand in the document go into a map
    // without slots, with no hashing; nullopt for any other tag (nothing
    // is done then).
    std::optional<std::optional<ReadError>> insert_small(std::span<const Attribute> all) {
        if (all.size() > AttrMap::kMaxSmall) return std::nullopt;
        // Left uninitialised: clearing the whole array cost more than the
        // rest of this function.
        union Texts {
            Texts() {}
            std::pair<std::string_view, std::string_view> at[AttrMap::kMaxSmall];
        } texts;
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].rewritten) return std::nullopt;
            std::construct_at(&texts.at[i], name_of(all[i]),
                              area_.substr(all[i].value, all[i].value_len));
            if (!attrs_.packs_views(spans_.source(), texts.at[i].first, texts.at[i].second)) {
                return std::nullopt;
            }
        }
        const size_t stored =
            attrs_.insert_small_views(keys_, spans_.source(), std::span(texts.at, all.size()));
        spans_.hand_out(1 + 2 * stored);  // the table's, and its strings'
        if (stored == all.size()) return std::optional<ReadError>();
        return duplicate(all[stored]);
    }

    ReadError duplicate(const Attribute& attr) const {
        return ReadError::malformed(
            quoted_name_message("duplicate attribute '", name_of(attr), "'"), a0_ + attr.name);
    }

    std::string_view name_of(const Attribute& attr) const noexcept {
        return area_.substr(attr.name, attr.name_len);
    }

    // Nearly always a value that stands in the document goes into a map of
    // such values: as two views, with no TextRefs made on the way.
    bool insert(const Attribute& attr, const AttrMap::Hashed& name) {
        if (!attr.rewritten) {
            const std::string_view value = area_.substr(attr.value, attr.value_len);
            if (attrs_.packs_views(spans_.source(), name.key, value)) {
                if (!attrs_.insert_views(spans_.source(), name, value)) return false;
                spans_.hand_out(2);
                return true;
            }
            return attrs_.insert(name, spans_.span(name.key), spans_.span(value));
        }
        return attrs_.insert(name, spans_.span(name.key),
                             TextRef::owned(rewritten_[attr.rewritten - 1]));
    }

    // An error found after the attributes scanned so far: a duplicate among
    // those comes first in the document.
    std::optional<ReadError> fail(ReadError error) {
        if (auto duplicate = insert_all()) return duplicate;
        return error;
    }

    SpanBatch& spans_;
    std::string_view area_;
    uint64_t a0_;
    HashKeys keys_;
    AttrMap& attrs_;
    Attribute batch_[kBatch];
    size_t batch_size_ = 0;
    std::vector<Attribute> spilled_;      // all of them, once more than kBatch
    std::vector<std::string> rewritten_;  // values changed by decoding, for this tag
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

std::optional<ReadError> scan_start_tag(SpanBatch& spans, const StructuralIndex& index, uint64_t i,
                                        HashKeys keys, TextRef& name, AttrMap& attrs) {
    auto tag = split_start_tag(spans.text(), index, i);
    if (!tag) return std::move(tag).error();
    name = spans.span(tag.value().name);
    if (tag.value().attribute_area.empty()) return std::nullopt;
    return AttributeScanner(spans, tag.value(), keys, attrs).scan();
}

}  // namespace plovane
