#pragma once
// What the model keeps beside its blocks for the front ends that show it (initializers,
// layouts from debug information): items recorded by block name in module order, each
// joined to its block when the run ends, also when the block's first declaration comes
// after the item.
#include <algorithm>
#include <cstdint>
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
        const auto order = static_cast<std::uint32_t>(placed_.size() + unplaced_.size());
        if (block == kNoBlock) {
            const std::string_view kept = names.keep(name);
            unplaced_.push_back({Placed{std::move(item), kNoBlock, order}, kept});
        } else {
            if (placed_.size() == placed_.capacity()) placed_.reserve(std::max<std::size_t>(64, 2 * placed_.capacity()));
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
            std::vector<Unplaced> waiting;
            for (Unplaced& u : unplaced_) {
                u.placed.block = lookup(u.name);
                if (u.placed.block == kNoBlock) waiting.push_back(std::move(u));
                else placed_.push_back(std::move(u.placed));
            }
            unplaced_.swap(waiting);
            std::sort(placed_.begin(), placed_.end(), [](const Placed& a, const Placed& b) {
                return a.block != b.block ? a.block < b.block : a.order < b.order;
            });
            items_.clear();
            items_.reserve(placed_.size());
            first_.assign(blocks + 1, 0);
            for (const Placed& p : placed_) {
                items_.push_back(p.item);
                ++first_[p.block + 1];
            }
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
        in_order_ = true;
    }

private:
    struct Placed {
        Item item;
        std::uint32_t block;
        std::uint32_t order;  // in recording order
    };
    struct Unplaced {
        Placed placed;
        std::string_view name;
    };
    std::vector<Placed> placed_;
    std::vector<Unplaced> unplaced_;
    // After attach: the items in block order, and where each block's start (first_[b] to first_[b + 1]).
    std::vector<Item> items_;
    std::vector<std::uint32_t> first_;
    bool in_order_ = true;
};

}  // namespace quorv
