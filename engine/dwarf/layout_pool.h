#pragma once
// The distinct layouts of a run, each kept once however many modules have it. Legacy code
// includes a block in every file: a layout a module has that the run has already is never
// made again, and the memory the layouts take is that of the distinct ones (a page fault
// for each fresh page, on some machines the most of what reading them costs).
#include <cstdint>
#include <deque>

#include "engine/dwarf/flat_index.h"
#include "engine/dwarf/layout.h"

namespace quorv::dwarf {

class LayoutPool {
  public:
    // The pooled layout the draft makes, made and pooled when the run has none like it. A
    // pooled layout has no source (file, line, subprogram): that is each module's own. May
    // throw std::bad_alloc, keeping what it kept.
    const CommonLayout* share(const LayoutDraft& draft);
    // The pooled layout the draft makes, if the run has it; and the draft pooled. hash is
    // the draft's layout_hash, taken once for both.
    const CommonLayout* find(const LayoutDraft& draft, std::uint64_t hash) const;
    const CommonLayout* find(const LayoutDraft& draft) const { return find(draft, layout_hash(draft)); }
    const CommonLayout* add(const LayoutDraft& draft, std::uint64_t hash);
    // The same for a layout made whole; its source is dropped.
    const CommonLayout* share(CommonLayout&& layout);
    std::size_t size() const { return layouts_.size(); }
    void clear();

  private:
    template <class Same>
    const CommonLayout* find_alike(std::uint64_t hash, Same&& same) const;
    const CommonLayout* add(std::uint64_t hash, CommonLayout&& layout);

    // A deque: what is pooled never moves, and the modules' references stay.
    std::deque<CommonLayout> layouts_;
    FlatIndex<const CommonLayout*> by_hash_;
};

}  // namespace quorv::dwarf
