#include "engine/name_order.h"

#include <cstring>

namespace quorv {

// The first 8 bytes, big-endian, zero-filled: where two prefixes differ they order like
// compare_names of the whole names (a zero fill sorts first, as a shorter name does).
std::uint64_t name_prefix(std::string_view s) {
    unsigned char b[8] = {};
    std::memcpy(b, s.data(), s.size() < 8 ? s.size() : 8);
    std::uint64_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    return v;
}

}  // namespace quorv
