#pragma once
// printf-style composition into a std::string of whatever length the text needs.
#include <string>

namespace quorv {

#if defined(__GNUC__)
#define QUORV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUORV_PRINTF(fmt, args)
#endif

std::string compose(const char* format, ...) QUORV_PRINTF(1, 2);

}  // namespace quorv
