#pragma once
// The one byte order of names and paths: bytes compared as unsigned 8-bit values,
// case-sensitive, no locale, a proper prefix first (the order of strcmp).
#include <cstring>
#include <string_view>

namespace quorv {

inline int compare_names(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    if (n != 0) {
        // memcmp compares as unsigned char, which is exactly the order wanted here.
        const int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Comparator for ordered containers keyed by names; transparent so lookups take string_view.
struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return compare_names(a, b) < 0; }
};

}  // namespace quorv
