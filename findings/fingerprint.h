#pragma once
// Fingerprints: a 128-bit hash of what makes a finding this one, as 32 hexadecimal digits.
// The same bytes give the same fingerprint on every machine (the hash reads bytes, never
// host words).
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quorv::findings {

// The digits held in place: a run may have tens of thousands of findings, each with one.
class Fingerprint {
  public:
    Fingerprint() = default;
    // The first 32 bytes of digits.
    explicit Fingerprint(std::string_view digits) : size_(std::min<std::size_t>(digits.size(), sizeof digits_)) {
        std::memcpy(digits_, digits.data(), size_);
    }
    std::string_view text() const { return std::string_view(digits_, size_); }
    operator std::string_view() const { return text(); }
    friend bool operator==(const Fingerprint& a, const Fingerprint& b) { return a.text() == b.text(); }

  private:
    char digits_[32] = {};
    std::size_t size_ = 0;
};

// The parts are hashed each followed by a zero byte, so ("ab", "c") and ("a", "bc") differ.
Fingerprint fingerprint(std::initializer_list<std::string_view> parts);

}  // namespace quorv::findings
