// Fuzzes the writer: the input bytes describe a tree, an indent and whether
// the declaration is wanted. Each tree is written to memory and to a file and
// checked against a direct restatement of the layout rules, against
// indentation_bytes, and by reading the output back with read_document.
//
// Input layout: byte 0 the indent, byte 1 the declaration flag, then a
// program: each byte picks an operation (open a child, close the current
// element, add an attribute, set the text), followed by its operands.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "element_record.h"
#include "read/document_reader.h"
#include "read/whitespace.h"
#include "storage/hash_keys.h"
#include "write/xml_writer.h"

namespace {

using namespace plovane;

void require(bool condition) {
    if (!condition) std::abort();
}

// Keeps the reference serializer's recursion (and the input's cost) small;
// deep trees are the unit tests' business.
constexpr size_t kMaxDepth = 64;

class Program {
  public:
    Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ == size_; }
    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

    // A string of up to 15 pieces, mostly ones that escaping or the reader
    // treat specially.
    std::string text() {
        static constexpr std::string_view kPieces[] = {
            "&", "<", ">",     "\"",  "'",    "\t",     "\r",     "\n",  " ", "a", "bc", "é",
            "€", "𝄞", "&amp;", "]]>", "<!--", "\u00a0", "\u2028", "x y", "0", ";", "=",  "/"};
        std::string out;
        for (unsigned n = next() % 16; n > 0; --n) out += kPieces[next() % std::size(kPieces)];
        return out;
    }
    std::string name() {
        static constexpr std::string_view kNames[] = {"a", "b", "item", "x.y", "n-1", "_z", "é"};
        return std::string(kNames[next() % std::size(kNames)]);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

ElementRecord build_tree(Program& program) {
    ElementRecord root;
    root.name = TextRef::owned(program.name());
    const HashKeys keys = take_hash_keys();
    // The path of open elements; only the last one gets new children, so the
    // pointers stay valid.
    std::vector<ElementRecord*> open{&root};
    while (!program.done()) {
        ElementRecord& current = *open.back();
        switch (program.next() % 4) {
            case 0:
                if (open.size() < kMaxDepth) {
                    current.children.emplace_back();
                    current.children.back().name = TextRef::owned(program.name());
                    open.push_back(&current.children.back());
                }
                break;
            case 1:
                if (open.size() > 1) open.pop_back();
                break;
            case 2: {
                std::string key = program.name();
                current.attrs.insert(keys, TextRef::owned(key), TextRef::owned(program.text()));
                break;
            }
            default:
                current.text = TextRef::owned(program.text());
        }
    }
    return root;
}

// The layout rules restated as directly as possible, recursively.
struct Reference {
    uint64_t indent = 0;
    uint64_t level = 0;
    bool need_newline = false;
    std::string out;

    void escape(std::string_view text, bool attribute) {
        for (char c : text) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&apos;";
                    break;
                case '\t':
                    out += attribute ? "&#9;" : "\t";
                    break;
                case '\r':
                    out += attribute ? "&#13;" : "\r";
                    break;
                case '\n':
                    out += attribute ? "&#10;" : "\n";
                    break;
                default:
                    out += c;
            }
        }
    }
    void line() {
        if (need_newline) out += "\n" + std::string(indent * level, ' ');
        need_newline = true;
    }
    void element(const ElementRecord& e) {
        line();
        out += "<" + std::string(e.name.view());
        e.attrs.for_each([&](std::string_view key, std::string_view value) {
            out += " " + std::string(key) + "=\"";
            escape(value, true);
            out += "\"";
        });
        if (e.children.empty() && !e.text.present()) {
            out += "/>";
            return;
        }
        out += ">";
        ++level;
        if (e.text.present()) {
            escape(e.text.view(), false);
            need_newline = false;
        }
        for (const ElementRecord& child : e.children) element(child);
        --level;
        line();
        out += "</" + std::string(e.name.view()) + ">";
    }
};

std::string file_output(const ElementRecord& tree, uint64_t indent, bool declaration) {
    const int fd = memfd_create("write_fuzz", MFD_CLOEXEC);
    require(fd >= 0);
    auto failure = write_to_file(tree, "/proc/self/fd/" + std::to_string(fd), indent, declaration);
    require(!failure.has_value());
    std::string bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    require(pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    close(fd);
    return bytes;
}

// What reading the output gives back: text trimmed, and absent when nothing
// is left; everything else unchanged.
void check_read_back(const ElementRecord& written, const ElementRecord& read) {
    std::vector<std::pair<const ElementRecord*, const ElementRecord*>> pending{{&written, &read}};
    while (!pending.empty()) {
        const ElementRecord* w = pending.back().first;
        const ElementRecord* r = pending.back().second;
        pending.pop_back();
        require(w->name == r->name);
        const std::string_view text = w->text.present() ? trim_space(w->text.view()) : "";
        if (text.empty()) {
            require(!r->text.present());
        } else {
            require(r->text == text);
        }
        require(w->attrs.size() == r->attrs.size());
        w->attrs.for_each([&](std::string_view key, std::string_view value) {
            const auto found = r->attrs.find(key);
            require(found && *found == value);
        });
        require(w->children.size() == r->children.size());
        for (size_t i = 0; i < w->children.size(); ++i) {
            pending.push_back({&w->children[i], &r->children[i]});
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint64_t indent = data[0] % 10;
    const bool declaration = data[1] & 1;
    Program program(data + 2, size - 2);
    const ElementRecord tree = build_tree(program);

    const std::string out = write_to_string(tree, indent, declaration);
    Reference reference;
    reference.indent = indent;
    if (declaration) reference.out = kXmlDeclaration;
    reference.element(tree);
    require(out == reference.out);

    const std::string flat = write_to_string(tree, 0, declaration);
    const uint64_t spaces = out.size() - flat.size();
    const WriteList list = write_list_of(tree);
    require(indentation_bytes(list, indent) == spaces);
    // The quick bound must never be below the exact count.
    require(indentation_bound(list, indent) >= spaces);
    require(file_output(tree, indent, declaration) == out);

    SourceRef source = SharedSource::owned(out);
    auto read = read_record(source, tree.name.view());
    require(read.ok());
    check_read_back(tree, read.value());
    return 0;
}
