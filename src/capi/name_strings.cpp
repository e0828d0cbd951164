#include "capi/name_strings.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace plovane {

namespace {

PyObject* decode(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

#ifndef Py_GIL_DISABLED

// Longer names are rare, and comparing them would cost more.
constexpr size_t kMaxLength = 64;
constexpr unsigned kSlotBits = 11;

// One str per slot, replaced by the next name that falls there.
std::array<PyObject*, size_t{1} << kSlotBits> slots{};

uint64_t load_up_to_8(const char* p, size_t n) noexcept {
    uint64_t word = 0;
    std::memcpy(&word, p, n < 8 ? n : 8);
    return word;
}

// Mixes the first and last eight bytes and the length: names that differ
// only in their middle share a slot, which costs a miss, nothing more.
size_t slot_of(std::string_view name) noexcept {
    const size_t n = name.size();
    const uint64_t first = load_up_to_8(name.data(), n);
    const uint64_t last = n > 8 ? load_up_to_8(name.data() + n - 8, 8) : 0;
    uint64_t h = first * 0x9E3779B97F4A7C15u ^ last * 0xC2B2AE3D27D4EB4Fu ^ n;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    return static_cast<size_t>(h >> (64 - kSlotBits));
}

bool holds(PyObject* str, std::string_view name) noexcept {
    return static_cast<size_t>(PyUnicode_GET_LENGTH(str)) == name.size() &&
           std::memcmp(PyUnicode_1BYTE_DATA(str), name.data(), name.size()) == 0;
}

bool in_main_interpreter() noexcept {
    return PyInterpreterState_Get() == PyInterpreterState_Main();
}

#endif

}  // namespace

#ifndef Py_GIL_DISABLED

PyObject* name_to_python(std::string_view name) {
    if (name.empty() || name.size() > kMaxLength || !in_main_interpreter()) return decode(name);
    PyObject*& slot = slots[slot_of(name)];
    if (slot && holds(slot, name)) return Py_NewRef(slot);
    PyObject* str = decode(name);
    // Only ASCII strs are kept: holds() compares their bytes with UTF-8.
    if (str && PyUnicode_IS_ASCII(str)) Py_XSETREF(slot, Py_NewRef(str));
    return str;
}

void clear_name_strings() noexcept {
    if (!in_main_interpreter()) return;
    for (PyObject*& slot : slots) Py_CLEAR(slot);
}

#else

PyObject* name_to_python(std::string_view name) {
    return decode(name);
}

void clear_name_strings() noexcept {}

#endif

}  // namespace plovane
