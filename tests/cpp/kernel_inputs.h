// Inputs on which every classifier and byte-marking kernel must agree with
// the scalar one: quotes on block edges, both kinds in one block, regions
// across blocks, the lengths around block boundaries, and random mixes of the
// bytes the kernels look at. Shared by the GoogleTest suite and the
// stand-alone driver that runs under emulation on other processors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "simd/byte_marks.h"
#include "simd/classify.h"
#include "simd/classify_kernels.h"

namespace plovane::testing {

// Collects failures, keeping the first few descriptions.
struct Failures {
    size_t checked = 0;
    size_t failed = 0;
    std::vector<std::string> first;

    void check(bool ok, const std::string& what) {
        ++checked;
        if (!ok && ++failed <= 10) first.push_back(what);
    }
};

struct NamedInput {
    std::string name;
    std::string bytes;
};

// Markup bytes everywhere, so masking mistakes show in both bitmaps.
inline std::string markup_filler(size_t len) {
    static const char kPattern[] = "<a>b</a>c<d e=f/> ";
    std::string out(len, ' ');
    for (size_t i = 0; i < len; ++i) out[i] = kPattern[i % (sizeof kPattern - 1)];
    return out;
}

// Random bytes drawn from a few classes with weights that vary per input,
// from quote-free to mostly quotes.
inline std::string random_bytes(std::mt19937_64& rng, size_t len) {
    static const char kAlphabet[] = {'<', '>', '"', '\'', 'a', ' ', '\n', '\xC3'};
    std::vector<double> weights;
    for (size_t i = 0; i < sizeof kAlphabet; ++i)
        weights.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(rng));
    if (rng() % 3 == 0) weights[2] = weights[3] = 0.01;  // sparse quotes
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::string out(len, ' ');
    for (char& c : out) c = kAlphabet[pick(rng)];
    return out;
}

inline std::vector<NamedInput> kernel_inputs(uint64_t seed = 20240601) {
    std::vector<NamedInput> inputs;
    std::mt19937_64 rng(seed);

    for (size_t len : {0, 1, 2, 63, 64, 65, 127, 128, 129, 191, 4095, 4096, 4097}) {
        inputs.push_back({"filler/" + std::to_string(len), markup_filler(len)});
        for (int i = 0; i < 4; ++i)
            inputs.push_back({"random/" + std::to_string(len), random_bytes(rng, len)});
    }

    // Up to three quotes of either kind at positions on or next to block
    // edges, in a three-block input and truncated to a partial last block.
    const size_t spots[] = {0, 1, 62, 63, 64, 65, 126, 127, 128, 150, 191};
    const size_t n = sizeof spots / sizeof spots[0];
    for (size_t a = 0; a < n; ++a) {
        for (size_t b = a; b < n; ++b) {
            for (size_t c = b; c < n; ++c) {
                for (unsigned kinds = 0; kinds < 8; ++kinds) {
                    std::string s = markup_filler(192);
                    s[spots[a]] = (kinds & 1) ? '"' : '\'';
                    s[spots[b]] = (kinds & 2) ? '"' : '\'';
                    s[spots[c]] = (kinds & 4) ? '"' : '\'';
                    const std::string name = "spots/" + std::to_string(inputs.size());
                    inputs.push_back({name, s});
                    inputs.push_back({name + "/partial", s.substr(0, 150)});
                }
            }
        }
    }

    // Regions that open in one block and close several blocks later, with
    // the other kind of quote inside them and right after them.
    for (size_t open : {3, 63, 64}) {
        for (size_t blocks : {1, 2, 5}) {
            std::string s = markup_filler(64 * 8 + 17);
            const size_t close = open + 64 * blocks + 1;
            s[open] = '"';
            s[open + 20] = '\'';
            s[close] = '"';
            s[close + 1] = '\'';
            s[close + 70] = '\'';
            inputs.push_back({"span/" + std::to_string(open) + "/" + std::to_string(blocks), s});
        }
    }

    // Random documents of random length, dense and sparse in quotes.
    for (int i = 0; i < 3000; ++i) {
        const size_t len = rng() % 700;
        inputs.push_back({"random/" + std::to_string(i), random_bytes(rng, len)});
    }
    return inputs;
}

// Whether `mark` gives the scalar kernel's marks for every block of
// `bytes`, marked all at once and in windows of three blocks.
inline bool marks_agree(MarkKernel mark, const std::string& bytes) {
    const uint64_t len = bytes.size();
    const uint64_t blocks = (len + 63) / 64;
    std::vector<ByteMarks> expected(blocks), whole(blocks), windows(blocks);
    mark_scalar(bytes.data(), len, 0, blocks, expected.data());
    mark(bytes.data(), len, 0, blocks, whole.data());
    for (uint64_t first = 0; first < blocks; first += 3)
        mark(bytes.data(), len, first, std::min(first + 3, blocks), windows.data() + first);
    const auto same = [](const ByteMarks& a, const ByteMarks& b) {
        return a.lt == b.lt && a.gt == b.gt && a.dq == b.dq && a.sq == b.sq;
    };
    for (uint64_t k = 0; k < blocks; ++k)
        if (!same(whole[k], expected[k]) || !same(windows[k], expected[k])) return false;
    return true;
}

// Every classifier and byte-marking kernel, and classify_structural's
// choice among them, against the scalar classifier on kernel_inputs().
inline Failures check_classify_kernels(const std::vector<KernelInfo>& kernels) {
    const auto same = [](const StructuralBitmaps& a, const StructuralBitmaps& b) {
        return a.lt_bits == b.lt_bits && a.gt_bits == b.gt_bits && a.len == b.len &&
               a.ends_in_quote == b.ends_in_quote;
    };
    Failures failures;
    for (const auto& in : kernel_inputs()) {
        const char* data = in.bytes.data();
        const uint64_t len = in.bytes.size();
        const StructuralBitmaps reference = classify_with(classify_scalar, data, len);
        for (const KernelInfo& k : kernels) {
            failures.check(same(classify_with(k.run, data, len), reference),
                           std::string(k.name) + " bitmaps on " + in.name);
            failures.check(marks_agree(k.mark, in.bytes),
                           std::string(k.name) + " marks on " + in.name);
        }
        failures.check(same(classify_structural(data, len), reference),
                       "classify_structural on " + in.name);
    }
    return failures;
}

}  // namespace plovane::testing
