#include "cli/json_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace quorv::cli {

void JsonWriter::grow(std::size_t n) {
    const std::size_t capacity = std::max(2 * capacity_, used_ + n + 4096);
    char* grown = static_cast<char*>(std::realloc(buffer_.get(), capacity));
    if (grown == nullptr) throw std::bad_alloc();
    static_cast<void>(buffer_.release());
    buffer_.reset(grown);
    capacity_ = capacity;
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!has_element_.empty()) {
        if (has_element_.back()) put(',');
        has_element_.back() = 1;
    }
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    put('{');
    has_element_.push_back(0);
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    has_element_.pop_back();
    put('}');
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    put('[');
    has_element_.push_back(0);
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    has_element_.pop_back();
    put(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    before_value();
    write_string(name);
    put(':');
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::fixed_key(FixedKey name) {
    before_value();
    char* w = room(name.size() + 3);
    w[0] = '"';
    std::memcpy(w + 1, name.text(), name.size());
    w[name.size() + 1] = '"';
    w[name.size() + 2] = ':';
    used_ += name.size() + 3;
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view bytes) {
    before_value();
    write_string(bytes);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
    before_value();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    put(digits, static_cast<std::size_t>(end - digits));
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    before_value();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    put(digits, static_cast<std::size_t>(end - digits));
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    before_value();
    if (flag)
        put("true", 4);
    else
        put("false", 5);
    return *this;
}

JsonWriter& JsonWriter::null() {
    before_value();
    put("null", 4);
    return *this;
}

JsonWriter& JsonWriter::members(std::string_view prebuilt) {
    if (prebuilt.empty()) return *this;
    if (has_element_.back()) put(',');
    has_element_.back() = 1;
    put(prebuilt.data(), prebuilt.size());
    return *this;
}

JsonWriter& JsonWriter::members(std::initializer_list<std::string_view> json_text) {
    if (has_element_.back()) put(',');
    has_element_.back() = 1;
    put(json_text);
    return *this;
}

void JsonWriter::clear() {
    used_ = 0;
    has_element_.clear();
    after_key_ = false;
}

void JsonWriter::flush() {
    if (out_ != nullptr && used_ != 0) std::fwrite(buffer_.get(), 1, used_, out_);
    used_ = 0;
}

JsonWriter& JsonWriter::newline() {
    put('\n');
    return *this;
}

namespace {

// Bytes that stand for themselves in a JSON string: printable ASCII but the quote and the
// backslash.
constexpr bool plain_byte(unsigned char b) {
    return b >= 0x20 && b < 0x80 && b != '"' && b != '\\';
}

// Whether any of 8 bytes is not plain, tested on all 8 at once: a byte of 0x80 or more, one
// below 0x20, a quote or a backslash. A false alarm only sends the bytes the slow way.
bool any_not_plain(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto has_zero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    const std::uint64_t below_space = (w - 0x20 * kOnes) & ~w & kHighs;
    return ((w & kHighs) | below_space | has_zero(w ^ ('"' * kOnes)) | has_zero(w ^ ('\\' * kOnes))) != 0;
}

std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// Every byte plain, 8 at a time; the last 8 overlap the ones before, and a text shorter
// than 8 is padded with plain bytes.
bool all_plain(std::string_view bytes) {
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    if (n < 8) {
        std::uint64_t w = 0x6161616161616161ull;
        if (n != 0) std::memcpy(&w, p, n);
        return !any_not_plain(w);
    }
    for (std::size_t k = 0; k + 8 <= n; k += 8)
        if (any_not_plain(load8(p + k))) return false;
    return !any_not_plain(load8(p + n - 8));
}

}  // namespace

bool JsonWriter::needs_no_escape(std::string_view bytes) {
    return all_plain(bytes);
}

void JsonWriter::write_string(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    // Most names and paths are plain whole: quotes and bytes in one copy.
    if (all_plain(bytes)) {
        char* w = room(bytes.size() + 2);
        w[0] = '"';
        if (!bytes.empty()) std::memcpy(w + 1, bytes.data(), bytes.size());
        w[bytes.size() + 1] = '"';
        used_ += bytes.size() + 2;
        return;
    }
    put('"');
    // Runs of plain bytes go in at once, the others escaped one by one.
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t run = at;
        while (run < bytes.size() && plain_byte(static_cast<unsigned char>(bytes[run]))) ++run;
        if (run > at) put(bytes.data() + at, run - at);
        if (run == bytes.size()) break;
        at = run + 1;
        const char c = bytes[run];
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
            case '"':
                put("\\\"", 2);
                break;
            case '\\':
                put("\\\\", 2);
                break;
            case '\n':
                put("\\n", 2);
                break;
            case '\r':
                put("\\r", 2);
                break;
            case '\t':
                put("\\t", 2);
                break;
            case '\b':
                put("\\b", 2);
                break;
            case '\f':
                put("\\f", 2);
                break;
            default:
                if (b < 0x20) {
                    put("\\u00", 4);
                    put(kHex[b >> 4]);
                    put(kHex[b & 0xF]);
                } else if (b < 0x80) {
                    put(c);
                } else {
                    // The code point of the byte's value, in UTF-8.
                    put(static_cast<char>(0xC0 | (b >> 6)));
                    put(static_cast<char>(0x80 | (b & 0x3F)));
                }
        }
    }
    put('"');
}

}  // namespace quorv::cli
