#include "engine/dwarf/layout_pool.h"

#include <new>
#include <utility>

namespace quorv::dwarf {

template <class Same>
const CommonLayout* LayoutPool::find_alike(std::uint64_t hash, Same&& same) const {
    const auto* found = by_hash_.find(hash, [&](const CommonLayout* layout) { return same(*layout); });
    return found != nullptr ? *found : nullptr;
}

const CommonLayout* LayoutPool::add(std::uint64_t hash, CommonLayout&& layout) {
    layout.file.clear();
    layout.line = 0;
    layout.subprogram.clear();
    const CommonLayout* kept = &layouts_.emplace_back(std::move(layout));
    try {
        by_hash_.add(hash, kept);
    } catch (const std::bad_alloc&) {
        layouts_.pop_back();
        throw;
    }
    return kept;
}

const CommonLayout* LayoutPool::find(const LayoutDraft& draft, std::uint64_t hash) const {
    return find_alike(hash, [&](const CommonLayout& l) { return same_layout(draft, l); });
}

const CommonLayout* LayoutPool::add(const LayoutDraft& draft, std::uint64_t hash) {
    return add(hash, draft.made());
}

const CommonLayout* LayoutPool::share(const LayoutDraft& draft) {
    const std::uint64_t hash = layout_hash(draft);
    const CommonLayout* kept = find(draft, hash);
    return kept != nullptr ? kept : add(draft, hash);
}

const CommonLayout* LayoutPool::share(CommonLayout&& layout) {
    const std::uint64_t hash = layout_hash(layout);
    if (const CommonLayout* kept = find_alike(hash, [&](const CommonLayout& l) { return same_layout(layout, l); }))
        return kept;
    return add(hash, std::move(layout));
}

void LayoutPool::clear() {
    by_hash_.clear(0);
    layouts_.clear();
}

}  // namespace quorv::dwarf
