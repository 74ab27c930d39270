#include "engine/block_index.h"

#include <cstring>

namespace quorv {

// 8 bytes at a time, multiplied and folded.
std::uint64_t BlockIndex::hash(std::string_view s) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (n != 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ w) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

void BlockIndex::place(std::vector<Slot>& slots, std::uint32_t record_plus_one, std::uint64_t hash) {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = hash & mask;
    while (slots[at].record_plus_one != 0) at = (at + 1) & mask;
    slots[at] = Slot{record_plus_one, static_cast<std::uint32_t>(hash >> 32)};
}

void BlockIndex::clear() {
    slots_.clear();
}

}  // namespace quorv
