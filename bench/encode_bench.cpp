// Throughput of the UTF-8 encoder of fixed-width code units (what reading a
// non-ASCII str costs before any parsing) on texts of about 10 MB of units:
// encode_utf8 as the reader calls it (in steps, into a buffer it sizes), then each
// kernel this processor runs, counting and encoding into a buffer made once.
// Also the writer's escape scans on short strings (5 to 30 bytes, as most
// attribute values and texts are), per call through the kernel dispatch.
// Figures are the best of several runs in this thread's CPU time, in GB/s of
// input units, and ns per call.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "simd/classify_kernels.h"
#include "storage/utf8_encode.h"
#include "write/escape_scan.h"

namespace {

using namespace plovane;

constexpr size_t kTargetBytes = size_t{10} << 20;
constexpr int kRuns = 7;

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class Work>
double best_of(Work work) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const double start = cpu_seconds();
        work();
        best = std::min(best, cpu_seconds() - start);
    }
    return best;
}

struct Text {
    const char* name;
    unsigned unit_size;
    std::vector<uint32_t> code_points;
};

// Words of 2 to 9 letters from `letters`, separated by a space or, now and
// then, punctuation and a space; every `special_every` words one of
// `specials` stands alone.
std::vector<uint32_t> words(std::mt19937_64& rng, const std::vector<uint32_t>& letters,
                            const std::vector<uint32_t>& specials, size_t special_every,
                            size_t units) {
    std::vector<uint32_t> out;
    size_t word = 0;
    while (out.size() < units) {
        const size_t length = 2 + rng() % 8;
        for (size_t i = 0; i < length; ++i) out.push_back(letters[rng() % letters.size()]);
        if (!specials.empty() && ++word % special_every == 0) {
            out.push_back(' ');
            out.push_back(specials[rng() % specials.size()]);
        }
        out.push_back(rng() % 9 == 0 ? ',' : ' ');
        if (rng() % 9 == 0) out.push_back(' ');
    }
    out.resize(units);
    return out;
}

std::vector<uint32_t> range(uint32_t first, uint32_t last) {
    std::vector<uint32_t> out;
    for (uint32_t c = first; c <= last; ++c) out.push_back(c);
    return out;
}

std::vector<Text> texts() {
    std::mt19937_64 rng(5);
    std::vector<uint32_t> latin = range('a', 'z');
    // French and German: about one letter in eight accented.
    for (uint32_t c : {0xE9u, 0xE8u, 0xE0u, 0xFCu, 0xF6u, 0xE4u, 0xDFu, 0xE7u}) latin.push_back(c);
    std::vector<uint32_t> cyrillic = range(0x430, 0x44F);
    std::vector<uint32_t> cjk = range(0x4E00, 0x4FFF);
    std::vector<uint32_t> emoji = range(0x1F600, 0x1F64F);
    std::vector<Text> out;
    out.push_back({"latin-1", 1, words(rng, latin, {}, 1, kTargetBytes)});
    out.push_back({"cyrillic", 2, words(rng, cyrillic, {}, 1, kTargetBytes / 2)});
    // Chinese runs with ASCII digits and punctuation now and then.
    std::vector<uint32_t> chinese;
    while (chinese.size() < kTargetBytes / 2) {
        for (size_t n = 5 + rng() % 30; n > 0; --n) chinese.push_back(cjk[rng() % cjk.size()]);
        chinese.push_back(rng() % 3 ? 0x3002 : ',');
        if (rng() % 5 == 0) chinese.insert(chinese.end(), {'2', '0', '2', '4'});
    }
    chinese.resize(kTargetBytes / 2);
    out.push_back({"cjk", 2, chinese});
    out.push_back({"emoji-heavy", 4, words(rng, range('a', 'z'), emoji, 2, kTargetBytes / 4)});
    // French-like prose: one letter in about forty accented, and now and
    // then a typographic apostrophe or dash, which makes the str two-byte.
    std::vector<uint32_t> prose;
    for (int copy = 0; copy < 5; ++copy) {
        for (uint32_t c = 'a'; c <= 'z'; ++c) prose.push_back(c);
    }
    for (uint32_t c : {0xE9u, 0xE8u, 0xE0u}) prose.push_back(c);
    out.push_back({"accented", 2, words(rng, prose, {0x2019, 0x2014}, 30, kTargetBytes / 2)});
    out.push_back(
        {"mostly-ascii", 2, words(rng, range('a', 'z'), {0x20AC, 0x2014}, 40, kTargetBytes / 2)});
    return out;
}

std::vector<unsigned char> units_of(const Text& t) {
    std::vector<unsigned char> bytes(t.code_points.size() * t.unit_size);
    for (size_t i = 0; i < t.code_points.size(); ++i) {
        const uint32_t c = t.code_points[i];
        for (unsigned b = 0; b < t.unit_size; ++b) {
            bytes[i * t.unit_size + b] = static_cast<unsigned char>(c >> (8 * b));
        }
    }
    return bytes;
}

void encode_table() {
    const auto kernels = supported_kernels();
    std::printf("%-13s %5s %9s %13s", "text", "unit", "utf8 MB", "encode_utf8");
    for (const KernelInfo& k : kernels) std::printf(" %9s", k.name);
    std::printf("   (GB/s of input units)\n");
    for (const Text& t : texts()) {
        const auto units = units_of(t);
        const size_t count = t.code_points.size();
        const double gb = static_cast<double>(units.size()) / 1e9;
        size_t size = 0;
        const double whole = best_of([&] {
            EncodedText e = encode_utf8(units.data(), count, t.unit_size);
            size = e.size;
            std::free(e.data);
        });
        std::printf("%-13s %5u %9.1f %13.2f", t.name, t.unit_size, static_cast<double>(size) / 1e6,
                    gb / whole);
        std::vector<char> out(size);
        for (const KernelInfo& k : kernels) {
            size_t bad = 0;
            const double s = best_of([&] {
                const size_t n = k.utf8_size(units.data(), count, t.unit_size);
                if (n != size ||
                    !k.encode_utf8(units.data(), count, t.unit_size, out.data(), &bad)) {
                    std::fprintf(stderr, "kernel %s failed on %s\n", k.name, t.name);
                    std::exit(1);
                }
            });
            std::printf(" %9.2f", gb / s);
        }
        std::printf("\n");
    }
}

void escape_table() {
    std::mt19937_64 rng(9);
    std::vector<std::string> strings(1 << 16);
    for (std::string& s : strings) {
        s.resize(5 + rng() % 26);
        for (char& c : s) c = static_cast<char>('a' + rng() % 26);
        if (rng() % 4 == 0) s[rng() % s.size()] = '&';
    }
    size_t found = 0;
    constexpr int kRounds = 20;
    const auto per_call = [&](auto scan) {
        const double s = best_of([&] {
            for (int r = 0; r < kRounds; ++r) {
                for (const std::string& v : strings) {
                    found += static_cast<size_t>(scan(v.data(), v.data() + v.size()) - v.data());
                }
            }
        });
        return s / (kRounds * static_cast<double>(strings.size())) * 1e9;
    };
    std::printf("\nescape scan of 5-30 byte strings (ns per call): text %.2f, attribute %.2f\n",
                per_call(find_text_escape), per_call(find_attribute_escape));
    if (found == 0) std::printf("(nothing found)\n");
}

}  // namespace

int main() {
    encode_table();
    escape_table();
    return 0;
}
