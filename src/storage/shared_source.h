// The UTF-8 text of one document, shared by every Span made from it.
//
// The count is atomic because nodes may be released on any thread, including
// one that works without the interpreter. A source either owns its bytes
// (OwnedText) or borrows them from a foreign owner (PythonText: the caller's
// str), whose release is handed to a callback supplied by the binding so that
// this layer never needs the interpreter.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace plovane {

class SourceRef;
class TableArena;

class SharedSource {
  public:
    using ReleaseOwner = void (*)(void* owner) noexcept;

    // Owns `text`; the bytes are freed with the last reference.
    static SourceRef owned(std::string text);
    // Borrows `data`, which `owner` keeps alive; `release(owner)` runs once
    // when the last reference goes away, on whatever thread drops it.
    static SourceRef borrowed(const char* data, uint64_t size, void* owner, ReleaseOwner release);

    const char* data() const noexcept { return data_; }
    uint64_t size() const noexcept { return size_; }
    std::string_view text() const noexcept { return {data_, static_cast<size_t>(size_)}; }
    uint64_t use_count() const noexcept { return refs_.load(std::memory_order_relaxed); }
    // Memory for attribute tables that live as long as this source (made on
    // first use; for the reader that made the source only).
    TableArena& tables();

    void retain(uint64_t n = 1) noexcept { refs_.fetch_add(n, std::memory_order_relaxed); }
    void release() noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
    }
    // Gives up `n` references at once.
    void release(uint64_t n) noexcept {
        if (refs_.fetch_sub(n, std::memory_order_acq_rel) == n) destroy();
    }

  private:
    SharedSource() = default;
    // After the last reference: hands the owner back and frees this.
    void destroy() noexcept;

    std::atomic<uint64_t> refs_{1};
    const char* data_ = nullptr;
    uint64_t size_ = 0;
    std::string owned_;
    void* owner_ = nullptr;
    ReleaseOwner release_owner_ = nullptr;
    TableArena* tables_ = nullptr;
};

// An owning handle on a SharedSource (one reference).
class SourceRef {
  public:
    SourceRef() noexcept = default;
    SourceRef(const SourceRef& other) noexcept : source_(other.source_) {
        if (source_) source_->retain();
    }
    SourceRef(SourceRef&& other) noexcept : source_(other.source_) { other.source_ = nullptr; }
    SourceRef& operator=(SourceRef other) noexcept {
        std::swap(source_, other.source_);
        return *this;
    }
    ~SourceRef() {
        if (source_) source_->release();
    }

    // Takes over a reference the caller already holds.
    static SourceRef adopt(SharedSource* source) noexcept {
        SourceRef ref;
        ref.source_ = source;
        return ref;
    }
    // Hands the reference to the caller.
    SharedSource* leak() noexcept { return std::exchange(source_, nullptr); }

    SharedSource* get() const noexcept { return source_; }
    SharedSource* operator->() const noexcept { return source_; }
    explicit operator bool() const noexcept { return source_ != nullptr; }

  private:
    SharedSource* source_ = nullptr;
};

}  // namespace plovane
