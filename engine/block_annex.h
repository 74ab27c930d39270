#pragma once
// What the model keeps beside its blocks for the front ends that show it (initializers,
// layouts from debug information): items recorded by block name in module order, each
// joined to its block when the run ends, also when the block's first declaration comes
// after the item.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/name_store.h"

namespace quorv {

inline constexpr std::uint32_t kNoBlock = 0xFFFFFFFFu;

template <class Item>
class BlockAnnex {
  public:
    // An item of the block with this record, or (kNoBlock) of the block of this name when it
    // comes; the name is then kept in names. May throw std::bad_alloc, keeping nothing.
    void add(std::uint32_t block, std::string_view name, Item item, NameStore& names) {
        const std::uint32_t order = next_order_++;
        if (block == kNoBlock) {
            const std::string_view kept = names.keep(name);
            unplaced_.push_back({Placed{std::move(item), kNoBlock, order}, kept});
        } else {
            placed_.push_back(Placed{std::move(item), block, order});
        }
        in_order_ = false;
    }

    // Joins the items to their blocks (lookup(name) gives a block's record or kNoBlock) and
    // puts each block's items together in module order. Items of no block wait. Never fails:
    // without memory the blocks show none.
    template <class Lookup>
    void attach(std::size_t blocks, Lookup&& lookup) {
        if (in_order_) return;
        in_order_ = true;
        try {
            // Items joined by an earlier call come first, as they were.
            for (std::size_t b = 0; b + 1 < first_.size(); ++b)
                for (std::uint32_t k = first_[b]; k < first_[b + 1]; ++k)
                    placed_.push_back(Placed{std::move(items_[k]), static_cast<std::uint32_t>(b), k});
            // Those still of no block stay, in order, where they were.
            std::size_t waiting = 0;
            for (Unplaced& u : unplaced_) {
                u.placed.block = lookup(u.name);
                if (u.placed.block == kNoBlock) {
                    // Not onto itself: a vector moved onto itself is left empty.
                    if (&unplaced_[waiting] != &u) unplaced_[waiting] = std::move(u);
                    ++waiting;
                } else {
                    placed_.push_back(std::move(u.placed));
                }
            }
            unplaced_.erase(unplaced_.begin() + static_cast<std::ptrdiff_t>(waiting), unplaced_.end());
            // Sorted by key alone, then moved once: an item may be large (a layout).
            std::vector<Key> keys;
            keys.reserve(placed_.size());
            for (std::size_t k = 0; k < placed_.size(); ++k)
                keys.push_back(Key{placed_[k].block, placed_[k].order, static_cast<std::uint32_t>(k)});
            std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
                return a.block != b.block ? a.block < b.block : a.order < b.order;
            });
            items_.clear();
            items_.reserve(placed_.size());
            first_.assign(blocks + 1, 0);
            for (const Key& key : keys) {
                items_.push_back(std::move(placed_[key.at].item));
                ++first_[key.block + 1];
            }
            placed_.clear();
            for (std::size_t b = 0; b < blocks; ++b) first_[b + 1] += first_[b];
        } catch (const std::bad_alloc&) {
            clear();
        }
    }

    std::span<const Item> of(std::uint32_t block) const {
        if (block + std::size_t{1} >= first_.size()) return {};
        return std::span<const Item>(items_.data() + first_[block], first_[block + 1] - first_[block]);
    }

    void clear() {
        placed_.clear();
        unplaced_.clear();
        items_.clear();
        first_.clear();
        next_order_ = 0;
        in_order_ = true;
    }

  private:
    struct Placed {
        Item item;
        std::uint32_t block;
        std::uint32_t order;  // in recording order
    };
    struct Key {
        std::uint32_t block, order, at;
    };
    struct Unplaced {
        Placed placed;
        std::string_view name;
    };
    // In pieces, not one array: growing never copies what was recorded, and only the pages
    // the items fill are touched.
    std::deque<Placed> placed_;
    std::deque<Unplaced> unplaced_;
    // After attach: the items in block order, and where each block's start (first_[b] to first_[b + 1]).
    std::vector<Item> items_;
    std::vector<std::uint32_t> first_;
    std::uint32_t next_order_ = 0;
    bool in_order_ = true;
};

}  // namespace quorv
