// Fuzzes read_document with any byte string as the document, and checks that
// reading over the byte-search index a batch at a time changes nothing.
//
// The first byte picks the root tag: one of a few fixed names, or (modes 6
// and 7) a name taken from the next bytes, its length from the second byte.
// The rest is the document. Callers only ever pass valid UTF-8, so other
// inputs are skipped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "element_record.h"
#include "read/document_reader.h"
#include "read/whitespace.h"
#include "storage/utf8_validate.h"

namespace {

using namespace plovane;

void require(bool condition) {
    if (!condition) std::abort();
}

// Every string of the tree must be valid UTF-8 (spans on character
// boundaries, inside the source); text is never empty and never starts or
// ends with white space.
void check_view(std::string_view text, const SourceRef& source) {
    const char* begin = source->data();
    const char* end = begin + source->size();
    if (text.data() >= begin && text.data() <= end)
        require(text.size() <= size_t(end - text.data()));
    require(is_valid_utf8(text.data(), text.size()));
}

void check_text(const TextRef& text, const SourceRef& source) {
    if (!text.present()) return;
    if (text.is_span()) {
        require(text.source() == source.get());
        require(text.span_start() <= text.span_end() && text.span_end() <= source->size());
    }
    check_view(text.view(), source);
}

void check_tree(const ElementRecord& root, const SourceRef& source) {
    std::vector<const ElementRecord*> pending{&root};
    while (!pending.empty()) {
        const ElementRecord* e = pending.back();
        pending.pop_back();
        require(!e->name.view().empty());
        check_text(e->name, source);
        check_text(e->text, source);
        if (e->text.present())
            require(trim_space(e->text.view()) == e->text.view() && !e->text.view().empty());
        e->attrs.for_each([&](std::string_view key, std::string_view value) {
            require(!key.empty());
            check_view(key, source);
            check_view(value, source);
        });
        for (const ElementRecord& child : e->children) pending.push_back(&child);
    }
}

void read_and_check(std::string_view doc, std::string_view root_tag) {
    SourceRef source = SharedSource::owned(std::string(doc));
    {
        auto result = read_record(source, root_tag);
        if (result) {
            require(result.value().name == root_tag);
            check_tree(result.value(), source);
        } else {
            // Raised as a str: valid UTF-8 even when it shows a name the
            // index cut inside a character.
            const std::string message = result.error().message();
            require(!message.empty() && is_valid_utf8(message.data(), message.size()));
        }
    }
    // Over the byte-search index in batches of a few records, the read
    // comes to what it comes to over that whole index.
    const uint64_t batch = 1 + doc.size() % 3;
    require(outcome_of(read_record(source, root_tag, build_sequential)) ==
            outcome_of(read_record_in_batches(source, root_tag, batch)));
    // Everything the read made is gone: only our reference is left.
    require(source->use_count() == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static constexpr std::string_view kFixed[] = {"r", "a", "b", "", "root", "x"};
    const unsigned mode = data[0] % 8;
    std::string_view root_tag, doc;
    if (mode < 6) {
        root_tag = kFixed[mode];
        doc = input.substr(1);
    } else {
        const size_t len = size > 1 ? data[1] % 8 : 0;
        root_tag = input.substr(std::min<size_t>(2, size)).substr(0, len);
        doc = input.substr(std::min(size, 2 + len));
    }
    if (!is_valid_utf8(doc.data(), doc.size()) ||
        !is_valid_utf8(root_tag.data(), root_tag.size())) {
        return 0;
    }
    read_and_check(doc, root_tag);
    return 0;
}
