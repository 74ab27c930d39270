#pragma once
// Test-only builders of COFF objects and archives, so that each test says what it makes
// ("an object with two sections whose raw data share one byte") instead of holding hex.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/coff_layout.h"

namespace quorv::test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}
inline void put32be(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * (3 - k)));
}
inline void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}
inline void append(Bytes& b, const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
}

struct Section {
    std::uint32_t raw_size = 0, raw_pointer = 0, relocation_pointer = 0, linenumber_pointer = 0;
    std::uint16_t relocations = 0, linenumbers = 0;
};

struct Symbol {
    std::string name;  // 8 bytes or fewer go into the record, longer ones into the string table
    std::uint32_t value = 0;
    std::int16_t section = 0;
    std::uint16_t type = 0;
    std::uint8_t storage_class = 2;
    std::uint8_t aux = 0;
    bool force_long = false;       // put even a short name into the string table
    std::int64_t raw_offset = -1;  // when >= 0: Zeroes 0 and this Offset, name ignored
};

// Shorthands for the symbol kinds the scan tells apart.
inline Symbol common(std::string name, std::uint32_t size) {
    return {std::move(name), size, 0, 0, 2};
}
inline Symbol defined_data(std::string name, std::int16_t section = 1) {
    return {std::move(name), 0, section, 0, 2};
}
inline Symbol function(std::string name, std::int16_t section = 1, std::uint8_t cls = 2) {
    return {std::move(name), 0, section, 0x20, cls};
}

struct ObjectSpec {
    std::uint16_t machine = 0x14C;
    std::uint32_t time_date_stamp = 0;
    std::uint16_t optional_header_size = 0;
    Bytes optional_header;  // written as given; padded or cut to optional_header_size
    std::vector<Section> sections;
    std::vector<Symbol> symbols;
    bool with_symbol_table = true;
    // When set, replaces the string-table size field that would be written.
    std::int64_t string_table_size_override = -1;
    std::int64_t number_of_symbols_override = -1;
    std::int64_t number_of_sections_override = -1;
};

// Layout: header, optional header, section table, symbol table, string table.
inline Bytes make_object(const ObjectSpec& plan) {
    using namespace coff;
    Bytes out(kFileHeaderSize, 0);
    put16(out, kMachineOffset, plan.machine);
    put16(out, kNumberOfSectionsOffset,
          plan.number_of_sections_override >= 0 ? static_cast<std::uint16_t>(plan.number_of_sections_override)
                                                : static_cast<std::uint16_t>(plan.sections.size()));
    put32(out, kTimeDateStampOffset, plan.time_date_stamp);
    put16(out, kSizeOfOptionalHeaderOffset, plan.optional_header_size);
    Bytes optional = plan.optional_header;
    optional.resize(plan.optional_header_size, 0);
    append(out, optional);
    for (const Section& s : plan.sections) {
        Bytes h(kSectionHeaderSize, 0);
        std::memcpy(h.data() + kSectionNameOffset, ".sect\0\0\0", kSectionNameSize);
        put32(h, kSizeOfRawDataOffset, s.raw_size);
        put32(h, kPointerToRawDataOffset, s.raw_pointer);
        put32(h, kPointerToRelocationsOffset, s.relocation_pointer);
        put32(h, kPointerToLinenumbersOffset, s.linenumber_pointer);
        put16(h, kNumberOfRelocationsOffset, s.relocations);
        put16(h, kNumberOfLinenumbersOffset, s.linenumbers);
        append(out, h);
    }
    if (!plan.with_symbol_table) return out;
    const std::size_t symbol_table = out.size();
    put32(out, kPointerToSymbolTableOffset, static_cast<std::uint32_t>(symbol_table));
    Bytes strings;
    std::uint32_t records = 0;
    for (const Symbol& s : plan.symbols) {
        Bytes r(kSymbolRecordSize, 0);
        if (s.raw_offset >= 0) {
            put32(r, kSymbolNameOffsetOffset, static_cast<std::uint32_t>(s.raw_offset));
        } else if (s.name.size() <= kSymbolNameSize && !s.force_long) {
            std::memcpy(r.data(), s.name.data(), s.name.size());
        } else {
            put32(r, kSymbolNameOffsetOffset, static_cast<std::uint32_t>(kStringTableSizeField + strings.size()));
            append(strings, s.name);
            strings.push_back(0);
        }
        put32(r, kSymbolValueOffset, s.value);
        put16(r, kSymbolSectionOffset, static_cast<std::uint16_t>(s.section));
        put16(r, kSymbolTypeOffset, s.type);
        r[kSymbolClassOffset] = s.storage_class;
        r[kSymbolAuxCountOffset] = s.aux;
        append(out, r);
        ++records;
    }
    put32(out, kNumberOfSymbolsOffset,
          plan.number_of_symbols_override >= 0 ? static_cast<std::uint32_t>(plan.number_of_symbols_override) : records);
    const std::size_t size_at = out.size();
    put32(out, size_at,
          plan.string_table_size_override >= 0 ? static_cast<std::uint32_t>(plan.string_table_size_override)
                                               : static_cast<std::uint32_t>(kStringTableSizeField + strings.size()));
    append(out, strings);
    return out;
}

struct Member {
    std::string header_name;  // the 16-byte name field, e.g. "util.obj/" or "/0"
    Bytes content;
};

inline Bytes member_header(const std::string& name, std::size_t size) {
    std::string h(60, ' ');
    h.replace(0, std::min<std::size_t>(name.size(), 16), name.substr(0, 16));
    const std::string sz = std::to_string(size);
    h.replace(48, sz.size(), sz);
    h[58] = '`';
    h[59] = '\n';
    return Bytes(h.begin(), h.end());
}

// A Microsoft-format archive: first linker member (S names), second linker member (member
// offsets), then the members, each on an even offset.
inline Bytes make_archive(const std::vector<Member>& members, const std::vector<std::string>& linker_names = {"_sym"}) {
    Bytes out;
    append(out, std::string("!<arch>\n"));
    Bytes first(4, 0);
    put32be(first, 0, static_cast<std::uint32_t>(linker_names.size()));
    first.resize(4 + 4 * linker_names.size(), 0);
    for (const auto& n : linker_names) {
        append(first, n);
        first.push_back(0);
    }
    append(out, member_header("/", first.size()));
    append(out, first);
    if (out.size() % 2) out.push_back('\n');
    const std::size_t second_at = out.size();
    Bytes second(4 + 4 * members.size(), 0);
    put32(second, 0, static_cast<std::uint32_t>(members.size()));
    append(out, member_header("/", second.size()));
    append(out, second);
    if (out.size() % 2) out.push_back('\n');
    for (std::size_t k = 0; k < members.size(); ++k) {
        put32(out, second_at + 60 + 4 + 4 * k, static_cast<std::uint32_t>(out.size()));
        append(out, member_header(members[k].header_name, members[k].content.size()));
        append(out, members[k].content);
        if (out.size() % 2) out.push_back('\n');
    }
    return out;
}

}  // namespace quorv::test
