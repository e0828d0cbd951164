#include "capi/text_strings.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace plovane {

PyObject* text_to_python(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

#ifndef Py_GIL_DISABLED

namespace {

// Longer names are rare, and comparing them would cost more.
constexpr size_t kMaxLength = 64;
constexpr unsigned kSlotBits = 11;

// One str per slot with its name's hash, which a lookup compares first: a
// slot of another name is passed without reading its str (which, in a
// document of many names, would be a cache miss each time).
struct Slot {
    PyObject* str;
    uint64_t hash;
};
std::array<Slot, size_t{1} << kSlotBits> slots{};

// A document of more names than the table holds, in no order, finds few of
// them there, and looking each one up and refilling its slot made its names
// about 60% slower than making them anew (the slots and the strs they
// release are out of the cache by then). So the table is used for every name
// only while lookups hit at least a quarter of the time, counted over
// windows of kWindow lookups; otherwise for one name in kSampled, whose
// lookups and refills let a document of few names take it up again.
class Usage {
  public:
    bool now() noexcept { return always_ || ++skipped_ % kSampled == 0; }
    void count(bool hit) noexcept {
        hits_ += hit;
        if (++lookups_ < kWindow) return;
        always_ = hits_ >= kWindow / 4;
        lookups_ = hits_ = 0;
    }

  private:
    static constexpr uint32_t kWindow = 1024;
    static constexpr uint32_t kSampled = 64;
    uint32_t lookups_ = 0;
    uint32_t hits_ = 0;
    uint32_t skipped_ = 0;
    bool always_ = true;
};
Usage usage;

uint64_t load_up_to_8(const char* p, size_t n) noexcept {
    uint64_t word = 0;
    std::memcpy(&word, p, n < 8 ? n : 8);
    return word;
}

// Mixes the first and last eight bytes and the length: names that differ
// only in their middle share a hash, which costs a miss, nothing more.
uint64_t hash_of(std::string_view name) noexcept {
    const size_t n = name.size();
    const uint64_t first = load_up_to_8(name.data(), n);
    const uint64_t last = n > 8 ? load_up_to_8(name.data() + n - 8, 8) : 0;
    uint64_t h = first * 0x9E3779B97F4A7C15u ^ last * 0xC2B2AE3D27D4EB4Fu ^ n;
    h ^= h >> 29;
    return h * 0xBF58476D1CE4E5B9u;
}

bool holds(PyObject* str, std::string_view name) noexcept {
    return static_cast<size_t>(PyUnicode_GET_LENGTH(str)) == name.size() &&
           std::memcmp(PyUnicode_1BYTE_DATA(str), name.data(), name.size()) == 0;
}

bool in_main_interpreter() noexcept {
    return PyInterpreterState_Get() == PyInterpreterState_Main();
}

}  // namespace

PyObject* name_to_python(std::string_view name) {
    if (name.empty() || name.size() > kMaxLength || !usage.now() || !in_main_interpreter())
        return text_to_python(name);
    const uint64_t hash = hash_of(name);
    Slot& slot = slots[hash >> (64 - kSlotBits)];
    const bool hit = slot.str && slot.hash == hash && holds(slot.str, name);
    usage.count(hit);
    if (hit) return Py_NewRef(slot.str);
    PyObject* str = text_to_python(name);
    // Only ASCII strs are kept: holds() compares their bytes with UTF-8.
    if (str && PyUnicode_IS_ASCII(str)) {
        Py_XSETREF(slot.str, Py_NewRef(str));
        slot.hash = hash;
    }
    return str;
}

void clear_name_strings() noexcept {
    if (!in_main_interpreter()) return;
    for (Slot& slot : slots) Py_CLEAR(slot.str);
}

#else

PyObject* name_to_python(std::string_view name) {
    return text_to_python(name);
}

void clear_name_strings() noexcept {}

#endif

}  // namespace plovane
