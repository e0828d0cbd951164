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
        std::vector<std::string> open;
        open.push_back(start_tag(doc));
        for (int i = 0; i < shape_.constructs && !open.empty(); ++i) {
            switch (pick(8)) {
                case 0:
                case 1:
                    if (open.size() < 30) open.push_back(start_tag(doc));
                    break;
                case 2:
                    doc += "</" + open.back() + space() + ">";
                    open.pop_back();
                    break;
                case 3:
                    doc += empty_tag();
                    break;
                case 4:
                    doc += comment();
                    break;
                case 5:
                    doc += "<![CDATA[" + text("<>]&") + "]]>";
                    break;
                case 6:
                    doc += "<?pi" + std::to_string(pick(3)) + " " + text(">?") + "?>";
                    break;
                default:
                    doc += text(">&;");
                    break;
            }
        }
        while (!open.empty()) {
            doc += "</" + open.back() + ">";
            open.pop_back();
        }
        if (chance(3)) doc += "\n" + comment();
        return doc;
    }

  private:
    bool chance(int one_in) { return pick(one_in) == 0; }
    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint64_t>(n)); }

    std::string space() {
        static const char* const kSpaces[] = {"", "", " ", "\t", "\n", "\r\n", " \f "};
        return kSpaces[pick(7)];
    }

    std::string name() {
        static const char* const kNames[] = {"a", "item", "x:y", "g", "path", "té", "n-1"};
        return kNames[pick(7)];
    }

    // Letters, spaces and `extra`, and quotes when they are allowed outside
    // tags: in character data, comments, CDATA sections and instructions.
    std::string text(const std::string& extra) {
        std::string alphabet = "abc xyz\n" + extra;
        if (shape_.quotes_outside_tags) alphabet += "'\"";
        std::string out;
        const int len = pick(40);
        for (int i = 0; i < len; ++i) {
            out += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
        }
        // Keep the construct's terminator out of its content.
        for (const char* end : {"]]>", "?>", "--"}) {
            for (size_t at; (at = out.find(end)) != std::string::npos;) out[at] = '_';
        }
        if (!out.empty() && (out.back() == '-' || out.back() == ']' || out.back() == '?')) {
            out.back() = '_';
        }
        return out;
    }

    std::string comment() { return "<!--" + text("<>&-") + "-->"; }

    // A document type whose internal subset holds ']' and '>' in literals,
    // comments and processing instructions.
    std::string internal_subset() {
        std::string out = "<!DOCTYPE root [";
        for (int i = pick(5); i > 0; --i) {
            switch (pick(4)) {
                case 0:
                    out += "<!ELEMENT a ANY>";
                    break;
                case 1: {
                    std::string value = text("]><&");
                    for (char& c : value) c = c == '"' ? '_' : c;
                    out += "<!ENTITY e \"" + value + "\">";
                    break;
                }
                case 2:
                    out += "<!--" + text("]>-") + "-->";
                    break;
                default:
                    out += "<?p " + text("]>") + "?>";
                    break;
            }
            out += space();
        }
        return out + "]" + space() + ">\n";
    }

    std::string attributes() {
        std::string out;
        const int n = pick(shape_.max_attributes + 1);
        for (int i = 0; i < n; ++i) {
            const char quote = chance(3) ? '\'' : '"';
            const char other = quote == '"' ? '\'' : '"';
            std::string value;
            const int len = pick(12);
            for (int j = 0; j < len; ++j) {
                static const char kValueBytes[] = "ab />=&;";
                value += chance(6) ? other : kValueBytes[pick(sizeof kValueBytes - 1)];
            }
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

    std::string empty_tag() { return "<" + name() + attributes() + space() + "/>"; }

    std::mt19937_64 rng_;
    DocumentShape shape_;
};

}  // namespace plovane::testing
