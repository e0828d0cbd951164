#include "storage/block_pool.h"

#include <cstdlib>
#include <mutex>

#include "platform/memory_poison.h"

namespace plovane {

namespace {

// Smaller blocks are the C allocator's own business: they come from its
// free lists and hardly ever from fresh pages.
constexpr size_t kSmallestKept = size_t{16} << 10;
constexpr size_t kMostBytes = size_t{4} << 20;
constexpr size_t kMostBlocks = kMostBytes / kSmallestKept;

struct Kept {
    void* block;
    size_t bytes;
};

class BlockPool {
  public:
    void* take(size_t bytes) noexcept {
        std::lock_guard lock(mutex_);
        // The latest first: they are the likeliest to be in the cache.
        for (size_t i = count_; i-- > 0;) {
            if (kept_[i].bytes != bytes) continue;
            void* block = kept_[i].block;
            kept_[i] = kept_[--count_];
            held_ -= bytes;
            unpoison_memory(block, bytes);
            return block;
        }
        return nullptr;
    }

    bool give(void* block, size_t bytes) noexcept {
        std::lock_guard lock(mutex_);
        if (count_ == kMostBlocks || bytes > kMostBytes - held_) return false;
        kept_[count_++] = {block, bytes};
        held_ += bytes;
        poison_memory(block, bytes);
        return true;
    }

  private:
    std::mutex mutex_;
    size_t count_ = 0;
    size_t held_ = 0;
    Kept kept_[kMostBlocks];
};

BlockPool pool;

}  // namespace

void* take_block(size_t bytes) noexcept {
    if (bytes >= kSmallestKept) {
        if (void* block = pool.take(bytes)) return block;
    }
    return std::malloc(bytes);
}

void give_block(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (bytes >= kSmallestKept && pool.give(block, bytes)) return;
    std::free(block);
}

}  // namespace plovane
