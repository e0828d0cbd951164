#include "storage/text_ref.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace plovane {

namespace {
const char kEmpty[1] = {0};
}

TextRef::TextRef(const TextRef& other) : source_(other.source_), size_(other.size_) {
    if (source_) {
        source_->retain();
        data_ = other.data_;
    } else if (other.data_) {
        *this = owned(other.view());
    }
}

TextRef TextRef::owned(std::string_view text) {
    TextRef ref;
    if (text.empty()) {
        ref.data_ = kEmpty;
        return ref;
    }
    char* buffer = static_cast<char*>(std::malloc(text.size()));
    if (!buffer) throw std::bad_alloc();
    std::memcpy(buffer, text.data(), text.size());
    ref.data_ = buffer;
    ref.size_ = text.size();
    return ref;
}

TextRef TextRef::span(const SourceRef& source, uint64_t start, uint64_t end) {
    TextRef ref;
    source->retain();
    ref.source_ = source.get();
    ref.data_ = source->data() + start;
    ref.size_ = end - start;
    return ref;
}

void TextRef::drop() noexcept {
    if (source_) {
        source_->release();
    } else if (data_ != kEmpty) {
        std::free(const_cast<char*>(data_));
    }
}

}  // namespace plovane
