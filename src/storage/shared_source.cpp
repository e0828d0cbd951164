#include "storage/shared_source.h"

#include "storage/table_arena.h"

namespace plovane {

SourceRef SharedSource::owned(std::string text) {
    auto* source = new SharedSource();
    source->owned_ = std::move(text);
    source->data_ = source->owned_.data();
    source->size_ = source->owned_.size();
    return SourceRef::adopt(source);
}

SourceRef SharedSource::borrowed(const char* data, uint64_t size, void* owner,
                                 ReleaseOwner release) {
    auto* source = new SharedSource();
    source->data_ = data;
    source->size_ = size;
    source->owner_ = owner;
    source->release_owner_ = release;
    return SourceRef::adopt(source);
}

TableArena& SharedSource::tables() {
    if (!tables_) tables_ = new TableArena();
    return *tables_;
}

void SharedSource::destroy() noexcept {
    if (release_owner_) release_owner_(owner_);
    delete tables_;
    delete this;
}

}  // namespace plovane
