#include "cli/json_writer.h"

namespace quorv::cli {

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!has_element_.empty()) {
        if (has_element_.back()) out_ += ',';
        has_element_.back() = true;
    }
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    out_ += '{';
    has_element_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    has_element_.pop_back();
    out_ += '}';
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    out_ += '[';
    has_element_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    has_element_.pop_back();
    out_ += ']';
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    before_value();
    write_string(name);
    out_ += ':';
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
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    before_value();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    before_value();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    before_value();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::newline() {
    out_ += '\n';
    return *this;
}

void JsonWriter::write_string(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        case '\b': out_ += "\\b"; break;
        case '\f': out_ += "\\f"; break;
        default:
            if (b < 0x20) {
                out_ += "\\u00";
                out_ += kHex[b >> 4];
                out_ += kHex[b & 0xF];
            } else if (b < 0x80) {
                out_ += c;
            } else {
                // The code point of the byte's value, in UTF-8.
                out_ += static_cast<char>(0xC0 | (b >> 6));
                out_ += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
    }
    out_ += '"';
}

}  // namespace quorv::cli
