// The writer core on a synthetic catalogue, timed in thread CPU time (steadier
// than wall time on a shared machine): the walk over a tree that is kept, the
// consuming entry points, and what making and releasing such a tree costs.
// Strings are either owned or spans of one shared source, as a read gives.
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <utility>

#include "element_record.h"
#include "storage/hash_keys.h"
#include "write/memory_sink.h"
#include "write/xml_writer.h"

namespace {

using namespace plovane;

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of `runs`; `prepare` runs untimed before each timed `work`.
template <class Prepare, class Work>
double best_of(int runs, Prepare prepare, Work work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto input = prepare();
        const double start = cpu_seconds();
        work(std::move(input));
        best = std::min(best, cpu_seconds() - start);
    }
    return best;
}

std::string word(std::mt19937_64& rng, int length) {
    std::string out;
    for (int i = 0; i < length; ++i) out.push_back(static_cast<char>('a' + rng() % 26));
    return out;
}

// `records` records of 9 elements each: two attributes, four text fields
// (one in ten with an ampersand), three tags with one attribute each.
template <class MakeText>
ElementRecord catalogue(int records, MakeText text) {
    std::mt19937_64 rng(7);
    ElementRecord root;
    root.name = text("catalog");
    for (int i = 0; i < records; ++i) {
        ElementRecord record;
        record.name = text("record");
        const HashKeys keys = take_hash_keys();
        record.attrs.insert(keys, text("id"), text(std::to_string(i)));
        record.attrs.insert(keys, text("type"), text(word(rng, 5)));
        for (const char* field : {"title", "author", "year", "summary"}) {
            ElementRecord element;
            element.name = text(field);
            std::string value = word(rng, field[0] == 's' ? 60 : 12);
            if (rng() % 10 == 0) value += " & more";
            element.text = text(value);
            record.children.push_back(std::move(element));
        }
        ElementRecord tags;
        tags.name = text("tags");
        for (int j = 0; j < 3; ++j) {
            ElementRecord tag;
            tag.name = text("tag");
            tag.attrs.insert(take_hash_keys(), text("v"), text(word(rng, 6)));
            tags.children.push_back(std::move(tag));
        }
        record.children.push_back(std::move(tags));
        root.children.push_back(std::move(record));
    }
    return root;
}

void report(const char* label, const ElementRecord& doc, uint64_t elements) {
    constexpr int kRuns = 7;
    const WriteList list = write_list_of(doc);
    const uint64_t bytes = write_to_memory(list, 4, true).size();
    auto line = [&](const char* what, double seconds) {
        std::printf("  %-34s %8.2f ms %6.0f MB/s %6.1f ns/element\n", what, seconds * 1e3,
                    static_cast<double>(bytes) / seconds / 1e6,
                    seconds * 1e9 / static_cast<double>(elements));
    };
    std::printf("%s: %llu output bytes, %llu elements\n", label,
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(elements));
    auto no_input = [] { return 0; };
    line("lay out (write_list_of)", best_of(kRuns, no_input, [&](int) { write_list_of(doc); }));
    line("write_to_memory (laid out)",
         best_of(kRuns, no_input, [&](int) { MemorySink out = write_to_memory(list, 4, true); }));
    line("write_to_string (lays out)",
         best_of(kRuns, no_input, [&](int) { std::string out = write_to_string(doc, 4, true); }));
    line("write_to_file (laid out)", best_of(kRuns, no_input, [&](int) {
             if (write_to_file(list, "/tmp/plovane_write_core_bench.xml", 4, true)) {
                 std::printf("write_to_file failed\n");
             }
         }));
    line("indentation_bytes (laid out)", best_of(kRuns, no_input, [&](int) {
             volatile uint64_t spaces = indentation_bytes(list, 4);
             (void)spaces;
         }));
}

}  // namespace

int main() {
    constexpr int kRecords = 100000;
    constexpr uint64_t kElements = kRecords * 9 + 1;
    report("owned strings",
           catalogue(kRecords, [](std::string_view s) { return TextRef::owned(s); }), kElements);
    // Lay every string out in one source first, then make spans in the same order.
    std::string pool;
    catalogue(kRecords, [&](std::string_view s) {
        pool += s;
        return TextRef();
    });
    SourceRef source = SharedSource::owned(std::move(pool));
    uint64_t at = 0;
    report("span strings",
           catalogue(kRecords,
                     [&](std::string_view s) {
                         TextRef span = TextRef::span(source, at, at + s.size());
                         at += s.size();
                         return span;
                     }),
           kElements);
}
