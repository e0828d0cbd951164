// Asks the operating system to back a large, not yet touched buffer with
// huge pages. Filling fresh memory page by page costs more than building an
// index into it on some systems (every 4 KiB page faults and is cleared);
// with 2 MiB pages that cost nearly disappears. Only the aligned 2 MiB
// stretches that lie wholly inside the buffer are advised. Only a hint:
// contents and lifetime are unaffected, and elsewhere it does nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace plovane {

inline void advise_huge_pages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (bytes < kHuge) return;
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Reserves room for `count` elements in an empty or full vector, advising
// huge pages for the new buffer before anything touches it.
template <class Vector>
void reserve_fresh(Vector& v, size_t count) {
    v.reserve(count);
    advise_huge_pages(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(*v.data()));
}

// Makes room for `more` elements after those of `v`, growing its buffer at
// least twofold (a vector that gains a few elements at a time stays linear)
// and to at least `minimum` elements, with huge pages advised for the new
// part.
template <class Vector>
void grow_fresh(Vector& v, size_t more, size_t minimum = 0) {
    const size_t needed = v.size() + more;
    if (needed <= v.capacity()) return;
    const size_t room = needed > 2 * v.capacity() ? needed : 2 * v.capacity();
    reserve_fresh(v, room > minimum ? room : minimum);
}

}  // namespace plovane
