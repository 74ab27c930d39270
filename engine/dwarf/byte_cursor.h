#pragma once
// A bounded reader over one section's bytes, in the module's byte order. Every read checks
// the end; a read past it gives 0 and sets a sticky failure, so a caller checks ok() once
// after a group of reads. Positions are offsets in the section, 64-bit (64-bit DWARF), and
// are compared with the size before anything is converted to size_t (32-bit on Windows).
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace quorv::dwarf {

// LEB128 numbers longer than this are refused: ten 7-bit groups already hold 64 bits.
inline constexpr unsigned kMaxLeb128Bytes = 10;

// An unsigned field of width bytes (1 to 8) at p, which the caller has bounded, in the
// given byte order; the usual widths in little-endian order each as one load.
inline std::uint64_t load_fixed(const std::uint8_t* p, unsigned width, bool big_endian) {
    if (!big_endian) {
        switch (width) {
            case 1:
                return p[0];
            case 2:
                return static_cast<std::uint64_t>(p[0] | p[1] << 8);
            case 4:
                return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
                       std::uint64_t{p[3]} << 24;
            case 8: {
                std::uint64_t v = 0;
                for (unsigned k = 0; k < 8; ++k) v |= std::uint64_t{p[k]} << (8 * k);
                return v;
            }
            default:
                break;
        }
    }
    std::uint64_t value = 0;
    for (unsigned k = 0; k < width; ++k) {
        const unsigned byte = big_endian ? k : width - 1 - k;
        value = value << 8 | p[byte];
    }
    return value;
}

class ByteCursor {
  public:
    ByteCursor() = default;
    ByteCursor(std::span<const std::uint8_t> bytes, bool big_endian, std::uint64_t at = 0)
        : bytes_(bytes), big_endian_(big_endian), at_(at), failed_(at > bytes.size()) {}

    bool ok() const { return !failed_; }
    void fail() { failed_ = true; }
    std::uint64_t position() const { return at_; }
    std::uint64_t size() const { return bytes_.size(); }
    bool at_end() const { return failed_ || at_ >= bytes_.size(); }
    bool big_endian() const { return big_endian_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // The same bytes, ending at end (not past the present end).
    ByteCursor ending_at(std::uint64_t end) const {
        ByteCursor c = *this;
        if (end < c.bytes_.size()) c.bytes_ = c.bytes_.first(static_cast<std::size_t>(end));
        if (c.at_ > c.bytes_.size()) c.failed_ = true;
        return c;
    }

    void seek(std::uint64_t at) {
        if (at > bytes_.size())
            failed_ = true;
        else
            at_ = at;
    }
    void skip(std::uint64_t count) {
        if (have(count)) at_ += count;
    }

    std::uint8_t u8() { return have(1) ? bytes_[static_cast<std::size_t>(at_++)] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(fixed(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(fixed(4)); }
    std::uint64_t u64() { return fixed(8); }

    // An unsigned field of width bytes (1 to 8), in the section's byte order.
    std::uint64_t fixed(unsigned width) {
        if (!have(width)) return 0;
        const std::uint8_t* p = bytes_.data() + static_cast<std::size_t>(at_);
        at_ += width;
        return load_fixed(p, width, big_endian_);
    }

    std::uint64_t uleb() {
        if (!failed_ && at_ < bytes_.size() && bytes_[static_cast<std::size_t>(at_)] < 0x80)
            return bytes_[static_cast<std::size_t>(at_++)];
        std::uint64_t value = 0;
        for (unsigned k = 0; k < kMaxLeb128Bytes; ++k) {
            if (!have(1)) return 0;
            const std::uint8_t byte = bytes_[static_cast<std::size_t>(at_++)];
            value |= std::uint64_t{byte & 0x7Fu} << (7 * k);
            if ((byte & 0x80u) == 0) return value;
        }
        failed_ = true;
        return 0;
    }

    std::int64_t sleb() {
        std::uint64_t value = 0;
        for (unsigned k = 0; k < kMaxLeb128Bytes; ++k) {
            if (!have(1)) return 0;
            const std::uint8_t byte = bytes_[static_cast<std::size_t>(at_++)];
            value |= std::uint64_t{byte & 0x7Fu} << (7 * k);
            if ((byte & 0x80u) == 0) {
                const unsigned shift = 7 * (k + 1);
                if (shift < 64 && (byte & 0x40u) != 0) value |= ~std::uint64_t{0} << shift;
                return static_cast<std::int64_t>(value);
            }
        }
        failed_ = true;
        return 0;
    }

    // The zero-terminated text at the position; a text without its zero fails.
    std::string_view cstr() {
        if (failed_ || at_ >= bytes_.size()) {
            failed_ = true;
            return {};
        }
        const auto* first = bytes_.data() + static_cast<std::size_t>(at_);
        const std::size_t left = bytes_.size() - static_cast<std::size_t>(at_);
        const void* zero = std::memchr(first, 0, left);
        if (zero == nullptr) {
            failed_ = true;
            return {};
        }
        const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first);
        at_ += length + 1;
        return {reinterpret_cast<const char*>(first), length};
    }

    std::span<const std::uint8_t> take(std::uint64_t count) {
        if (!have(count)) return {};
        const std::span<const std::uint8_t> out =
            bytes_.subspan(static_cast<std::size_t>(at_), static_cast<std::size_t>(count));
        at_ += count;
        return out;
    }

  private:
    bool have(std::uint64_t count) {
        if (failed_ || count > bytes_.size() - at_) {
            failed_ = true;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    bool big_endian_ = false;
    std::uint64_t at_ = 0;
    bool failed_ = false;
};

}  // namespace quorv::dwarf
