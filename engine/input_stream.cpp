#include "engine/input_stream.h"

#include <algorithm>
#include <cstring>

namespace quorv {

FileStream::FileStream(std::FILE* file) : file_(file) {
    // The size only sizes buffers; a stream whose end cannot be found reads in chunks.
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        const long end = std::ftell(file_);
        if (end >= 0) size_ = static_cast<std::uint64_t>(end);
    }
    std::fseek(file_, 0, SEEK_SET);
    std::clearerr(file_);
}

FileStream::~FileStream() {
    std::fclose(file_);
}

std::size_t FileStream::read(void* buffer, std::size_t count) {
    const std::size_t got = std::fread(buffer, 1, count, file_);
    position_ += static_cast<std::uint32_t>(got);
    return got;
}

bool FileStream::error() const {
    return std::ferror(file_) != 0;
}

bool FileStream::seek(std::uint32_t offset) {
    if (offset >= kFirstUnreachableOffset) return false;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    position_ = offset;
    return true;
}

std::uint32_t FileStream::tell() const {
    return position_;
}

std::optional<std::uint64_t> FileStream::remaining() const {
    if (!size_) return std::nullopt;
    return *size_ > position_ ? *size_ - position_ : 0;
}

std::size_t FileStream::peek_at(std::uint64_t offset, void* buffer, std::size_t count) {
    if (!size_ || offset >= *size_ || offset > 0x7FFFFFFFu || count == 0) return 0;
    const bool had_error = std::ferror(file_) != 0;
    std::size_t got = 0;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0) got = std::fread(buffer, 1, count, file_);
    // Back where the reads stand, with the indicators as they were.
    if (!had_error) std::clearerr(file_);
    std::fseek(file_, static_cast<long>(position_), SEEK_SET);
    return got;
}

std::size_t MemoryStream::peek_at(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
    if (got != 0) std::memcpy(buffer, bytes_.data() + offset, got);
    return got;
}

bool view_or_copy(InputStream& stream, std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& copy,
                  std::span<const std::uint8_t>& out) {
    out = {};
    if (size == 0) return true;
    const std::optional<std::uint64_t> length = stream.length();
    if (size > length.value_or(0)) return false;
    out = stream.view_at(offset, static_cast<std::size_t>(size));
    if (!out.empty()) return true;
    copy.resize(static_cast<std::size_t>(size));
    if (stream.peek_at(offset, copy.data(), copy.size()) != copy.size()) {
        copy.clear();
        return false;
    }
    out = copy;
    return true;
}

std::size_t BoundedStream::read(void* buffer, std::size_t count) {
    return whole_.read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(count, left())));
}

std::optional<std::uint64_t> BoundedStream::remaining() const {
    return left();
}

std::span<const std::uint8_t> BoundedStream::buffered() const {
    const std::span<const std::uint8_t> held = whole_.buffered();
    return held.first(static_cast<std::size_t>(std::min<std::uint64_t>(held.size(), left())));
}

std::size_t BoundedStream::peek_at(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset < first_ || offset >= end_) return 0;
    return whole_.peek_at(offset, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - offset)));
}

std::size_t MemoryStream::read(void* buffer, std::size_t count) {
    std::uint64_t end = bytes_.size();
    const bool fault_reached =
        fault_ != Fault::None && position_ <= fault_at_ && position_ + std::uint64_t{count} > fault_at_;
    if (fault_reached && fault_ == Fault::ShortRead) end = std::min<std::uint64_t>(end, fault_at_);
    std::size_t got = 0;
    if (position_ < end) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(count, end - position_));
        std::memcpy(buffer, bytes_.data() + position_, got);
    }
    if (fault_reached && fault_ == Fault::Error) error_ = true;
    position_ += static_cast<std::uint32_t>(got);
    return got;
}

bool MemoryStream::seek(std::uint32_t offset) {
    if (offset >= kFirstUnreachableOffset) return false;
    position_ = offset;
    return true;
}

std::span<const std::uint8_t> MemoryStream::buffered() const {
    if (error_) return {};
    // Up to a planted fault, so that the read that meets it is still a read.
    std::size_t end = bytes_.size();
    if (fault_ != Fault::None && position_ <= fault_at_) end = std::min<std::size_t>(end, fault_at_);
    if (position_ >= end) return {};
    return bytes_.subspan(position_, end - position_);
}

std::optional<std::uint64_t> MemoryStream::remaining() const {
    return bytes_.size() > position_ ? bytes_.size() - position_ : 0;
}

}  // namespace quorv
