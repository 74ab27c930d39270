#pragma once
// A small JSON writer for quorv-check. Texts are byte strings: each byte becomes the code
// point of the same value (Latin-1), so any name makes valid JSON and its bytes come back
// exactly.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorv::cli {

class JsonWriter {
public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view bytes);
    JsonWriter& value(const char* bytes) { return value(std::string_view(bytes)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(bool flag);
    JsonWriter& null();
    // A line break before the next element, to keep long arrays readable and diffable.
    JsonWriter& newline();

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void before_value();
    void write_string(std::string_view bytes);

    std::string out_;
    // One entry per open object or array: whether it has an element yet.
    std::vector<bool> has_element_;
    bool after_key_ = false;
};

}  // namespace quorv::cli
