#include "engine/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quorv {

std::string compose(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<std::size_t>(length));
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}

std::string fill_pattern(std::string_view pattern, std::initializer_list<std::string_view> texts) {
    std::string out;
    auto next = texts.begin();
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        if (pattern[k] != '%' || k + 1 >= pattern.size()) {
            out += pattern[k];
            continue;
        }
        // Skip the width, the length and the conversion letter.
        std::size_t end = k + 1;
        while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
        while (end < pattern.size() && pattern[end] == 'l') ++end;
        if (next != texts.end()) out += *next++;
        k = end;
    }
    return out;
}

std::string product_decimal(std::uint64_t a, std::uint64_t b) {
    // Schoolbook multiplication in base 10^9 limbs, least significant first.
    constexpr std::uint64_t kBase = 1000000000;
    const auto limbs = [](std::uint64_t v) {
        std::vector<std::uint64_t> out;
        do {
            out.push_back(v % kBase);
            v /= kBase;
        } while (v != 0);
        return out;
    };
    const std::vector<std::uint64_t> x = limbs(a), y = limbs(b);
    std::vector<std::uint64_t> z(x.size() + y.size() + 1, 0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < y.size(); ++j) {
            const std::uint64_t t = z[i + j] + x[i] * y[j] + carry;
            z[i + j] = t % kBase;
            carry = t / kBase;
        }
        for (std::size_t k = i + y.size(); carry != 0; ++k) {
            const std::uint64_t t = z[k] + carry;
            z[k] = t % kBase;
            carry = t / kBase;
        }
    }
    while (z.size() > 1 && z.back() == 0) z.pop_back();
    std::string out = std::to_string(z.back());
    for (std::size_t k = z.size() - 1; k-- > 0;) {
        const std::string limb = std::to_string(z[k]);
        out.append(9 - limb.size(), '0').append(limb);
    }
    return out;
}

}  // namespace quorv
