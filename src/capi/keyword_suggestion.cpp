#include "capi/keyword_suggestion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace plovane {

namespace {

constexpr size_t kMoveCost = 2;
constexpr size_t kCaseCost = 1;
// Names longer than this (after their common ends are cut) are never close.
constexpr size_t kLongest = 40;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t substitution_cost(char a, char b) {
    if (a == b) return 0;
    return lower(a) == lower(b) ? kCaseCost : kMoveCost;
}

// The distance, or any value above `most` once it is sure to exceed it.
size_t distance(std::string_view a, std::string_view b, size_t most) {
    while (!a.empty() && !b.empty() && a.front() == b.front()) {
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    while (!a.empty() && !b.empty() && a.back() == b.back()) {
        a.remove_suffix(1);
        b.remove_suffix(1);
    }
    if (a.empty() || b.empty()) return (a.size() + b.size()) * kMoveCost;
    if (a.size() > kLongest || b.size() > kLongest) return most + 1;
    if (b.size() < a.size()) std::swap(a, b);
    if ((b.size() - a.size()) * kMoveCost > most) return most + 1;
    // One row of the table, updated in place: row[i] is the distance from
    // a's first i + 1 bytes to the part of b seen so far.
    std::array<size_t, kLongest> row{};
    for (size_t i = 0; i < a.size(); ++i) row[i] = (i + 1) * kMoveCost;
    size_t result = 0;
    for (size_t j = 0; j < b.size(); ++j) {
        size_t diagonal = j * kMoveCost;
        result = diagonal;
        size_t row_least = SIZE_MAX;
        for (size_t i = 0; i < a.size(); ++i) {
            const size_t substitute = diagonal + substitution_cost(b[j], a[i]);
            diagonal = row[i];
            result = std::min(std::min(result, diagonal) + kMoveCost, substitute);
            row[i] = result;
            row_least = std::min(row_least, result);
        }
        if (row_least > most) return most + 1;
    }
    return result;
}

}  // namespace

const char* closest_keyword(std::string_view name, std::span<const char* const> candidates) {
    const char* best = nullptr;
    size_t best_distance = SIZE_MAX;
    for (const char* candidate : candidates) {
        const std::string_view text = candidate;
        if (text == name) continue;
        // At most a third of the bytes involved may change, and a candidate
        // must beat the best so far.
        const size_t most =
            std::min((name.size() + text.size() + 3) * kMoveCost / 6, best_distance - 1);
        const size_t d = distance(name, text, most);
        if (d > most) continue;
        best = candidate;
        best_distance = d;
    }
    return best;
}

}  // namespace plovane
