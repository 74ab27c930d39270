#pragma once
// Something made once per input or library member and looked up by the entry many times
// over: a report names the same few thousand modules in hundreds of thousands of findings.
// An open-addressed table keyed by the entry's address, at most half full.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "engine/file_entry.h"

namespace quorv {

template <class Value>
class EntryTable {
  public:
    // The entry's value, made by make(entry) on first use. It stays in place while more are
    // added.
    template <class Make>
    const Value& of(const FileEntry& entry, Make&& make) {
        if (2 * (values_.size() + 1) > slots_.size()) rehash(std::max<std::size_t>(64, 2 * slots_.size()));
        Slot& slot = slots_[find(slots_, &entry)];
        if (slot.entry == nullptr) {
            values_.push_back(make(entry));
            slot = Slot{&entry, values_.size() - 1};
        }
        return values_[slot.index];
    }

  private:
    struct Slot {
        const FileEntry* entry = nullptr;
        std::size_t index = 0;
    };
    static std::size_t find(const std::vector<Slot>& slots, const FileEntry* entry) {
        const std::size_t mask = slots.size() - 1;
        std::size_t at = (reinterpret_cast<std::uintptr_t>(entry) * 0x9E3779B97F4A7C15ull >> 20) & mask;
        while (slots[at].entry != nullptr && slots[at].entry != entry) at = (at + 1) & mask;
        return at;
    }
    void rehash(std::size_t size) {
        std::vector<Slot> grown(size);
        for (const Slot& slot : slots_)
            if (slot.entry != nullptr) grown[find(grown, slot.entry)] = slot;
        slots_ = std::move(grown);
    }

    std::deque<Value> values_;
    std::vector<Slot> slots_;
};

}  // namespace quorv
