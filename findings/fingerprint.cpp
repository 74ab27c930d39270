#include "findings/fingerprint.h"

#include <cstdint>

namespace quorv::findings {
namespace {

constexpr std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

// Two lanes over the bytes, each fed every byte and folded differently, then mixed together.
class Hash128 {
  public:
    void add(std::uint8_t byte) {
        a_ = (a_ ^ byte) * 0x100000001B3ull;
        b_ = (b_ + byte + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
        b_ ^= b_ >> 27;
        ++length_;
    }
    Fingerprint hex() const {
        const std::uint64_t high = mix(a_ ^ mix(b_ + length_));
        const std::uint64_t low = mix(b_ ^ mix(a_ + 0x94D049BB133111EBull * length_));
        static constexpr char kHex[] = "0123456789abcdef";
        char digits[32];
        for (int k = 0; k < 16; ++k) {
            digits[k] = kHex[(high >> (60 - 4 * k)) & 15];
            digits[16 + k] = kHex[(low >> (60 - 4 * k)) & 15];
        }
        return Fingerprint(std::string_view(digits, sizeof digits));
    }

  private:
    std::uint64_t a_ = 0xCBF29CE484222325ull;
    std::uint64_t b_ = 0x243F6A8885A308D3ull;
    std::uint64_t length_ = 0;
};

}  // namespace

Fingerprint fingerprint(std::initializer_list<std::string_view> parts) {
    Hash128 hash;
    for (const std::string_view part : parts) {
        for (const char c : part) hash.add(static_cast<std::uint8_t>(c));
        hash.add(0);
    }
    return hash.hex();
}

}  // namespace quorv::findings
