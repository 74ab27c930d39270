#pragma once
// The hash index of block names: open addressing over record numbers, so that recording a
// declaration finds its block in O(1) however many blocks a run brings.
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorv {

// A cache-line fetch hint; changes nothing.
inline void fetch_line(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    static_cast<void>(p);
#endif
}

class BlockIndex {
  public:
    static constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;

    static std::uint64_t hash(std::string_view name);

    // The record whose name equals name, or kNoRecord; name_of(record) gives a record's name.
    template <class NameOf>
    std::uint32_t find(std::string_view name, std::uint64_t hash, NameOf&& name_of) const {
        if (slots_.empty()) return kNoRecord;
        const std::size_t mask = slots_.size() - 1;
        const auto high = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = slots_[at];
            if (slot.record_plus_one == 0) return kNoRecord;
            if (slot.hash_high == high && name_of(slot.record_plus_one - 1) == name) return slot.record_plus_one - 1;
        }
    }

    // Room for one record more than `records`, at most half full so that probe runs stay
    // short. May throw std::bad_alloc, leaving the index as it was.
    template <class NameOf>
    void make_room(std::size_t records, NameOf&& name_of) {
        if (2 * (records + 1) <= slots_.size()) return;
        std::vector<Slot> bigger(slots_.empty() ? kFirstSize : 2 * slots_.size(), Slot{0, 0});
        for (const Slot& slot : slots_) {
            if (slot.record_plus_one != 0) place(bigger, slot.record_plus_one, hash(name_of(slot.record_plus_one - 1)));
        }
        slots_.swap(bigger);
    }

    // After make_room: the record joins the index.
    void insert(std::uint32_t record, std::uint64_t hash) { place(slots_, record + 1, hash); }
    void clear();

    // Hints for the recorder, which change nothing: the slot a name's hash probes first, and
    // the record found there (a guess: names not compared), or kNoRecord.
    void fetch_slot(std::uint64_t hash) const {
        if (!slots_.empty()) fetch_line(&slots_[hash & (slots_.size() - 1)]);
    }
    std::uint32_t first_probe(std::uint64_t hash) const {
        if (slots_.empty()) return kNoRecord;
        // The first probe only: it is where nearly every name is found.
        const Slot& slot = slots_[hash & (slots_.size() - 1)];
        if (slot.record_plus_one == 0 || slot.hash_high != static_cast<std::uint32_t>(hash >> 32)) return kNoRecord;
        return slot.record_plus_one - 1;
    }

  private:
    static constexpr std::size_t kFirstSize = 64;
    // Record number + 1 (0 is an empty slot) and the upper half of the name's hash, which
    // spares nearly every look at a wrong record. Kept small: a hostile object of nothing but
    // distinct block names makes one slot per 9 bytes.
    struct Slot {
        std::uint32_t record_plus_one;
        std::uint32_t hash_high;
    };
    static void place(std::vector<Slot>& slots, std::uint32_t record_plus_one, std::uint64_t hash);

    std::vector<Slot> slots_;
};

}  // namespace quorv
