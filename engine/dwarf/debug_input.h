#pragma once
// What a format reader hands the debug-info reader of one module: the DWARF sections' bytes
// as the object stores them, the relocations that apply to .debug_info and .debug_line, and
// the module's symbols by index. The bytes point into the reader's working set and live as
// long as the module's reading.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/byte_order.h"

namespace quorv::dwarf {

struct Section {
    std::span<const std::uint8_t> bytes;
    // ELF SHF_COMPRESSED: the bytes open with a compression header (Elf32_Chdr or Elf64_Chdr,
    // in the module's class and byte order), then the compressed data.
    bool compressed = false;
    bool present = false;
};

// 24 bytes: a module's .debug_info has thousands.
struct Relocation {
    std::uint64_t offset = 0;  // in the section's uncompressed bytes
    std::uint32_t symbol = 0;  // index into DebugInput::symbols
    bool in_place = false;     // ELF REL and COFF: the field's own bytes are the addend
    std::uint8_t width = 0;    // bytes of the field: 4 or 8
    std::int64_t addend = 0;   // RELA's r_addend; unused when in_place
};

// A relocation table as the object stores it, read where it lies: a module's .debug_info has
// thousands of relocations, and room to decode them into costs a page fault a page.
struct RelocationRecords {
    enum class Layout : std::uint8_t { None, Elf64Rela, Elf64Rel, Elf32Rela, Elf32Rel, Coff };
    // The width of a field by relocation type; a type not named here writes no plain value.
    struct Width {
        std::uint32_t type = 0;
        std::uint8_t bytes = 0;
    };
    static constexpr std::size_t kMostWidths = 3;

    std::span<const std::uint8_t> bytes;  // whole records only
    Layout layout = Layout::None;
    bool big_endian = false;
    Width widths[kMostWidths] = {};

    static constexpr std::size_t record_size(Layout l) {
        constexpr std::size_t sizes[] = {1, 24, 16, 12, 8, 10};
        return sizes[static_cast<std::size_t>(l)];
    }
    bool empty() const { return layout == Layout::None || bytes.size() < record_size(layout); }
    std::size_t count() const { return layout == Layout::None ? 0 : bytes.size() / record_size(layout); }
    bool rela() const { return layout == Layout::Elf64Rela || layout == Layout::Elf32Rela; }

    std::uint64_t offset_at(std::size_t k) const {
        const std::uint8_t* p = bytes.data() + k * record_size(layout);
        switch (layout) {
            case Layout::Elf64Rela:
            case Layout::Elf64Rel:
                return field(p, 8);
            default:
                return field(p, 4);
        }
    }
    Relocation at(std::size_t k) const {
        const std::uint8_t* p = bytes.data() + k * record_size(layout);
        Relocation r;
        std::uint32_t type = 0;
        switch (layout) {
            case Layout::Elf64Rela:
            case Layout::Elf64Rel: {
                const std::uint64_t info = field(p + 8, 8);
                r.symbol = static_cast<std::uint32_t>(info >> 32);
                type = static_cast<std::uint32_t>(info);
                break;
            }
            case Layout::Elf32Rela:
            case Layout::Elf32Rel: {
                const std::uint64_t info = field(p + 4, 4);
                r.symbol = static_cast<std::uint32_t>(info >> 8);
                type = static_cast<std::uint32_t>(info & 0xFF);
                break;
            }
            default:
                r.symbol = static_cast<std::uint32_t>(field(p + 4, 4));
                type = static_cast<std::uint32_t>(field(p + 8, 2));
                break;
        }
        r.offset = offset_at(k);
        r.in_place = !rela();
        r.width = width_of(type);
        if (layout == Layout::Elf64Rela) r.addend = static_cast<std::int64_t>(field(p + 16, 8));
        if (layout == Layout::Elf32Rela)
            r.addend = static_cast<std::int32_t>(static_cast<std::uint32_t>(field(p + 8, 4)));
        return r;
    }
    std::uint8_t width_of(std::uint32_t type) const {
        for (const Width& w : widths)
            if (w.bytes != 0 && w.type == type) return w.bytes;
        return 0;
    }
    void append_to(std::vector<Relocation>& out) const {
        const std::size_t n = count();
        out.reserve(out.size() + n);
        for (std::size_t k = 0; k < n; ++k) out.push_back(at(k));
    }

  private:
    // ELF fields in the module's byte order; COFF's are little-endian (big_endian never set).
    std::uint64_t field(const std::uint8_t* p, unsigned width) const {
        if (!big_endian) return width == 8 ? read_u64le(p) : width == 4 ? read_u32le(p) : read_u16le(p);
        return width == 8 ? read_u64be(p) : width == 4 ? read_u32be(p) : read_u16be(p);
    }
};

struct Symbol {
    std::string_view name;
    // A COMMON declaration of this module: ELF SHN_COMMON (or x86-64 large COMMON); COFF an
    // undefined external data symbol with a size.
    bool is_common = false;
};

// The DWARF sections a module may hold, by their names in the object.
enum SectionId { kInfo, kAbbrev, kStr, kLineStr, kStrOffsets, kLine, kSectionCount };
inline constexpr std::string_view kSectionNames[kSectionCount] = {
    ".debug_info", ".debug_abbrev", ".debug_str", ".debug_line_str", ".debug_str_offsets", ".debug_line"};

inline int section_id(std::string_view name) {
    for (int k = 0; k < kSectionCount; ++k)
        if (name == kSectionNames[k]) return k;
    return -1;
}

struct DebugInput {
    bool big_endian = false;
    bool elf64 = false;  // the layout of an ELF compression header
    Section sections[kSectionCount];
    // The relocations of .debug_info, .debug_line and .debug_str_offsets: a section's one table
    // where it lies, in records; else decoded, in relocations (never both for one section).
    RelocationRecords records[kSectionCount];
    std::vector<Relocation> relocations[kSectionCount];
    std::vector<Symbol> symbols;  // by symbol-table index (COFF: auxiliary records count)

    const Section& section(SectionId id) const { return sections[id]; }
    bool has_info() const { return sections[kInfo].present; }
    // Whether the section's next table is kept as records (its first): its bytes must then
    // last as long as the module's reading; a later one is decoded at once.
    bool keeps_records(SectionId id) const { return records[id].empty() && relocations[id].empty(); }
    // A section's relocations in the records of one table, or its first table's decoded when a
    // second one comes.
    void add_relocations(SectionId id, const RelocationRecords& table) {
        if (table.empty()) return;
        if (keeps_records(id)) {
            records[id] = table;
            return;
        }
        records[id].append_to(relocations[id]);
        records[id] = RelocationRecords{};
        table.append_to(relocations[id]);
    }
    // Every section's records decoded into relocations.
    void decode_relocations() {
        for (int id = 0; id < kSectionCount; ++id) {
            records[id].append_to(relocations[id]);
            records[id] = RelocationRecords{};
        }
    }

    // Keeps the vectors' room: a run reads thousands of modules, and fresh room for each
    // one's relocations costs a page fault per page.
    void clear() {
        big_endian = false;
        elf64 = false;
        for (Section& s : sections) s = Section{};
        for (RelocationRecords& r : records) r = RelocationRecords{};
        for (std::vector<Relocation>& r : relocations) r.clear();
        symbols.clear();
    }
};

}  // namespace quorv::dwarf
