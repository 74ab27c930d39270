#pragma once
// Fixed-width fields of the on-disk formats, decoded byte by byte: never by casting a
// buffer to a struct, so alignment and the host's byte order play no part.
#include <cstdint>

namespace quorv {

inline std::uint16_t read_u16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t read_u32le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t read_u64le(const std::uint8_t* p) {
    return std::uint64_t{read_u32le(p)} | (std::uint64_t{read_u32le(p + 4)} << 32);
}
inline std::uint16_t read_u16be(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t read_u32be(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline std::uint64_t read_u64be(const std::uint8_t* p) {
    return (std::uint64_t{read_u32be(p)} << 32) | std::uint64_t{read_u32be(p + 4)};
}

}  // namespace quorv
