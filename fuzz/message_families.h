#pragma once
// Every text the engine (and the file list that quorv-check shares with the window) can
// hand to report_message, as printf-style patterns, and a matcher for them. The fuzz
// targets and the hostile-input tests hold every reported text against this list: a text
// outside it means a message was garbled, cut or composed from the wrong arguments.
//
// Placeholders: %s any bytes, %d a signed decimal, %u an unsigned decimal, %x lower-case
// hexadecimal without leading zeros, %8x the same right-aligned in 8 columns with blanks.
#include <cstddef>
#include <string_view>

namespace quorv::fuzz {

inline constexpr std::string_view kMessagePatterns[] = {
    // checked_read
    "QUORV Internal: fread failed in %s",
    "QUORV Internal: fread returned %u bytes (%u expected). [%s]",
    // file and optional header
    "Error reading file header\n",
    "Error - bad file header time stamp\n",
    "Error - bad file header machine value\n",
    "QUORV Internal: bad optional header size of %d (expecting %d or %d)\n",
    "QUORV Internal:  error reading optional header\n",
    "QUORV Internal: bad optional header subsystem value\n",
    "Could not process optional header (file %s)",
    // section table
    "QUORV Internal: calloc failed for %d section headers\n",
    "Error reading section headers\n",
    // string table
    "Error seeking to start of string table at file address %x\n",
    "Error reading string table size\n",
    "Bad string table size\n",
    "Malloc of buffer for string table failed\n",
    "Read of string table failed\n",
    // symbol table
    "\nError: Unable to allocate %u byte buffer to hold symbol table\n",
    "Error seeking to symbol table\n",
    "Error reading symbol table\n",
    // overlap checks
    "Object Format Error: Raw data overlap between sections %x and %x\n",
    "Object Format Error: Section %x raw data overlaps section %x relocations\n",
    "Object Format Error: Section %x raw data overlaps section %x line numbers\n",
    "Object Format Error: Section %x relocations overlap section %x raw data\n",
    "Object Format Error: Relocations overlap for sections %x and %x\n",
    "Object Format Error: Section %x relocations overlap section %x line numbers\n",
    "Object Format Error: Section %x line numbers overlap section %x raw data\n",
    "Object Format Error: Section %x line numbers overlap section %x relocations\n",
    "Object Format Error: Line numbers overlap for sections %x and %x\n",
    // symbol scan
    "QUORV Internal: name offset %8x is outside string table",
    "Error: Section number is out of range\n",
    "Error:  Aux symbol count overflows symbol table\n",
    "Could not allocate DATAINITIALIZED\n",
    // the run and the archive walk
    "Cannot open file: %s",
    "Error reading file signature\n",
    "The file %s is not an object file.",
    "Error seeking to start of file\n",
    "Error seeking to start of file header\n",
    "Error with number of symbols in library\n",
    "Error reading number of members in library\n",
    "Error reading library members",
    // the file list
    "%s is already on the list",
};

namespace detail {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }

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
        p += 2;
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
    for (std::string_view pattern : kMessagePatterns)
        if (matches_pattern(pattern, text)) return pattern;
    return {};
}

inline bool is_known_message(std::string_view text) { return !message_family(text).empty(); }

}  // namespace quorv::fuzz
