#pragma once
// The byte stream the readers use: reads that may come up short, a sticky error indicator,
// and absolute positioning.
//
// File offsets are unsigned 32-bit on purpose: every position the readers compute wraps
// modulo 2^32, and positioning at 0x80000000 or beyond fails and leaves the position where
// it was (it would be negative as a signed 32-bit offset). Positioning beyond the end
// succeeds; the next read then comes up short.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

namespace quorv {

inline constexpr std::uint32_t kFirstUnreachableOffset = 0x80000000u;

class InputStream {
  public:
    virtual ~InputStream() = default;
    // Reads up to count bytes; returns how many came. A failure sets the error indicator.
    virtual std::size_t read(void* buffer, std::size_t count) = 0;
    // The sticky error indicator: once set, it stays set.
    virtual bool error() const = 0;
    // Absolute positioning; false (position unchanged) for offsets of 0x80000000 and above.
    virtual bool seek(std::uint32_t offset) = 0;
    virtual std::uint32_t tell() const = 0;
    // Bytes from the position to the end, when known. Only a hint for sizing buffers:
    // reads never trust it.
    virtual std::optional<std::uint64_t> remaining() const = 0;
    // The bytes from the position on that reads would deliver without a fault, when the
    // stream holds them in memory; empty otherwise. Lets a reader scan ahead and then
    // position past what it used instead of reading byte by byte.
    virtual std::span<const std::uint8_t> buffered() const { return {}; }

    // The input's whole length in bytes, when it can be known.
    virtual std::optional<std::uint64_t> length() const = 0;
    // Copies up to count bytes from the absolute offset, leaving the position, the error
    // indicator and every planted fault as they were: for looking at an input's layout
    // without reading it. Returns how many bytes came.
    virtual std::size_t peek_at(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    // The same bytes without a copy, when the stream holds the whole input in memory: all
    // count bytes at the absolute offset, or an empty span.
    virtual std::span<const std::uint8_t> view_at(std::uint64_t, std::size_t) const { return {}; }
};

// A binary std::FILE* opened by the caller; the stream closes it.
class FileStream : public InputStream {
  public:
    explicit FileStream(std::FILE* file);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::size_t read(void* buffer, std::size_t count) override;
    bool error() const override;
    bool seek(std::uint32_t offset) override;
    std::uint32_t tell() const override;
    std::optional<std::uint64_t> remaining() const override;
    std::optional<std::uint64_t> length() const override { return size_; }
    std::size_t peek_at(std::uint64_t offset, void* buffer, std::size_t count) override;

  private:
    std::FILE* file_;
    std::optional<std::uint64_t> size_;
    std::uint32_t position_ = 0;
};

// Bytes in memory, for tests and fuzzing. A fault can be planted at a chosen byte offset:
// a read that reaches it stops there (ShortRead) or delivers its bytes and sets the error
// indicator (Error).
class MemoryStream : public InputStream {
  public:
    enum class Fault { None, ShortRead, Error };

    explicit MemoryStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    MemoryStream(std::span<const std::uint8_t> bytes, Fault fault, std::uint32_t fault_at)
        : bytes_(bytes), fault_(fault), fault_at_(fault_at) {}

    std::size_t read(void* buffer, std::size_t count) override;
    bool error() const override { return error_; }
    bool seek(std::uint32_t offset) override;
    std::uint32_t tell() const override { return position_; }
    std::optional<std::uint64_t> remaining() const override;
    std::span<const std::uint8_t> buffered() const override;
    std::optional<std::uint64_t> length() const override { return bytes_.size(); }
    std::size_t peek_at(std::uint64_t offset, void* buffer, std::size_t count) override;
    std::span<const std::uint8_t> view_at(std::uint64_t offset, std::size_t count) const override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return {};
        return bytes_.subspan(static_cast<std::size_t>(offset), count);
    }

  private:
    std::span<const std::uint8_t> bytes_;
    Fault fault_ = Fault::None;
    std::uint32_t fault_at_ = 0;
    std::uint32_t position_ = 0;
    bool error_ = false;
};

// Bytes [offset, offset + size) of the stream looked at quietly, as peek_at does: in place
// when the stream holds them in memory, else copied into copy. false when they are not all
// there.
bool view_or_copy(InputStream& stream, std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& copy,
                  std::span<const std::uint8_t>& out);

// One archive member's bytes, [first, end) of another stream: reads and peeks stop at end.
// Positions stay those of the whole stream, so its positioning rule and every printed
// address hold.
class BoundedStream : public InputStream {
  public:
    BoundedStream(InputStream& whole, std::uint64_t first, std::uint64_t end)
        : whole_(whole), first_(first), end_(end) {}

    std::size_t read(void* buffer, std::size_t count) override;
    bool error() const override { return whole_.error(); }
    bool seek(std::uint32_t offset) override { return whole_.seek(offset); }
    std::uint32_t tell() const override { return whole_.tell(); }
    std::optional<std::uint64_t> remaining() const override;
    std::span<const std::uint8_t> buffered() const override;
    std::optional<std::uint64_t> length() const override { return end_ - first_; }
    std::size_t peek_at(std::uint64_t offset, void* buffer, std::size_t count) override;
    std::span<const std::uint8_t> view_at(std::uint64_t offset, std::size_t count) const override {
        if (offset < first_ || offset > end_ || count > end_ - offset) return {};
        return whole_.view_at(offset, count);
    }

  private:
    std::uint64_t left() const { return end_ > whole_.tell() ? end_ - whole_.tell() : 0; }

    InputStream& whole_;
    std::uint64_t first_;
    std::uint64_t end_;
};

}  // namespace quorv
