#include "engine/name_store.h"

#include <algorithm>
#include <cstring>

namespace quorv {

void NameStore::set_source(const std::uint8_t* first, std::size_t size) {
    source_ = reinterpret_cast<const char*>(first);
    source_size_ = first == nullptr ? 0 : size;
    copied_from_source_ = 0;
    source_copy_ = nullptr;
}

char* NameStore::allocate(std::size_t size) {
    // Chunks of 32 KiB; a name too big to share one well gets a chunk of its own.
    constexpr std::size_t kChunk = 32 * 1024;
    if (chunks_.size() == chunks_.capacity()) chunks_.reserve(std::max<std::size_t>(16, 2 * chunks_.size()));
    if (size > kChunk / 8) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        return chunks_.back().get();
    }
    if (size > left_) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        free_ = chunks_.back().get();
        left_ = kChunk;
    }
    char* at = free_;
    free_ += size;
    left_ -= size;
    return at;
}

std::string_view NameStore::keep(std::string_view name) {
    if (name.empty()) return std::string_view("", 0);
    const auto in_source = [&] {
        // Compared as addresses: name may come from anywhere.
        const auto at = reinterpret_cast<std::uintptr_t>(name.data());
        const auto first = reinterpret_cast<std::uintptr_t>(source_);
        return source_ != nullptr && at >= first && at - first <= source_size_ &&
               name.size() <= source_size_ - (at - first);
    };
    if (in_source()) {
        const std::size_t offset = static_cast<std::size_t>(name.data() - source_);
        if (source_copy_ == nullptr && name.size() > source_size_ - copied_from_source_) {
            char* whole = allocate(source_size_);
            std::memcpy(whole, source_, source_size_);
            source_copy_ = whole;
        }
        if (source_copy_ != nullptr) return std::string_view(source_copy_ + offset, name.size());
        copied_from_source_ += name.size();
    }
    char* copy = allocate(name.size());
    std::memcpy(copy, name.data(), name.size());
    return std::string_view(copy, name.size());
}

void NameStore::clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    free_ = nullptr;
    left_ = 0;
    set_source(nullptr, 0);
}

}  // namespace quorv
