#pragma once
// SHA-256, for fingerprints that stay the same on every machine.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorv::findings {

std::array<std::uint8_t, 32> sha256(std::string_view bytes);
// The first `digits` hexadecimal digits of the text's SHA-256.
std::string sha256_hex(std::string_view bytes, std::size_t digits = 32);

}  // namespace quorv::findings
