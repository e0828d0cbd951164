// Throughput of the structural index on 64 MiB documents, next to glibc's
// memchr over the same bytes as the physical anchor: every classifier
// kernel this processor runs, both strategies, and build_index on an
// attribute-heavy document (bitmap path) and a text-and-markup document
// (byte-search path). Each figure is the best of several runs, timed in
// this thread's CPU time (user and system, so page faults count), which
// stays meaningful on a machine shared with other work.
//
//   index_bench            the table
//   index_bench --huge     also indexes a document of more than 4 GiB
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "index/structural_index.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"

namespace {

using namespace plovane;

constexpr uint64_t kDocBytes = uint64_t{64} << 20;
constexpr int kRuns = 7;

// Repeats `unit` until the document is `bytes` long, then closes `root`.
std::string repeat_document(const std::string& root, uint64_t bytes,
                            const std::function<std::string(uint64_t)>& unit) {
    std::string doc = "<?xml version=\"1.0\"?>\n<" + root + ">\n";
    doc.reserve(bytes + 4096);
    const std::string close = "</" + root + ">\n";
    for (uint64_t i = 0; doc.size() + close.size() < bytes; ++i) doc += unit(i);
    return doc + close;
}

// Drawing data: elements made of attribute values, about 190 bytes each.
std::string attribute_heavy(uint64_t bytes) {
    return repeat_document("svg", bytes, [](uint64_t i) {
        const std::string n = std::to_string(i % 997);
        return "  <path id=\"p" + std::to_string(i) + "\" d=\"M " + n + " 20 L 30 " + n +
               " C 1 2 3 4 5 6 Z\" fill=\"#a0b0c0\" stroke=\"#102030\" stroke-width=\"1.5\"" +
               " transform=\"translate(" + n + ", 7)\" class=\"shape\"/>\n";
    });
}

// Prose with inline markup: about 60 bytes of text between tags.
std::string text_and_markup(uint64_t bytes) {
    return repeat_document("article", bytes, [](uint64_t i) {
        return "<p>Paragraph " + std::to_string(i) +
               " of the text, where the reader's eye moves along the line and "
               "<em>emphasis</em> falls on a few words; then a "
               "<a href=\"https://example.org/page\">link</a> leads elsewhere, and "
               "the sentence ends without any markup at all, as most prose does.</p>\n";
    });
}

double cpu_now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds(const std::function<void()>& run) {
    const double t0 = cpu_now();
    run();
    return cpu_now() - t0;
}

double gbps(uint64_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e9;
}

volatile uint64_t g_sink;

const char* path_name(IndexPath path) {
    switch (path) {
        case IndexPath::Sequential:
            return "byte searches";
        case IndexPath::Bitmaps:
            return "bitmaps";
        case IndexPath::BitmapsRejected:
            return "bitmaps, rejected";
    }
    return "?";
}

// Offsets past 4 GiB: the last records of a 4.3 GiB document, and the two
// builds record for record.
void huge_document() {
    const uint64_t bytes = (uint64_t{4} << 30) + (uint64_t{300} << 20);
    std::printf("\nbuilding a %.2f GiB attribute-heavy document...\n",
                static_cast<double>(bytes) / (1 << 30));
    const std::string doc = attribute_heavy(bytes);
    std::vector<IndexBuild> builds;
    const char* names[2] = {"build_index", "build_sequential"};
    for (int i = 0; i < 2; ++i) {
        IndexPath path = IndexPath::Sequential;
        const double t0 = cpu_now();
        builds.push_back(i == 0 ? build_index(doc.data(), doc.size(), path)
                                : build_sequential(doc.data(), doc.size()));
        const double s = cpu_now() - t0;
        const StructuralIndex& x = builds[i].value();
        const uint64_t n = x.record_count();
        const bool ends_right =
            builds[i].ok() && n > 1 && x.tag_starts[n - 1] == doc.rfind("</svg>") &&
            x.tag_ends[n - 1] == doc.size() - 2 && x.tag_name(n - 1) == "svg" &&
            x.tag_starts[n - 2] > (uint64_t{4} << 30) && x.tag_name(n - 2) == "path";
        std::printf("%-17s %s: %llu records, last at byte %llu, %.2f GB/s, last records %s\n",
                    names[i], i == 0 ? path_name(path) : "byte searches",
                    static_cast<unsigned long long>(n),
                    static_cast<unsigned long long>(n ? x.tag_starts[n - 1] : 0),
                    gbps(doc.size(), s), ends_right ? "correct" : "WRONG");
    }
    const StructuralIndex& a = builds[0].value();
    const StructuralIndex& b = builds[1].value();
    bool same = a.tag_starts == b.tag_starts && a.tag_ends == b.tag_ends &&
                a.tag_kinds == b.tag_kinds && a.text_ranges.size() == b.text_ranges.size();
    for (uint64_t i = 0; same && i < a.text_ranges.size(); ++i) {
        same = a.text_ranges[i].start == b.text_ranges[i].start &&
               a.text_ranges[i].end == b.text_ranges[i].end;
    }
    for (uint64_t i = 0; same && i < a.record_count(); ++i) {
        same = a.tag_names[i].start == b.tag_names[i].start &&
               a.tag_names[i].len == b.tag_names[i].len;
    }
    std::printf("the two indexes are %s\n", same ? "identical" : "DIFFERENT");
}

struct Document {
    const char* name;
    std::string bytes;
};

// One row: `run` timed on each document, in GB/s and as a multiple of
// memchr's bandwidth on that document, measured in turn with `run` so that
// both see the same load on a shared machine.
void row(const std::string& label, const std::vector<Document>& docs,
         const std::function<void(const std::string&)>& run) {
    std::printf("%-40s", label.c_str());
    for (const Document& d : docs) {
        double anchor = 1e30;
        double subject = 1e30;
        for (int i = 0; i < kRuns; ++i) {
            anchor = std::min(anchor, seconds([&] {
                                  g_sink =
                                      std::memchr(d.bytes.data(), 0x01, d.bytes.size()) != nullptr;
                              }));
            subject = std::min(subject, seconds([&] { run(d.bytes); }));
        }
        std::printf(" %8.2f %8.2f", gbps(d.bytes.size(), subject), anchor / subject);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Document> docs;
    docs.push_back({"attributes", attribute_heavy(kDocBytes)});
    docs.push_back({"prose", text_and_markup(kDocBytes)});
    std::printf("%.1f MiB per document; best of %d runs in thread CPU time; GB/s = 1e9 bytes/s\n",
                static_cast<double>(docs[0].bytes.size()) / (1 << 20), kRuns);
    for (const Document& d : docs) {
        IndexPath path;
        const IndexBuild b = build_index(d.bytes.data(), d.bytes.size(), path);
        std::printf("  %-11s %8llu records, one per %3.0f bytes; build_index takes %s\n", d.name,
                    static_cast<unsigned long long>(b.value().record_count()),
                    static_cast<double>(d.bytes.size()) / b.value().record_count(),
                    path_name(path));
    }
    std::printf("\n%-40s %17s %17s\n", "", docs[0].name, docs[1].name);
    std::printf("%-40s %8s %8s %8s %8s\n", "", "GB/s", "x memchr", "GB/s", "x memchr");
    row("memchr (glibc), whole input", docs, [](const std::string& doc) {
        g_sink = std::memchr(doc.data(), 0x01, doc.size()) != nullptr;
    });

    // The kernels alone, into bitmaps allocated and touched beforehand. A
    // kernel assigns every full block's word and ORs only into the tail's.
    const uint64_t words = (docs[0].bytes.size() + 63) / 64 + 1;
    std::vector<uint64_t> lt(words), gt(words);
    for (const KernelInfo& k : supported_kernels()) {
        row(std::string("kernel ") + k.name, docs, [&](const std::string& doc) {
            lt[doc.size() / 64] = gt[doc.size() / 64] = 0;
            g_sink = k.run(doc.data(), doc.size(), lt.data(), gt.data());
        });
    }
    row(std::string("classify_structural (") + selected_kernel().name + ", allocating)", docs,
        [](const std::string& doc) {
            g_sink = classify_structural(doc.data(), doc.size()).lt_bits.back();
        });
    row("build_index", docs, [](const std::string& doc) {
        g_sink = build_index(doc.data(), doc.size()).value().record_count();
    });
    row("build_sequential", docs, [](const std::string& doc) {
        g_sink = build_sequential(doc.data(), doc.size()).value().record_count();
    });
    row("build_from_bitmaps", docs, [](const std::string& doc) {
        g_sink = build_from_bitmaps(doc.data(), doc.size()).value().record_count();
    });

    if (argc > 1 && std::strcmp(argv[1], "--huge") == 0) huge_document();
    return 0;
}
