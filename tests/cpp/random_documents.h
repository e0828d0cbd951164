// Random well-formed documents for comparing the two index strategies:
// nested elements with attribute values holding '>', '<', '/' and the other
// kind of quote, character data, comments, CDATA sections, processing
// instructions, a declaration and a document type with an internal subset.
// Quote characters appear outside tags only when asked for (the subset's
// literals hold balanced ones either way).
#pragma once

#include <random>
#include <string>
#include <vector>

namespace plovane::testing {

struct DocumentShape {
    bool quotes_outside_tags = false;
    int max_attributes = 4;
    int constructs = 60;
};

class DocumentGenerator {
  public:
    DocumentGenerator(uint64_t seed, DocumentShape shape) : rng_(seed), shape_(shape) {}

    std::string next() {
        std::string doc;
        if (chance(2)) doc += R"(<?xml version="1.0" encoding="UTF-8"?>)";
        if (chance(3)) doc += "\n<!DOCTYPE root>\n";
        if (chance(3)) doc += internal_subset();
        if (chance(3)) doc += comment();
        std::vector<std::string> open{start_tag(doc)};
        for (int i = 0; i < shape_.constructs && !open.empty(); ++i) {
            const int kind = pick(8);
            if (kind < 2 && open.size() < 30) open.push_back(start_tag(doc));
            if (kind == 2) doc += "</" + open.back() + space() + ">";
            if (kind == 2) open.pop_back();
            if (kind == 3) doc += "<" + name() + attributes() + space() + "/>";
            if (kind == 4) doc += comment();
            if (kind == 5) doc += "<![CDATA[" + text("<>]&") + "]]>";
            if (kind == 6) doc += "<?pi" + std::to_string(pick(3)) + " " + text(">?") + "?>";
            if (kind == 7) doc += text(">&;");
        }
        for (; !open.empty(); open.pop_back()) doc += "</" + open.back() + ">";
        if (chance(3)) doc += "\n" + comment();
        return doc;
    }

  private:
    bool chance(int one_in) { return pick(one_in) == 0; }
    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint64_t>(n)); }
    template <size_t N>
    const char* one_of(const char* const (&options)[N]) {
        return options[pick(static_cast<int>(N))];
    }

    std::string space() { return one_of({"", "", " ", "\t", "\n", "\r\n", " \f "}); }
    std::string name() { return one_of({"a", "item", "x:y", "g", "path", "té", "n-1"}); }

    // Letters, spaces and `extra`, and quotes when they are allowed outside
    // tags: in character data, comments, CDATA sections and instructions.
    std::string text(const std::string& extra) {
        std::string alphabet = "abc xyz\n" + extra;
        if (shape_.quotes_outside_tags) alphabet += "'\"";
        std::string out;
        for (int i = pick(40); i > 0; --i)
            out += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
        // Keep the construct's terminator out of its content.
        for (const char* end : {"]]>", "?>", "--"}) {
            for (size_t at; (at = out.find(end)) != std::string::npos;) out[at] = '_';
        }
        if (!out.empty() && std::string("-]?").find(out.back()) != std::string::npos)
            out.back() = '_';
        return out;
    }

    std::string comment() { return "<!--" + text("<>&-") + "-->"; }

    // A document type whose internal subset holds ']' and '>' in literals,
    // comments and processing instructions.
    std::string internal_subset() {
        std::string out = "<!DOCTYPE root [";
        for (int i = pick(5); i > 0; --i) {
            const int kind = pick(4);
            std::string value = kind == 1 ? text("]><&") : "";
            for (char& c : value) c = c == '"' ? '_' : c;
            if (kind == 0) out += "<!ELEMENT a ANY>";
            if (kind == 1) out += "<!ENTITY e \"" + value + "\">";
            if (kind == 2) out += "<!--" + text("]>-") + "-->";
            if (kind == 3) out += "<?p " + text("]>") + "?>";
            out += space();
        }
        return out + "]" + space() + ">\n";
    }

    std::string attributes() {
        std::string out;
        for (int i = 0, n = pick(shape_.max_attributes + 1); i < n; ++i) {
            const char quote = chance(3) ? '\'' : '"';
            const char other = quote == '"' ? '\'' : '"';
            std::string value;
            for (int j = pick(12); j > 0; --j) value += chance(6) ? other : "ab />=&;"[pick(8)];
            out += (chance(4) ? "\n  " : " ") + ("k" + std::to_string(i)) + space() + "=" +
                   space() + quote + value + quote;
        }
        return out;
    }

    std::string start_tag(std::string& doc) {
        const std::string n = name();
        doc += "<" + n + attributes() + space() + ">";
        return n;
    }

    std::mt19937_64 rng_;
    DocumentShape shape_;
};

}  // namespace plovane::testing
