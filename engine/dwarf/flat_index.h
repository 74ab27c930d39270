#pragma once
// A table from 64-bit keys to small values, by open addressing in a power-of-two array: a
// lookup is a multiplication and a probe or two, where a node map divides by a prime and
// follows a pointer. The reader looks one up for every block and every member it builds.
// A key may be added more than once; a lookup visits each of its entries.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace quorv::dwarf {

template <class Value>
class FlatIndex {
  public:
    // The first entry of key whose value same(value) accepts, or null.
    template <class Same>
    const Value* find(std::uint64_t key, Same&& same) const {
        if (count_ == 0) return nullptr;
        for (std::size_t k = slot_of(key);; k = (k + 1) & (slots_.size() - 1)) {
            const Slot& slot = slots_[k];
            if (!slot.used) return nullptr;
            if (slot.key == key && same(slot.value)) return &slot.value;
        }
    }
    // The first entry of key, for keys added once.
    const Value* find(std::uint64_t key) const {
        return find(key, [](const Value&) { return true; });
    }
    // May throw std::bad_alloc, keeping what it kept.
    void add(std::uint64_t key, const Value& value) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        place(Slot{key, value, true});
        ++count_;
    }
    // Empty again; room past kept_slots (a huge module's) is let go.
    void clear(std::size_t kept_slots) {
        if (slots_.size() > kept_slots) {
            std::vector<Slot>().swap(slots_);
            shift_ = 64;
        } else if (count_ != 0) {
            std::fill(slots_.begin(), slots_.end(), Slot{});
        }
        count_ = 0;
    }

  private:
    struct Slot {
        std::uint64_t key = 0;
        Value value{};
        bool used = false;
    };
    std::size_t slot_of(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    void place(const Slot& entry) {
        std::size_t k = slot_of(entry.key);
        while (slots_[k].used) k = (k + 1) & (slots_.size() - 1);
        slots_[k] = entry;
    }
    void grow() {
        std::vector<Slot> old(std::max<std::size_t>(64, 2 * slots_.size()));
        old.swap(slots_);
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(slots_.size()));
        for (const Slot& slot : old)
            if (slot.used) place(slot);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    unsigned shift_ = 64;  // 64 - log2 of the slots: the top bits of the product pick one
};

}  // namespace quorv::dwarf
