#pragma once
// printf-style composition into a std::string of whatever length the text needs.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quorv {

#if defined(__GNUC__)
#define QUORV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUORV_PRINTF(fmt, args)
#endif

std::string compose(const char* format, ...) QUORV_PRINTF(1, 2);

// The pattern with its placeholders (%s, %d, %u, %x, %llu, %8x) replaced in order by the
// given texts: for numbers wider than printf's types, printed in full.
std::string fill_pattern(std::string_view pattern, std::initializer_list<std::string_view> texts);

// The unsigned product a * b in decimal, however many digits it takes.
std::string product_decimal(std::uint64_t a, std::uint64_t b);

}  // namespace quorv
