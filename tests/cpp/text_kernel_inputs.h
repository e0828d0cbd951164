// Differential checks of the byte search, escape scan and UTF-8 encoder
// kernels against their one-at-a-time forms: every length up to 200 at
// every alignment, members at every place, random mixes, and inputs (and
// outputs) that end right before an unmapped page, so that a read or write
// past them faults. Shared by the GoogleTest suite and the NEON driver.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernel_inputs.h"
#include "simd/byte_scan.h"
#include "simd/classify_kernels.h"
#include "simd/find_first_of.h"

namespace plovane::testing {

// Two pages, the second unmapped: bytes placed at the end of the first are
// followed by nothing readable.
class GuardedPage {
  public:
    GuardedPage()
        : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE))),
          base_(static_cast<char*>(mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
        mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~GuardedPage() { munmap(base_, 2 * page_); }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    // Room for `size` bytes that end at the unmapped page.
    char* tail(size_t size) const { return base_ + page_ - size; }

  private:
    size_t page_;
    char* base_;
};

// Inputs for the searches: the members of the attribute set (a superset of
// the others), bytes one bit away from them, letters and UTF-8 bytes.
inline std::vector<std::string> search_inputs(uint64_t seed = 7) {
    static const char kMembers[] = {'&', '<', '>', '"', '\'', '\t', '\r', '\n'};
    static const char kOthers[] = {'a',    ' ',    '\xA7', 'f',    '=',  '?',   '\x0B',
                                   '\xC3', '\xA9', '\xE2', '\x80', '\0', '\xFF'};
    std::vector<std::string> inputs;
    std::mt19937_64 rng(seed);
    for (size_t len = 0; len <= 200; ++len) {
        std::string s(len, 'a');
        for (size_t i = 0; i < len; ++i) s[i] = kOthers[(i * 7 + len) % sizeof kOthers];
        inputs.push_back(s);
        for (size_t at : {size_t{0}, len / 2, len - 1, len - 16, len - 32, len - 64}) {
            if (at >= len) continue;
            std::string t = s;
            t[at] = kMembers[(at + len) % sizeof kMembers];
            inputs.push_back(t);
        }
    }
    for (int n = 0; n < 1500; ++n) {
        std::bernoulli_distribution member(std::uniform_real_distribution<double>(0, 0.2)(rng));
        std::string t(rng() % 201, ' ');
        for (char& c : t)
            c = member(rng) ? kMembers[rng() % sizeof kMembers] : kOthers[rng() % sizeof kOthers];
        inputs.push_back(t);
    }
    return inputs;
}

// Runs of ASCII white space of every length up to 200, ending there or at a
// byte next to the set (or a UTF-8 byte) at every place.
inline std::vector<std::string> space_inputs() {
    static const char kSpaces[] = {' ', '\t', '\n', '\v', '\f', '\r'};
    static const char kOthers[] = {'a', '\x08', '\x0E', '!', '\x1F', '\xA0', '\x85', '\0'};
    std::vector<std::string> inputs;
    for (size_t len = 0; len <= 200; ++len) {
        std::string run(len, ' ');
        for (size_t i = 0; i < len; ++i) run[i] = kSpaces[(i * 5 + len) % sizeof kSpaces];
        inputs.push_back(run);
        for (size_t at = 0; at < len; at += 1 + at / 8) {
            std::string t = run;
            t[at] = kOthers[(at + len) % sizeof kOthers];
            inputs.push_back(t);
        }
    }
    return inputs;
}

// Runs `search(begin, end)` on a copy of `input` at every alignment within 64
// bytes and right before an unmapped page, against `reference`.
template <class Search, class Reference>
void check_search(Failures& failures, const std::string& name, Search search, Reference reference,
                  const std::vector<std::string>& inputs, const GuardedPage& guard) {
    std::vector<char> buffer(64 + 256 + 64);
    for (const std::string& input : inputs) {
        const size_t expected = reference(input.data(), input.data() + input.size());
        for (size_t align = 0; align < 64; ++align) {
            char* at = buffer.data() + align;
            std::memcpy(at, input.data(), input.size());
            // What lies past the end must not be found.
            std::memset(at + input.size(), '<', 64);
            at[input.size() + 1] = '\t';
            const size_t got = search(at, at + input.size());
            failures.check(got == expected, name + " on " + std::to_string(input.size()) +
                                                " bytes at alignment " + std::to_string(align));
        }
        char* tail = guard.tail(input.size());
        std::memcpy(tail, input.data(), input.size());
        failures.check(
            search(tail, tail + input.size()) == expected,
            name + " before an unmapped page, " + std::to_string(input.size()) + " bytes");
    }
}

// Every escape kernel, and the reader's inlined baseline search for its three
// byte sets, against their byte-by-byte forms.
inline Failures check_search_kernels(const std::vector<KernelInfo>& kernels) {
    Failures failures;
    GuardedPage guard;
    const auto inputs = search_inputs();
    const auto offset = [](EscapeKernel k) {
        return [k](const char* b, const char* e) { return static_cast<size_t>(k(b, e) - b); };
    };
    const auto check = [&](const std::string& name, auto search, auto reference) {
        check_search(failures, name, search, reference, inputs, guard);
    };
    for (const KernelInfo& k : kernels) {
        check(std::string(k.name) + " text escape", offset(k.text_escape),
              offset(text_escape_scalar));
        check(std::string(k.name) + " attribute escape", offset(k.attribute_escape),
              offset(attribute_escape_scalar));
    }
    const auto sized = [](auto f) {
        return [f](const char* b, const char* e) { return f(b, static_cast<size_t>(e - b)); };
    };
    check("find_first_of<'<', '&'>", sized(find_first_of<'<', '&'>),
          sized(find_first_of_scalar<'<', '&'>));
    check("find_first_of<'&', tab, LF, CR>", sized(find_first_of<'&', '\t', '\n', '\r'>),
          sized(find_first_of_scalar<'&', '\t', '\n', '\r'>));
    check("find_first_of<quote, '<', '&', tab, LF, CR>",
          sized(find_first_of<'"', '<', '&', '\t', '\n', '\r'>),
          sized(find_first_of_scalar<'"', '<', '&', '\t', '\n', '\r'>));
    check_search(failures, "find_first_not_of<ASCII white space>",
                 sized(find_first_not_of<' ', '\t', '\n', '\v', '\f', '\r'>),
                 sized(find_first_not_of_scalar<' ', '\t', '\n', '\v', '\f', '\r'>), space_inputs(),
                 guard);
    return failures;
}

// Unit arrays of every length up to 200 made of one or two code points on
// the edges of the encoder's classes, surrogates included (all that fit the
// unit), and random mixes of the classes with varying weights; surrogates
// are rare in some and absent from most.
template <class Unit>
std::vector<std::vector<Unit>> encode_inputs(uint64_t seed = 11) {
    constexpr uint32_t kMax = sizeof(Unit) == 1 ? 0xFF : sizeof(Unit) == 2 ? 0xFFFF : 0x10FFFF;
    std::vector<uint32_t> edges;
    for (uint32_t c : {0,      0x41,   0x7F,   0x80,    0xA0,    0xE9,    0xFF,     0x100,   0x3B1,
                       0x42F,  0x7FF,  0x800,  0x4E2D,  0xD7FF,  0xD800,  0xDBFF,   0xDC00,  0xDFFF,
                       0xE000, 0xFEFF, 0xFFFF, 0x10000, 0x1F600, 0xFFFFF, 0x100000, 0x10FFFF})
        if (c <= kMax) edges.push_back(c);
    std::vector<std::vector<Unit>> inputs;
    std::mt19937_64 rng(seed);
    for (size_t len = 0; len <= 200; ++len) {
        const uint32_t a = edges[len % edges.size()];
        const uint32_t b = edges[(len * 7 + 3) % edges.size()];
        std::vector<Unit> same(len, static_cast<Unit>(a)), mixed(len), ascii(len, 'x'),
            inside_ascii(len + 80, 'x');
        for (size_t i = 0; i < len; ++i) mixed[i] = static_cast<Unit>((i * 5 + len) % 3 ? a : b);
        if (len) ascii[len - 1] = static_cast<Unit>(b);
        // A run of ASCII broken at every place of the widest vectors.
        inside_ascii[len] = static_cast<Unit>(b);
        inputs.insert(inputs.end(), {same, mixed, ascii, inside_ascii});
        // Words of a script below U+0800 (the one Latin-1 holds for one-byte
        // units), long enough to be packed in chunks, that end at every
        // length, stop for a long ASCII run or a unit from U+0800 on.
        std::vector<Unit> words(len + 190), paused(len + 190), broken(len + 190);
        const uint32_t letter = kMax == 0xFF ? 0xE9 : 0x430;
        for (size_t i = 0; i < words.size(); ++i) {
            words[i] = static_cast<Unit>(i % 6 == 5 ? ' ' : letter + i % 5);
        }
        paused = broken = words;
        std::fill(paused.begin() + static_cast<std::ptrdiff_t>(len / 2),
                  paused.begin() + static_cast<std::ptrdiff_t>(len / 2 + 140), Unit{'x'});
        broken[len + 24] = static_cast<Unit>(kMax == 0xFF ? 0xFF : 0x4E2D);
        inputs.insert(inputs.end(), {words, paused, broken});
    }
    const uint32_t ranges[][2] = {{0, 0x7F}, {0x80, 0x7FF}, {0x800, 0xFFFF}, {0x10000, 0x10FFFF}};
    for (int n = 0; n < 1500; ++n) {
        std::uniform_real_distribution<double> weight(0, 1);
        std::discrete_distribution<int> pick({weight(rng), weight(rng), weight(rng), weight(rng)});
        const bool surrogates = n % 4 == 0;
        std::vector<Unit> units(rng() % 260);
        for (Unit& u : units) {
            const auto& range = ranges[pick(rng)];
            uint32_t c = range[0] + static_cast<uint32_t>(rng() % (range[1] - range[0] + 1));
            if (c > kMax) c = static_cast<uint32_t>(rng() % (kMax + 1));
            if (!surrogates && c >= 0xD800 && c <= 0xDFFF) c -= 0x800;
            if (surrogates && rng() % 64 == 0 && kMax > 0xFF)
                c = 0xD800 + static_cast<uint32_t>(rng() % 0x800);
            u = static_cast<Unit>(c);
        }
        inputs.push_back(units);
    }
    return inputs;
}

// `kernel` against the scalar encoder: the same size, the same bytes (written
// into a buffer of exactly that size that ends before an unmapped page), and
// the same surrogate, with the units at every alignment within 16 bytes.
template <class Unit>
void check_encode(Failures& failures, const KernelInfo& kernel, const GuardedPage& guard) {
    const auto inputs = encode_inputs<Unit>();
    size_t longest = 0;
    for (const auto& input : inputs) longest = std::max(longest, input.size());
    std::vector<Unit> buffer(16 + longest);
    for (const auto& input : inputs) {
        const size_t count = input.size();
        const size_t size = utf8_size_scalar(input.data(), count, sizeof(Unit));
        std::string expected(size, '\0');
        size_t expected_bad = 0;
        const bool expected_ok = encode_scalar(input.data(), count, sizeof(Unit), expected.data(),
                                               &expected_bad) != nullptr;
        const std::string what = std::string(kernel.name) + " encoding " + std::to_string(count) +
                                 " units of " + std::to_string(sizeof(Unit)) + " bytes";
        for (size_t align = 0; align < 16 / sizeof(Unit); ++align) {
            Unit* units = buffer.data() + align;
            std::copy(input.begin(), input.end(), units);
            failures.check(kernel.utf8_size(units, count, sizeof(Unit)) == size, what + ": size");
            char* out = guard.tail(size);
            size_t bad = 0;
            char* end = kernel.encode_utf8(units, count, sizeof(Unit), out, &bad);
            failures.check(expected_ok
                               ? end == out + size && std::memcmp(out, expected.data(), size) == 0
                               : end == nullptr && bad == expected_bad,
                           what + " at alignment " + std::to_string(align));
        }
    }
}

inline Failures check_encode_kernels(const std::vector<KernelInfo>& kernels) {
    Failures failures;
    GuardedPage guard;
    for (const KernelInfo& k : kernels) {
        check_encode<uint8_t>(failures, k, guard);
        check_encode<uint16_t>(failures, k, guard);
        check_encode<uint32_t>(failures, k, guard);
    }
    return failures;
}

}  // namespace plovane::testing
