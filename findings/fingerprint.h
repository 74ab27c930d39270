#pragma once
// Fingerprints: a 128-bit hash of what makes a finding this one, as 32 hexadecimal digits.
// The same bytes give the same fingerprint on every machine (the hash reads bytes, never
// host words).
#include <initializer_list>
#include <string>
#include <string_view>

namespace quorv::findings {

// The parts are hashed each followed by a zero byte, so ("ab", "c") and ("a", "bc") differ.
std::string fingerprint(std::initializer_list<std::string_view> parts);

}  // namespace quorv::findings
