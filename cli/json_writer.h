#pragma once
// A small JSON writer for quorv-check. Texts are byte strings: each byte becomes the code
// point of the same value (Latin-1), so any name makes valid JSON and its bytes come back
// exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace quorv::cli {

// A key written in the program: checked while compiling to need no escapes, so writing it
// is one copy.
class FixedKey {
  public:
    consteval FixedKey(const char* text) : text_(text) {
        while (text[size_] != 0) {
            const auto b = static_cast<unsigned char>(text[size_]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') throw "a fixed key must need no escapes";
            ++size_;
        }
    }
    const char* text() const { return text_; }
    std::size_t size() const { return size_; }

  private:
    const char* text_;
    std::size_t size_ = 0;
};

class JsonWriter {
  public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);
    JsonWriter& fixed_key(FixedKey name);
    JsonWriter& value(std::string_view bytes);
    JsonWriter& value(const char* bytes) { return value(std::string_view(bytes)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(bool flag);
    JsonWriter& null();
    // A line break before the next element, to keep long arrays readable and diffable.
    JsonWriter& newline();
    // Members written before as one piece (see members_text), added to the open object.
    JsonWriter& members(std::string_view prebuilt);
    // Members made as JSON text by the caller, in pieces, added to the open object.
    JsonWriter& members(std::initializer_list<std::string_view> json_text);
    // Room for a value of at most n bytes that the caller makes in place as JSON text; then
    // made_value says where it ends.
    char* value_room(std::size_t n) {
        before_value();
        return room(n);
    }
    void made_value(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
    // Whether the bytes go into a JSON string as they are, no byte escaped.
    static bool needs_no_escape(std::string_view bytes);
    // Empties a writer that holds its text, keeping its room for the next one.
    void clear();
    std::string_view view() const { return std::string_view(buffer_.get() ? buffer_.get() : "", used_); }
    // The members of the one object written so far, without its braces.
    std::string_view members_text() const {
        return used_ < 2 ? std::string_view() : std::string_view(buffer_.get() + 1, used_ - 2);
    }

    JsonWriter() = default;
    // Writes the text to out as it goes, a large piece at a time, instead of holding it all.
    explicit JsonWriter(std::FILE* out) : out_(out) {}
    // What is still held goes to out.
    void flush();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    const std::string& text() const {
        text_.assign(buffer_.get() ? buffer_.get() : "", used_);
        return text_;
    }
    std::string take() {
        std::string out(buffer_.get() ? buffer_.get() : "", used_);
        used_ = 0;
        return out;
    }

  private:
    void before_value();
    void write_string(std::string_view bytes);

    // The text is written through a cursor into room grown ahead (by realloc, so growing
    // neither fills nor, for large texts, copies), each piece one copy instead of a checked
    // append.
    char* room(std::size_t n) {
        if (out_ != nullptr && used_ >= kFlushAt) flush();
        if (capacity_ - used_ < n) grow(n);
        return buffer_.get() + used_;
    }
    void grow(std::size_t n);
    void put(char c) {
        *room(1) = c;
        ++used_;
    }
    void put(std::initializer_list<std::string_view> pieces) {
        std::size_t n = 0;
        for (const std::string_view piece : pieces) n += piece.size();
        char* w = room(n);
        for (const std::string_view piece : pieces) {
            if (!piece.empty()) std::memcpy(w, piece.data(), piece.size());
            w += piece.size();
        }
        used_ += n;
    }
    void put(const char* bytes, std::size_t n) {
        if (n == 0) return;
        std::memcpy(room(n), bytes, n);
        used_ += n;
    }

    struct Release {
        void operator()(char* p) const { std::free(p); }
    };
    static constexpr std::size_t kFlushAt = 256 * 1024;
    std::FILE* out_ = nullptr;
    std::unique_ptr<char, Release> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    mutable std::string text_;
    // One entry per open object or array: whether it has an element yet.
    std::vector<unsigned char> has_element_;
    bool after_key_ = false;
};

}  // namespace quorv::cli
