#pragma once
// A matcher for the system's own message texts (engine/messages.h): the fuzz targets and the
// hostile-input tests hold every reported text against the catalogue, so a text outside it
// means a message was garbled, cut or composed from the wrong arguments.
//
// Placeholders: %s any bytes, %d a signed decimal, %u and %llu an unsigned decimal, %x
// lower-case hexadecimal without leading zeros, %8x the same right-aligned in 8 columns.
#include <cstddef>
#include <string_view>

#include "engine/messages.h"

namespace quorv::fuzz {

// The patterns themselves stand once, in the engine's catalogue.
using msg::kRunMessagePatterns;

namespace detail {

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
inline bool is_hex(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f');
}

// Length of the run of characters at text[at] accepted by ok.
template <class Ok>
std::size_t run_length(std::string_view text, std::size_t at, Ok ok) {
    std::size_t n = 0;
    while (at + n < text.size() && ok(text[at + n])) ++n;
    return n;
}

inline bool match_from(std::string_view pattern, std::size_t p, std::string_view text, std::size_t t) {
    while (p < pattern.size()) {
        if (pattern[p] != '%') {
            if (t >= text.size() || text[t] != pattern[p]) return false;
            ++p;
            ++t;
            continue;
        }
        const char kind = pattern[p + 1];
        if (kind == 's') {
            // %s is the only placeholder that may stand for nothing or for anything.
            for (std::size_t end = text.size() + 1; end-- > t;)
                if (match_from(pattern, p + 2, text, end)) return true;
            return false;
        }
        if (kind == '8') {  // %8x
            const std::size_t blanks = run_length(text, t, [](char c) { return c == ' '; });
            const std::size_t digits = run_length(text, t + blanks, is_hex);
            if (digits == 0 || blanks + digits < 8 || (blanks != 0 && blanks + digits != 8)) return false;
            if (digits > 1 && text[t + blanks] == '0') return false;
            p += 3;
            t += blanks + digits;
            continue;
        }
        std::size_t n = 0;
        if (kind == 'd' && t < text.size() && text[t] == '-') n = 1;
        const std::size_t digits = run_length(text, t + n, kind == 'x' ? is_hex : is_digit);
        if (digits == 0 || (digits > 1 && text[t + n] == '0')) return false;
        p += pattern.substr(p, 4) == "%llu" ? 4 : 2;
        t += n + digits;
    }
    return t == text.size();
}

}  // namespace detail

inline bool matches_pattern(std::string_view pattern, std::string_view text) {
    return detail::match_from(pattern, 0, text, 0);
}

// The pattern a text belongs to, or an empty view when it belongs to none.
inline std::string_view message_family(std::string_view text) {
    for (std::string_view pattern : kRunMessagePatterns)
        if (matches_pattern(pattern, text)) return pattern;
    return {};
}

inline bool is_known_message(std::string_view text) {
    return !message_family(text).empty();
}

}  // namespace quorv::fuzz
